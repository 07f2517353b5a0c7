// The fixed sequence of captures an acceptance test takes, per model: what each capture sets on
// the amplifier and how long it streams. Every setting maps onto one panel command:
//   mode          calibration 4 ("CAL", the Pellion's "Test"), eeg 3, impedance 5
//   rangeUv       50 → 6, 100 → 7, 500 → 8
//   channels      4 → 12, 2 → 13                     (the Quorvex only)
//   aux           on 14, off 15
//   referenceLinked  linked 16, unlinked 17          (the Quorvex only)
//   notchHz       60 → 18, 50 → 19, 0 ("OFF") → 20   (OFF on the Pellion only)
//   calibration   the calibration packet (9) for that frequency and amplitude step (the Quorvex only)
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ampcheck {

enum class Model { quorvex, pellion };
const char* model_name(Model model);  // "Quorvex", "Pellion"

enum class Mode { calibration, eeg, impedance };

// What the runner measures on a capture.
enum class Role {
    impedance,    // electrode impedances
    calibration,  // the reference calibration capture: levels, gains, the folded wave
    range,        // the same calibration signal at another range
    frequency,    // the calibration signal at another frequency
    amplitude,    // the calibration signal at another amplitude step
    mainsOpen,    // EEG with the notch away from the mains frequency
    mainsNotched  // EEG with the notch on the mains frequency
};

struct Calibration {
    double frequencyHz = 10.0;
    int amplitudeIndex = 6;  // the panel's steps 0 to 8: "0" to "100" µV peak to peak
};

struct Step {
    std::string name;  // for the progress line and the recording's annotation
    Role role = Role::calibration;
    Mode mode = Mode::calibration;
    int rangeUv = 100;
    std::optional<int> channels;
    bool aux = true;
    std::optional<bool> referenceLinked;
    int notchHz = 0;
    std::optional<Calibration> calibration;
    int packets = 0;        // to capture, the settling ones included
    int settlePackets = 0;  // the first packets, not measured
};

struct Plan {
    Model model = Model::quorvex;
    double samplesPerSecond = 256.0;  // per channel, four to a packet
    int mainsHz = 50;
    std::vector<Step> steps;
    // Channels as the chart numbers them from 0: those that carry the calibration signal and
    // EEG (the aux inputs switched on), and of those the EEG inputs.
    std::vector<int> liveChannels;
    std::vector<int> eegChannels;
    // Impedance electrodes in panel order: the channel each reads, and its name.
    std::vector<std::pair<int, std::string>> electrodes;
};

Plan plan_for(Model model, int mainsHz);

// The panel's amplitude steps: the code sent for step `index`, and its peak to peak in µV.
int amplitude_code(int index);
double amplitude_uv(int index);
// The frequency the calibration generator makes for `hz`: the panel's tuning word truncates it
// to steps of 0.000931322575 Hz.
double generated_frequency(double hz);

std::string channel_name(int channel);  // "ch1" to "ch8"

}  // namespace ampcheck
