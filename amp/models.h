// What tells the two amplifier models apart on the wire: the identity digit, how they are opened
// and what their shutdown waits after power-off. Panels and companion programs take these from here.
#pragma once

#include "amp/link.h"

struct AmplifierModel {
    const char* name;        // "Quorvex": as the operator's messages name it
    WCHAR identity;          // product string unit 5
    bool countDevicesFirst;  // DeviceCount before Open
    DWORD powerOffWaitMs;    // what shutdown waits after CMD_POWER_OFF
};

inline constexpr AmplifierModel QUORVEX_MODEL = {"Quorvex", QUORVEX_IDENTITY, false, 500};
inline constexpr AmplifierModel PELLION_MODEL = {"Pellion", PELLION_IDENTITY, true, 0};

// The model whose identity digit `device`'s product string carries, or nullptr.
inline const AmplifierModel* ModelOf(const CUsbDevice* device)
{
    if (IsAmplifierModel(device, QUORVEX_MODEL.identity)) return &QUORVEX_MODEL;
    if (IsAmplifierModel(device, PELLION_MODEL.identity)) return &PELLION_MODEL;
    return nullptr;
}
