#include "sim/signal.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kMidscale = 32768.0;
// The background's shape: a slow wander below 2 Hz, nothing left above the EEG band.
constexpr double kBackgroundPoleHz = 2.0, kBackgroundCutoffHz = 30.0;
constexpr double kImpedanceTau = 5.0, kImpedanceSpread = 0.4;  // s, kΩ rms
constexpr int kMaxKohm = 999;

std::array<int, 5> healthy_impedances(Model model)
{
    if (model == Model::pellion) return {5, 7, 8, 6, 0};
    return {5, 7, 8, 6, 3};
}
}  // namespace

double BandLimitedNoise::Biquad::step(double x)
{
    double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

BandLimitedNoise::BandLimitedNoise(double rate, double poleHz, double cutoffHz, double rmsUv)
{
    m_pole = std::exp(-2 * kPi * poleHz / rate);
    m_innovation = rmsUv * std::sqrt(1 - m_pole * m_pole);
    // Butterworth by the bilinear transform, prewarped at the cutoff: four sections with the
    // poles' Q values 1 / (2 sin((2k + 1) π / 16)). Never at or above half the rate.
    double k = std::tan(kPi * std::min(cutoffHz, 0.4 * rate) / rate);
    for (int s = 0; s < 4; ++s) {
        double q = 1 / (2 * std::sin((2 * s + 1) * kPi / 16));
        double norm = 1 / (1 + k / q + k * k);
        Biquad& b = m_sections[size_t(s)];
        b.b0 = k * k * norm;
        b.b1 = 2 * b.b0;
        b.b2 = b.b0;
        b.a1 = 2 * (k * k - 1) * norm;
        b.a2 = (1 - k / q + k * k) * norm;
    }
}

double BandLimitedNoise::step(double innovation)
{
    m_state = m_pole * m_state + m_innovation * innovation;
    double y = m_state;
    for (Biquad& b : m_sections) y = b.step(y);
    return y;
}

SignalGenerator::SignalGenerator(Model model, double rate, int mainsHz, uint32_t seed)
    : m_model(model), m_rate(rate > 0 ? rate : 256.0), m_mainsHz(mainsHz), m_commonRng(seed ^ 0xC0111111u),
      m_impedanceRng(seed ^ 0x1111EDA7u),
      m_background{BandLimitedNoise(m_rate, kBackgroundPoleHz, kBackgroundCutoffHz, 6.0),
                   BandLimitedNoise(m_rate, kBackgroundPoleHz, kBackgroundCutoffHz, 6.0),
                   BandLimitedNoise(m_rate, kBackgroundPoleHz, kBackgroundCutoffHz, 6.0),
                   BandLimitedNoise(m_rate, kBackgroundPoleHz, kBackgroundCutoffHz, 6.0)},
      m_common(m_rate, kBackgroundPoleHz, kBackgroundCutoffHz, 8.0)
{
    for (size_t c = 0; c < 8; ++c) m_channelRng[c].seed(seed + 0x9E3779B9u * uint32_t(c + 1));
    std::array<int, 5> z = healthy_impedances(model);
    for (size_t e = 0; e < 5; ++e) {
        m_impedanceBase[e] = z[e];
        m_impedance[e] = z[e];
        m_reported[e] = z[e];
    }
}

double SignalGenerator::counts_per_uv(uint8_t rangeCode)
{
    switch (rangeCode) {
    case 6: return 32768.0 / 50.0;
    case 8: return 32768.0 / 500.0;
    default: return 32768.0 / 100.0;
    }
}

double SignalGenerator::cal_frequency(uint32_t word)
{
    return word * 0.000931322575;
}

double SignalGenerator::cal_peak_to_peak_uv(uint8_t code)
{
    return code * 100.0 / 255.0;
}

bool SignalGenerator::eeg_channel(Model model, int channel, int channelCount)
{
    if (model == Model::pellion) return channel == 0 || channel == 1;
    return channel >= 0 && channel < (channelCount == 2 ? 2 : 4);
}

bool SignalGenerator::aux_channel(Model model, int channel)
{
    if (model == Model::pellion) return channel == 5 || channel == 6;
    return channel >= 5 && channel <= 7;
}

bool SignalGenerator::set_impedance(int channel, int kohm)
{
    if (channel < 0 || channel >= electrodes() || kohm < 0 || kohm > kMaxKohm) return false;
    m_impedanceBase[size_t(channel)] = kohm;
    m_impedance[size_t(channel)] = kohm;
    m_reported[size_t(channel)] = kohm;
    return true;
}

int SignalGenerator::impedance(int channel) const
{
    if (channel < 0 || channel >= electrodes()) return 0;
    return m_reported[size_t(channel)];
}

uint16_t SignalGenerator::to_counts(double uv) const
{
    double v = kMidscale + uv * counts_per_uv(m_settings.range);
    return uint16_t(std::clamp(std::lround(v), 0L, 65535L));
}

void SignalGenerator::drift_impedances()
{
    // A mean-reverting walk with the same time constant and spread at every rate, so the bars
    // move now and then without wandering off.
    double a = std::min(1.0, 1.0 / (m_rate * kImpedanceTau));
    double step = kImpedanceSpread * std::sqrt(2 * a);
    for (size_t e = 0; e < 5; ++e) {
        double& z = m_impedance[e];
        z += a * (m_impedanceBase[e] - z) + step * m_impedanceNormal(m_impedanceRng);
        z = std::clamp(z, 0.0, double(kMaxKohm));
        // The meter reads whole kilohms and does not flicker between two of them.
        if (std::abs(z - m_reported[e]) > 0.75) m_reported[e] = int(std::lround(z));
    }
}

double SignalGenerator::input_uv(int c, double t, bool eeg, double common, double mains)
{
    const SignalSettings& s = m_settings;
    if (s.mode == 4) {
        double f = cal_frequency(s.calWord);
        double half = cal_peak_to_peak_uv(s.calAmplitude) / 2;
        if (f <= 0) return 0;
        return std::fmod(t * f, 1.0) < 0.5 ? half : -half;
    }
    double line = mains * std::sin(2 * kPi * m_mainsHz * t + 0.3 * c);
    if (!eeg) {
        // A pulse sensor: one sharp beat a little faster than once a second.
        double phase = std::fmod(t * 1.2 + 0.1 * c, 1.0);
        return 60.0 * std::exp(-std::pow((phase - 0.2) / 0.03, 2)) - 10.0 + line;
    }
    // Alpha strongest on the first pair, waxing and waning over ten seconds; a little theta.
    double alphaUv = c < 2 ? 25.0 : 15.0;
    double envelope = 0.6 + 0.4 * std::sin(2 * kPi * 0.1 * t + 1.3 * c);
    double alpha = alphaUv * envelope * std::sin(2 * kPi * (9.8 + 0.15 * c) * t + 0.7 * c);
    double theta = 5.0 * std::sin(2 * kPi * 6.1 * t + 2.1 * c);
    return alpha + theta + common + line;
}

std::array<uint16_t, 8> SignalGenerator::next()
{
    const SignalSettings& s = m_settings;
    double t = double(m_index) / m_rate;
    ++m_index;
    drift_impedances();

    std::array<double, 8> white, extra, background{};
    for (size_t c = 0; c < 8; ++c) {
        white[c] = kNoiseUv * m_channelNormal[c](m_channelRng[c]);
        extra[c] = m_channelNormal[c](m_channelRng[c]);
        double innovation = m_channelNormal[c](m_channelRng[c]);
        if (c < 4) background[c] = m_background[c].step(innovation);
    }
    double commonNoise = m_common.step(m_commonNormal(m_commonRng));

    std::array<uint16_t, 8> frame;
    frame.fill(uint16_t(kMidscale));
    if (s.mode == 5) {
        for (int e = 0; e < electrodes(); ++e) frame[size_t(e)] = uint16_t(impedance(e));
        return frame;
    }

    const SignalDefects& d = m_defects;
    double mains = (kMainsUv + d.mainsUv) * (s.notchHz == m_mainsHz ? kNotchResidual : 1.0);
    double common = s.refLinked ? 0.0 : 20.0 * std::sin(2 * kPi * 0.3 * t) + commonNoise;
    for (int c = 0; c < 8; ++c) {
        size_t i = size_t(c);
        if (d.stuck[i] >= 0) {
            frame[i] = uint16_t(d.stuck[i]);
            continue;
        }
        bool eeg = eeg_channel(m_model, c, s.channels);
        if (!eeg && !(s.aux && aux_channel(m_model, c))) continue;
        double input = 0;
        if (!d.dead[i]) {
            input = input_uv(c, t, eeg, common, mains);
            if (eeg && s.mode == 3) input += background[i];
        }
        frame[i] = to_counts(d.gain[i] * (input + white[i] + d.noiseUv[i] * extra[i]));
    }
    return frame;
}

}  // namespace sim
