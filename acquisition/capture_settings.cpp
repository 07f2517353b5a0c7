#include "acquisition/capture_settings.h"

#include "amp/packets.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Name {
    std::string_view name;
    BYTE code;
};

template <size_t N>
bool Lookup(const Name (&names)[N], std::string_view name, BYTE& code)
{
    for (const Name& n : names) {
        if (n.name == name) {
            code = n.code;
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseModeName(std::string_view name, BYTE& code)
{
    static const Name names[] = {
        {"cal", CMD_MODE_CAL}, {"test", CMD_MODE_CAL}, {"eeg", CMD_MODE_EEG}, {"ztest", CMD_MODE_ZTEST}};
    return Lookup(names, name, code);
}

bool ParseRangeName(std::string_view name, BYTE& code)
{
    static const Name names[] = {{"50", CMD_RANGE_50}, {"100", CMD_RANGE_100}, {"500", CMD_RANGE_500}};
    return Lookup(names, name, code);
}

bool ParseChannelsName(std::string_view name, BYTE& code)
{
    static const Name names[] = {{"2", CMD_CHANNELS_2}, {"4", CMD_CHANNELS_4}};
    return Lookup(names, name, code);
}

bool ParseAuxName(std::string_view name, BYTE& code)
{
    static const Name names[] = {{"on", CMD_AUX_ON}, {"off", CMD_AUX_OFF}};
    return Lookup(names, name, code);
}

bool ParseReferenceName(std::string_view name, BYTE& code)
{
    static const Name names[] = {{"link", CMD_REF_LINK}, {"unlink", CMD_REF_UNLINK}};
    return Lookup(names, name, code);
}

bool ParseNotchName(std::string_view name, BYTE& code)
{
    static const Name names[] = {{"50", CMD_NOTCH_50HZ}, {"60", CMD_NOTCH_60HZ}, {"off", CMD_NOTCH_OFF}};
    return Lookup(names, name, code);
}

bool ParseCalFrequency(std::string_view text, double& hz)
{
    // Digits, at most one point and two decimals: the dialog's hundredths digit is the finest.
    size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view decimals = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && decimals.empty()) return false;
    if (whole.size() > 3 || decimals.size() > 2) return false;
    if (point != std::string_view::npos && decimals.empty()) return false;
    for (char c : whole)
        if (c < '0' || c > '9') return false;
    for (char c : decimals)
        if (c < '0' || c > '9') return false;
    double value = std::strtod(std::string(text).c_str(), nullptr);
    if (value < CAL_FREQUENCY_MIN || value > CAL_FREQUENCY_MAX) return false;
    hz = value;
    return true;
}

bool ParseCalAmplitude(std::string_view text, int& index)
{
    for (int i = 0; i < AMPLITUDE_STEP_COUNT; ++i) {
        if (text == g_amplitudeSteps[i].text) {
            index = i;
            return true;
        }
    }
    return false;
}

std::string SettingsRefusal(const CaptureSettings& s, const AmplifierModel& model)
{
    const bool quorvex = model.identity == QUORVEX_MODEL.identity;
    const std::string name = model.name;
    auto oneOf = [](BYTE code, std::initializer_list<BYTE> codes) {
        if (code == 0) return true;
        for (BYTE c : codes)
            if (c == code) return true;
        return false;
    };
    if (!oneOf(s.mode, {CMD_MODE_CAL, CMD_MODE_EEG, CMD_MODE_ZTEST}))
        return "mode code " + std::to_string(s.mode) + " is no mode";
    if (!oneOf(s.range, {CMD_RANGE_50, CMD_RANGE_100, CMD_RANGE_500}))
        return "range code " + std::to_string(s.range) + " is no range";
    if (!oneOf(s.aux, {CMD_AUX_ON, CMD_AUX_OFF})) return "aux code " + std::to_string(s.aux) + " is no aux setting";
    if (!quorvex && s.channels != 0) return "the " + name + " has no channel count switch";
    if (!oneOf(s.channels, {CMD_CHANNELS_2, CMD_CHANNELS_4}))
        return "channels code " + std::to_string(s.channels) + " is no channel count";
    if (!quorvex && s.reference != 0) return "the " + name + " has no reference switch";
    if (!oneOf(s.reference, {CMD_REF_LINK, CMD_REF_UNLINK}))
        return "reference code " + std::to_string(s.reference) + " is no reference setting";
    if (quorvex && s.notch == CMD_NOTCH_OFF) return "the " + name + "'s notch filter has no OFF position";
    if (!oneOf(s.notch, {CMD_NOTCH_50HZ, CMD_NOTCH_60HZ, CMD_NOTCH_OFF}))
        return "notch code " + std::to_string(s.notch) + " is no notch setting";
    const bool calibration = s.calFrequency != 0 || s.calAmplitudeIndex >= 0;
    if (!quorvex && calibration) return "the " + name + " has no calibration settings";
    if (s.calFrequency != 0 && !(s.calFrequency >= CAL_FREQUENCY_MIN && s.calFrequency <= CAL_FREQUENCY_MAX))
        return "the calibration frequency is 0.01 to 999.99 Hz";
    if (s.calAmplitudeIndex >= AMPLITUDE_STEP_COUNT) return "the calibration amplitude step is 0 to 8";
    return {};
}

std::string SettingCaption(BYTE code, const AmplifierModel& model)
{
    const bool quorvex = model.identity == QUORVEX_MODEL.identity;
    switch (code) {
    case CMD_MODE_CAL: return quorvex ? "Mode CAL" : "Mode Test";
    case CMD_MODE_EEG: return "Mode EEG";
    case CMD_MODE_ZTEST: return "Mode Ztest";
    case CMD_RANGE_50: return "Range 50";
    case CMD_RANGE_100: return "Range 100";
    case CMD_RANGE_500: return "Range 500";
    case CMD_CHANNELS_4: return "4 Ch.";
    case CMD_CHANNELS_2: return "2 Ch.";
    case CMD_AUX_ON: return "Aux ON";
    case CMD_AUX_OFF: return "Aux OFF";
    case CMD_REF_LINK: return "Link REF";
    case CMD_REF_UNLINK: return "UnLink";
    case CMD_NOTCH_60HZ: return "Notch 60Hz";
    case CMD_NOTCH_50HZ: return "Notch 50Hz";
    case CMD_NOTCH_OFF: return "Notch OFF";
    default: return {};
    }
}

std::string CalibrationCaption(double frequency, unsigned amplitudeIndex)
{
    // The main window's two read-outs: "%.2f" Hz and the step's microvolts peak to peak.
    char text[48];
    std::snprintf(text, sizeof text, "Calibration %.2f Hz %s uV", frequency, AmplitudeStepAt(amplitudeIndex).text);
    return text;
}
