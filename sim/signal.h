// What the amplifier measures, one frame of 8 channels at a time: the calibration square
// wave, a synthetic EEG with mains pick-up, or electrode impedances. Deterministic for a seed.
// Counts: midscale 32768; at range R (50, 100, 500 µV) one µV is 32768 / R counts, so ±R µV
// spans the whole 16-bit range. Impedance values are plain kilohms (0 to 30), not scaled.
#pragma once

#include <array>
#include <cstdint>
#include <random>

namespace sim {

enum class Model : uint8_t { quorvex, pellion };

struct SignalSettings {
    uint8_t mode = 4;         // 3 EEG, 4 calibration, 5 impedance
    uint8_t range = 7;        // 6 "50", 7 "100", 8 "500"
    int channels = 4;         // Quorvex "4 Ch." / "2 Ch."
    bool aux = false;         // aux inputs (channels 5 to 7) live
    bool refLinked = true;    // unlinked: common reference drift shows on every EEG channel
    int notchHz = 0;          // 0 off, 50 or 60
    uint32_t calWord = 10737; // frequency = word × 0.000931322575 Hz
    uint8_t calAmplitude = 126;  // peak to peak = code × 100 / 255 µV
};

class SignalGenerator {
public:
    SignalGenerator(Model model, double rate, int mainsHz, uint32_t seed);

    void set(const SignalSettings& settings) { m_settings = settings; }
    const SignalSettings& settings() const { return m_settings; }
    // Sample time back to 0 (stream start); impedances keep drifting where they are.
    void restart() { m_index = 0; }
    uint64_t sample_index() const { return m_index; }
    // Skips `samples` frames without computing them (the host fell behind).
    void skip(uint64_t samples) { m_index += samples; }
    std::array<uint16_t, 8> next();

    bool set_impedance(int channel, int kohm);  // channels 0 to 4
    int impedance(int channel) const;

    static double counts_per_uv(uint8_t rangeCode);
    static double cal_frequency(uint32_t word);
    static double cal_peak_to_peak_uv(uint8_t code);
    // The channels that carry EEG for the model: Quorvex 0 to 3, Pellion 0 and 1.
    static bool eeg_channel(Model model, int channel, int channelCount);
    static bool aux_channel(Model model, int channel);

private:
    double eeg_uv(int channel, double t);
    uint16_t to_counts(double uv) const;
    void drift_impedances();

    Model m_model;
    double m_rate;
    int m_mainsHz;
    SignalSettings m_settings;
    uint64_t m_index = 0;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise{0.0, 1.0};
    std::array<double, 8> m_pink{};       // one-pole filtered noise per channel
    std::array<int, 5> m_impedanceBase{5, 7, 9, 6, 3};
    std::array<double, 5> m_impedance{5, 7, 9, 6, 3};
    std::array<int, 5> m_reported{5, 7, 9, 6, 3};
};

}  // namespace sim
