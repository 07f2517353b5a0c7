// The front-panel switches' command codes: a rotary's by position, a toggle's by state. Both
// panels and the companion programs send these and no others for a setting.
#pragma once

#include "amp/commands.h"

inline constexpr int ROTARY_POSITIONS = 3;

// Mode: "CAL" (the Pellion's "Test"), "EEG", "Ztest".
inline constexpr BYTE MODE_CODES[ROTARY_POSITIONS] = {CMD_MODE_CAL, CMD_MODE_EEG, CMD_MODE_ZTEST};
// Range: "50", "100", "500".
inline constexpr BYTE RANGE_CODES[ROTARY_POSITIONS] = {CMD_RANGE_50, CMD_RANGE_100, CMD_RANGE_500};
// The Pellion's Notch Filter rotary: "60Hz", "50Hz", "OFF".
inline constexpr BYTE NOTCH_CODES[ROTARY_POSITIONS] = {CMD_NOTCH_60HZ, CMD_NOTCH_50HZ, CMD_NOTCH_OFF};

// The code at a rotary position; 0 (nothing to send) for a position the switch does not have.
inline BYTE CodeAtPosition(const BYTE (&codes)[ROTARY_POSITIONS], long position)
{
    return position >= 0 && position < ROTARY_POSITIONS ? codes[position] : 0;
}

// A toggle sends `active` in its upper position (the caption above it), `inactive` below.
struct ToggleCodes {
    BYTE active;
    BYTE inactive;
};
inline constexpr ToggleCodes CHANNELS_TOGGLE = {CMD_CHANNELS_4, CMD_CHANNELS_2};  // "4 Ch." / "2 Ch."
inline constexpr ToggleCodes AUX_TOGGLE = {CMD_AUX_ON, CMD_AUX_OFF};              // "Aux ON" / "Aux OFF"
inline constexpr ToggleCodes REFERENCE_TOGGLE = {CMD_REF_UNLINK, CMD_REF_LINK};   // "UnLink" / "Link REF"
inline constexpr ToggleCodes NOTCH_TOGGLE = {CMD_NOTCH_50HZ, CMD_NOTCH_60HZ};     // the Quorvex's "50Hz" / "60Hz"
