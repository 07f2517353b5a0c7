// A healthy amplifier as the simulator streams it (the calibration square wave, EEG with mains
// pick-up and a notch, 0.5 µV of white noise on every live channel, electrode impedances;
// 32768 / range counts per µV), with the defects the acceptance test must catch. It keeps its settings from capture to
// capture, as an amplifier does, and stamps packets on a made-up host clock with some scheduling jitter.
#pragma once

#include "tools/ampcheck/source.h"

#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace ampcheck_test {

struct Defects {
    int gainChannel = -1;  // from 0, as in the packet
    double gain = 1.0;
    int deadChannel = -1;  // its input carries nothing: only its own noise
    int stuckChannel = -1;
    uint16_t stuckCount = 32768;  // what the stuck channel reads on every sample
    int noisyChannel = -1;
    double noiseUv = 0;                   // white noise added, rms
    double mainsUv = 0;                   // extra mains at every input, before the notch
    std::map<int, double> impedanceKohm;  // electrode channel 0 to 4 → reading
};

class SyntheticAmplifier : public ampcheck::CaptureSource {
public:
    SyntheticAmplifier(ampcheck::Model model, int mainsHz, Defects defects = {});

    bool capture(const ampcheck::Step& step, ampcheck::Capture& capture, std::string& error) override;

    std::vector<ampcheck::Step> steps;  // every step it was asked for, in order
    int failAtStep = -1;                // this capture fails, as if unplugged
    int shortReadsPerCapture = 0;
    int lostPacketsPerCapture = 0;  // as the capture engine would tell
    double stallS = 0;              // one pause this long in the middle of every capture
    double rateScale = 1.0;         // its clock against the host's

private:
    std::array<uint16_t, 8> frame(double t);
    double eeg_uv(int channel, double t);

    ampcheck::Model m_model;
    int m_mainsHz;
    Defects m_defects;
    // Settings as the amplifier holds them; power-on resets them to these.
    ampcheck::Mode m_mode = ampcheck::Mode::calibration;
    int m_range = 100;
    bool m_aux = false;
    int m_notchHz = 0;
    double m_calHz = ampcheck::generated_frequency(10.0);
    int m_calCode = 126;
    double m_clockS = 100.0;
    std::mt19937 m_rng{42};
    std::normal_distribution<double> m_noise{0.0, 1.0};
    std::array<std::array<double, 4>, 8> m_background{};
};

}  // namespace ampcheck_test
