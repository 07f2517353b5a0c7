#include "amp/packets.h"

#include "amp/commands.h"

#include <cmath>
#include <cstdint>

const AmplitudeStep g_amplitudeSteps[AMPLITUDE_STEP_COUNT] = {
    {"0", 0}, {"5", 13}, {"10", 25}, {"15", 38}, {"20", 50}, {"25", 63}, {"50", 126}, {"75", 193}, {"100", 255},
};

const AmplitudeStep& AmplitudeStepAt(unsigned index)
{
    return index < AMPLITUDE_STEP_COUNT ? g_amplitudeSteps[index] : g_amplitudeSteps[0];
}

DWORD CalibrationPacket::TuningWord(double frequency)
{
    double steps = std::trunc(frequency / 0.000931322575);
    // Outside the range of a 64-bit integer the conversion would be undefined; such a
    // frequency cannot come from the panel.
    if (!(steps > -9.2e18 && steps < 9.2e18)) return 0;
    return DWORD(uint64_t(int64_t(steps)));
}

CalibrationPacket CalibrationPacket::Build(double frequency, unsigned amplitudeIndex)
{
    DWORD w = TuningWord(frequency);
    return CalibrationPacket{{
        CMD_SET_CALIBRATION,
        0x30,
        BYTE(w),
        0x21,
        BYTE(w >> 8),
        0x32,
        BYTE(w >> 16),
        0x23,
        BYTE(w >> 24),
        AmplitudeStepAt(amplitudeIndex).code,
    }};
}

bool VersionReply::Decode(const BYTE* packet, int length, int versionBytes[4])
{
    if (length != AMP_PACKET_LENGTH || packet == nullptr || packet[0] != VERSION_REPLY_MARK) return false;
    for (int i = 0; i < 4; ++i) versionBytes[i] = packet[1 + i];
    return true;
}

bool SamplePacket::Decode(const BYTE* packet, int length, LONG values[SAMPLE_VALUE_COUNT])
{
    if (length != AMP_PACKET_LENGTH || packet == nullptr) return false;
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) values[i] = LONG(packet[4 + 2 * i]) | LONG(packet[5 + 2 * i]) << 8;
    return true;
}
