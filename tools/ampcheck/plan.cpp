#include "tools/ampcheck/plan.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace ampcheck {

namespace {

// Each capture starts with a quarter of a second that is not measured: the amplifier's filters
// settle after a switch, and a packet or two may still carry the previous setting.
constexpr int kSettlePackets = 16;
constexpr int kPacketsPerSecond = 64;
constexpr double kTuningStepHz = 0.000931322575;

int packets(double seconds)
{
    return int(seconds * kPacketsPerSecond) + kSettlePackets;
}

std::string hz_text(double hz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", hz);
    return text;
}

Step quorvex_step(std::string name, Role role, Mode mode, int rangeUv, int notchHz, Calibration calibration,
                  double seconds)
{
    Step step;
    step.name = std::move(name);
    step.role = role;
    step.mode = mode;
    step.rangeUv = rangeUv;
    step.channels = 4;
    step.aux = true;
    step.referenceLinked = true;
    step.notchHz = notchHz;
    step.calibration = calibration;
    step.packets = packets(seconds);
    step.settlePackets = kSettlePackets;
    return step;
}

Step pellion_step(std::string name, Role role, Mode mode, int rangeUv, int notchHz, double seconds)
{
    Step step;
    step.name = std::move(name);
    step.role = role;
    step.mode = mode;
    step.rangeUv = rangeUv;
    step.aux = true;
    step.notchHz = notchHz;
    step.packets = packets(seconds);
    step.settlePackets = kSettlePackets;
    return step;
}

std::string calibration_name(const Calibration& c, int rangeUv)
{
    static constexpr std::array<const char*, 9> kTexts{"0", "5", "10", "15", "20", "25", "50", "75", "100"};
    const char* amplitude = c.amplitudeIndex >= 0 && c.amplitudeIndex < 9 ? kTexts[size_t(c.amplitudeIndex)] : "?";
    return "calibration " + hz_text(c.frequencyHz) + " " + amplitude + " uV p-p, range " + std::to_string(rangeUv);
}

// About 29 s of streaming at 64 packets a second: impedances first, before they drift; the
// reference calibration long enough for twenty periods; three seconds of 2 Hz for six rising edges; six
// seconds of EEG each side of the notch, for a spectrum averaged over five segments.
Plan quorvex_plan(int mainsHz)
{
    Plan plan;
    plan.model = Model::quorvex;
    plan.mainsHz = mainsHz;
    plan.liveChannels = {0, 1, 2, 3, 5, 6, 7};
    plan.eegChannels = {0, 1, 2, 3};
    plan.electrodes = {{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}, {4, "R"}};
    // The Quorvex's notch has no "OFF": set to the other mains frequency it leaves the line in.
    const int otherHz = mainsHz == 50 ? 60 : 50;
    const Calibration reference{10.0, 6};
    auto& s = plan.steps;
    s.push_back(quorvex_step("impedance", Role::impedance, Mode::impedance, 100, mainsHz, reference, 1.0));
    s.push_back(quorvex_step(calibration_name(reference, 100), Role::calibration, Mode::calibration, 100, mainsHz,
                             reference, 2.0));
    for (int range : {50, 500})
        s.push_back(quorvex_step(calibration_name(reference, range), Role::range, Mode::calibration, range, mainsHz,
                                 reference, 1.0));
    for (double hz : {2.0, 20.0}) {
        Calibration c{hz, 6};
        s.push_back(quorvex_step(calibration_name(c, 100), Role::frequency, Mode::calibration, 100, mainsHz, c,
                                 hz < 5 ? 3.0 : 1.0));
    }
    for (int index : {1, 2, 4, 7, 8}) {
        Calibration c{10.0, index};
        s.push_back(quorvex_step(calibration_name(c, 100), Role::amplitude, Mode::calibration, 100, mainsHz, c, 1.0));
    }
    s.push_back(
        quorvex_step("EEG, notch " + std::to_string(otherHz) + " Hz (mains " + std::to_string(mainsHz) + " Hz left in)",
                     Role::mainsOpen, Mode::eeg, 100, otherHz, reference, 6.0));
    s.push_back(quorvex_step("EEG, notch " + std::to_string(mainsHz) + " Hz", Role::mainsNotched, Mode::eeg, 100,
                             mainsHz, reference, 6.0));
    return plan;
}

// The Pellion's test signal cannot be set: one frequency and one height, at three ranges.
Plan pellion_plan(int mainsHz)
{
    Plan plan;
    plan.model = Model::pellion;
    plan.mainsHz = mainsHz;
    plan.liveChannels = {0, 1, 5, 6};
    plan.eegChannels = {0, 1};
    // The panel's bars, left to right: electrode 1 minus and plus, electrode 2 minus and plus.
    plan.electrodes = {{0, "1-"}, {2, "1+"}, {1, "2-"}, {3, "2+"}};
    auto& s = plan.steps;
    s.push_back(pellion_step("impedance", Role::impedance, Mode::impedance, 100, 0, 1.0));
    s.push_back(pellion_step("test signal, range 100", Role::calibration, Mode::calibration, 100, 0, 2.0));
    for (int range : {50, 500})
        s.push_back(
            pellion_step("test signal, range " + std::to_string(range), Role::range, Mode::calibration, range, 0, 1.0));
    s.push_back(pellion_step("EEG, notch OFF", Role::mainsOpen, Mode::eeg, 100, 0, 6.0));
    s.push_back(pellion_step("EEG, notch " + std::to_string(mainsHz) + " Hz", Role::mainsNotched, Mode::eeg, 100,
                             mainsHz, 6.0));
    return plan;
}

}  // namespace

const char* model_name(Model model)
{
    return model == Model::quorvex ? "Quorvex" : "Pellion";
}

Plan plan_for(Model model, int mainsHz)
{
    return model == Model::quorvex ? quorvex_plan(mainsHz) : pellion_plan(mainsHz);
}

int amplitude_code(int index)
{
    static constexpr std::array<int, 9> kCodes{0, 13, 25, 38, 50, 63, 126, 193, 255};
    return index >= 0 && index < 9 ? kCodes[size_t(index)] : 0;
}

double amplitude_uv(int index)
{
    return amplitude_code(index) * 100.0 / 255.0;
}

double generated_frequency(double hz)
{
    return double(uint32_t(uint64_t(std::trunc(hz / kTuningStepHz)))) * kTuningStepHz;
}

std::string channel_name(int channel)
{
    return "ch" + std::to_string(channel + 1);
}

}  // namespace ampcheck
