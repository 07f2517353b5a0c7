// What the amplifier measures, one frame of 8 channels at a time: the calibration square
// wave, a synthetic EEG with mains pick-up, or electrode impedances, each with the defects a
// test sets. Deterministic for a seed. docs/signals.md states every figure.
// Counts: midscale 32768; at range R (50, 100, 500 µV) one µV is 32768 / R counts.
#pragma once

#include <array>
#include <cstdint>
#include <random>

namespace sim {

enum class Model : uint8_t { quorvex, pellion };

// The amplifier's settings. The defaults are the power-on state, which is what the panels'
// switches show when they start.
struct SignalSettings {
    uint8_t mode = 4;            // 3 EEG, 4 calibration, 5 impedance
    uint8_t range = 7;           // 6 "50", 7 "100", 8 "500"
    int channels = 2;            // Quorvex "4 Ch." / "2 Ch."
    bool aux = false;            // aux inputs (channels 5 to 7) live
    bool refLinked = true;       // unlinked: common reference drift shows on every EEG channel
    int notchHz = 60;            // 0 off, 50 or 60
    uint32_t calWord = 10737;    // frequency = word × 0.000931322575 Hz
    uint8_t calAmplitude = 126;  // peak to peak = code × 100 / 255 µV
};

// Faults of the front end, by packet channel (0 to 7). Healthy when default.
struct SignalDefects {
    std::array<double, 8> gain{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<bool, 8> dead{};
    std::array<double, 8> noiseUv{};                           // extra white noise, µV rms
    std::array<int, 8> stuck{-1, -1, -1, -1, -1, -1, -1, -1};  // the count read, or -1
    double mainsUv = 0;                                        // extra mains pick-up at the inputs, µV peak
};

// Gaussian noise through a one-pole low-pass and an 8th-order Butterworth low-pass: the EEG's
// background, which stays below the band where the noise is measured.
class BandLimitedNoise {
public:
    BandLimitedNoise(double rate, double poleHz, double cutoffHz, double rmsUv);
    double step(double innovation);  // innovation: a standard normal draw

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
        double z1 = 0, z2 = 0;
        double step(double x);
    };
    double m_pole, m_innovation, m_state = 0;
    std::array<Biquad, 4> m_sections;
};

class SignalGenerator {
public:
    SignalGenerator(Model model, double rate, int mainsHz, uint32_t seed);

    void set(const SignalSettings& settings) { m_settings = settings; }
    const SignalSettings& settings() const { return m_settings; }
    SignalDefects& defects() { return m_defects; }
    const SignalDefects& defects() const { return m_defects; }
    // Sample time back to 0 (stream start); impedances keep drifting where they are.
    void restart() { m_index = 0; }
    uint64_t sample_index() const { return m_index; }
    // Skips `samples` frames without computing them (the host fell behind).
    void skip(uint64_t samples) { m_index += samples; }
    std::array<uint16_t, 8> next();

    // Electrode channels: 0 to 4 on the Quorvex (4 is "R"), 0 to 3 on the Pellion; 0 to 999 kΩ.
    bool set_impedance(int channel, int kohm);
    int impedance(int channel) const;
    int electrodes() const { return m_model == Model::quorvex ? 5 : 4; }

    static constexpr double kNoiseUv = 0.5;          // white noise per sample, every live channel
    static constexpr double kMainsUv = 12.0;         // mains line, µV peak
    static constexpr double kNotchResidual = 0.001;  // the notch takes the line down 60 dB

    static double counts_per_uv(uint8_t rangeCode);
    static double cal_frequency(uint32_t word);
    static double cal_peak_to_peak_uv(uint8_t code);
    // The channels that carry EEG for the model: Quorvex 0 to 3, Pellion 0 and 1.
    static bool eeg_channel(Model model, int channel, int channelCount);
    static bool aux_channel(Model model, int channel);

private:
    double input_uv(int channel, double t, bool eeg, double common, double mains);
    uint16_t to_counts(double uv) const;
    void drift_impedances();

    Model m_model;
    double m_rate;
    int m_mainsHz;
    SignalSettings m_settings;
    SignalDefects m_defects;
    uint64_t m_index = 0;
    // One generator per source, each drawn the same number of times on every sample whatever
    // the settings, so a seed gives the same noise for the same sample numbers.
    std::array<std::mt19937, 8> m_channelRng;
    std::mt19937 m_commonRng, m_impedanceRng;
    std::array<std::normal_distribution<double>, 8> m_channelNormal;
    std::normal_distribution<double> m_commonNormal, m_impedanceNormal;
    std::array<BandLimitedNoise, 4> m_background;
    BandLimitedNoise m_common;
    std::array<int, 5> m_impedanceBase{5, 7, 8, 6, 3};
    std::array<double, 5> m_impedance{5, 7, 8, 6, 3};
    std::array<int, 5> m_reported{5, 7, 8, 6, 3};
};

}  // namespace sim
