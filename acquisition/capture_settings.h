// The settings a capture applies before its stream starts, held as the panels' command codes,
// the names the companion programs take them by, and the captions the panels show for them.
#pragma once

#include "amp/models.h"
#include "platform/win32/windows.h"

#include <string>
#include <string_view>
#include <vector>

// 0 (or -1 for the amplitude step) leaves a setting as the amplifier has it.
struct CaptureSettings {
    BYTE mode = 0;               // CMD_MODE_CAL, CMD_MODE_EEG or CMD_MODE_ZTEST
    BYTE range = 0;              // CMD_RANGE_50, CMD_RANGE_100 or CMD_RANGE_500
    BYTE channels = 0;           // CMD_CHANNELS_4 or CMD_CHANNELS_2 (Quorvex)
    BYTE aux = 0;                // CMD_AUX_ON or CMD_AUX_OFF
    BYTE reference = 0;          // CMD_REF_LINK or CMD_REF_UNLINK (Quorvex)
    BYTE notch = 0;              // CMD_NOTCH_60HZ, CMD_NOTCH_50HZ; CMD_NOTCH_OFF on the Pellion only
    double calFrequency = 0;     // Hz, 0.01 to 999.99 (Quorvex)
    int calAmplitudeIndex = -1;  // step 0 to 8 (Quorvex)
};

// The calibration signal's bounds: the Configure dialog's five digits, 0.01 to 999.99 Hz.
inline constexpr double CAL_FREQUENCY_MIN = 0.01;
inline constexpr double CAL_FREQUENCY_MAX = 999.99;

// Command-line names. Each returns false for a name it does not know and leaves `code` alone.
bool ParseModeName(std::string_view name, BYTE& code);       // cal (or test), eeg, ztest
bool ParseRangeName(std::string_view name, BYTE& code);      // 50, 100, 500
bool ParseChannelsName(std::string_view name, BYTE& code);   // 2, 4
bool ParseAuxName(std::string_view name, BYTE& code);        // on, off
bool ParseReferenceName(std::string_view name, BYTE& code);  // link, unlink
bool ParseNotchName(std::string_view name, BYTE& code);      // 50, 60, off
// 0.01 to 999.99 in steps of 0.01 (at most two decimals), as the Configure dialog dials it.
bool ParseCalFrequency(std::string_view text, double& hz);
// The amplitude in microvolts peak to peak, one of the nine steps (0, 5, ... 100).
bool ParseCalAmplitude(std::string_view text, int& index);

// Why `model` cannot take `settings` (one sentence naming the first setting it lacks), or empty.
std::string SettingsRefusal(const CaptureSettings& settings, const AmplifierModel& model);

// One applied setting: what went on the wire and how a panel would name it ("Mode EEG",
// "Range 100", "2 Ch.", "Notch OFF", "Calibration 10.00 Hz 50 uV"): at most 40 characters.
struct AppliedSetting {
    std::vector<BYTE> packet;
    std::string caption;
};

// The caption of a one-byte setting command on `model`; empty for a code that is no setting.
std::string SettingCaption(BYTE code, const AmplifierModel& model);
std::string CalibrationCaption(double frequency, unsigned amplitudeIndex);
