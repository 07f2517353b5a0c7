// One configuration of the device and its interface settings, parsed from the configuration
// block the device sent. The walk never reads past the bytes that arrived: a descriptor with a
// length byte of 0 or one running past the block ends it.
#pragma once

#include "platform/win32/windows.h"
#include "usb/end_points.h"

const int MAX_INTERFACE_SETTINGS = 8;
const int MAX_SETTING_END_POINTS = 16;  // slot 0 is the control endpoint

class CUsbInterfaceSetting {
public:
    // `descriptor` is an interface descriptor inside a block; `available` counts the bytes of the
    // block from `descriptor` on. Fewer than the 9 of an interface descriptor: nothing is read and
    // the setting is empty and truncated.
    CUsbInterfaceSetting(HANDLE driverHandle, const BYTE* descriptor, DWORD available);
    ~CUsbInterfaceSetting();
    CUsbInterfaceSetting(const CUsbInterfaceSetting&) = delete;
    CUsbInterfaceSetting& operator=(const CUsbInterfaceSetting&) = delete;

    CUsbEndPoint* endPoints[MAX_SETTING_END_POINTS] = {};
    BYTE descriptorLength = 0;
    BYTE descriptorType = 0;
    BYTE interfaceNumber = 0;
    BYTE altSetting = 0;
    BYTE numEndPoints = 0;
    BYTE interfaceClass = 0;
    BYTE interfaceSubClass = 0;
    BYTE interfaceProtocol = 0;
    BYTE interfaceString = 0;
    BYTE altSettingCount = 0;
    WORD blockLength = 0;
    // The setting's descriptors ran past the block (or were malformed); the walk stops after it.
    bool truncated = false;
};

class CUsbConfiguration {
public:
    // `block` holds `received` bytes; the walk is bounded by both them and wTotalLength. Fewer
    // than the 9 of a configuration descriptor: nothing is read and the configuration is empty.
    CUsbConfiguration(HANDLE driverHandle, const BYTE* block, DWORD received);
    ~CUsbConfiguration();
    CUsbConfiguration(const CUsbConfiguration&) = delete;
    CUsbConfiguration& operator=(const CUsbConfiguration&) = delete;

    CUsbInterfaceSetting* settings[MAX_INTERFACE_SETTINGS] = {};
    BYTE descriptorLength = 0;
    BYTE descriptorType = 0;
    WORD totalLength = 0;
    BYTE numInterfaces = 0;
    BYTE configValue = 0;
    BYTE configString = 0;
    BYTE attributes = 0;
    BYTE maxPower = 0;
    BYTE settingCount = 0;
};
