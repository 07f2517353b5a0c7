// The amplifier's command codes: the first byte of every packet written to its bulk OUT
// endpoint. All commands are one byte long except CMD_SET_CALIBRATION (a CalibrationPacket).
#pragma once

#include "platform/win32/windows.h"

inline constexpr BYTE CMD_POWER_ON = 1;
inline constexpr BYTE CMD_POWER_OFF = 2;
inline constexpr BYTE CMD_MODE_EEG = 3;
inline constexpr BYTE CMD_MODE_CAL = 4;
inline constexpr BYTE CMD_MODE_ZTEST = 5;
inline constexpr BYTE CMD_RANGE_50 = 6;
inline constexpr BYTE CMD_RANGE_100 = 7;
inline constexpr BYTE CMD_RANGE_500 = 8;
inline constexpr BYTE CMD_SET_CALIBRATION = 9;
inline constexpr BYTE CMD_STREAM_START = 10;
inline constexpr BYTE CMD_STREAM_STOP = 11;
inline constexpr BYTE CMD_CHANNELS_4 = 12;
inline constexpr BYTE CMD_CHANNELS_2 = 13;
inline constexpr BYTE CMD_AUX_ON = 14;
inline constexpr BYTE CMD_AUX_OFF = 15;
inline constexpr BYTE CMD_REF_LINK = 16;
inline constexpr BYTE CMD_REF_UNLINK = 17;
inline constexpr BYTE CMD_NOTCH_60HZ = 18;
inline constexpr BYTE CMD_NOTCH_50HZ = 19;
inline constexpr BYTE CMD_NOTCH_OFF = 20;  // only the Pellion has a notch "OFF" position
inline constexpr BYTE CMD_GET_VERSION = 21;
