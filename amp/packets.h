// Layouts of what travels to and from the amplifier besides the one-byte commands: the
// calibration packet it takes, and the 68-byte version reply and sample packet it sends.
// Decoders look only at the bytes they are given: a short packet is refused, never over-read.
#pragma once

#include "platform/win32/windows.h"

inline constexpr int AMP_PACKET_LENGTH = 68;   // every version reply and sample packet
inline constexpr int SAMPLE_VALUE_COUNT = 32;  // four frames of eight channels
inline constexpr int SAMPLE_CHANNEL_COUNT = 8;
inline constexpr int SAMPLE_FRAME_COUNT = 4;
inline constexpr int CALIBRATION_PACKET_LENGTH = 10;
inline constexpr int AMPLITUDE_STEP_COUNT = 9;
inline constexpr BYTE VERSION_REPLY_MARK = 'c';

// One calibration amplitude: the read-out (microvolts peak to peak) and the code the amplifier takes.
struct AmplitudeStep {
    const char* text;
    BYTE code;
};
extern const AmplitudeStep g_amplitudeSteps[AMPLITUDE_STEP_COUNT];
// An index past the table never comes from the panel; it is taken as step 0 (no signal).
const AmplitudeStep& AmplitudeStepAt(unsigned index);

struct CalibrationPacket {
    BYTE bytes[CALIBRATION_PACKET_LENGTH];

    // The tuning word: frequency in steps of 4 MHz / 2^32, truncated toward zero, low 32 bits.
    static DWORD TuningWord(double frequency);
    static CalibrationPacket Build(double frequency, unsigned amplitudeIndex);
};

struct VersionReply {
    // Bytes 1 to 4 of a valid reply (USB driver version, firmware version, serial low, high).
    // A reply counts only when exactly 68 bytes arrived and byte 0 is 'c'; otherwise
    // versionBytes is left as it was.
    static bool Decode(const BYTE* packet, int length, int versionBytes[4]);
};

struct SamplePacket {
    // Value i is the little-endian u16 at bytes 4 + 2i, 5 + 2i. Only a whole 68-byte packet
    // is decoded; otherwise values is left as it was.
    static bool Decode(const BYTE* packet, int length, LONG values[SAMPLE_VALUE_COUNT]);
};
