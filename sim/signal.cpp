#include "sim/signal.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kMidscale = 32768.0;
constexpr double kMainsUv = 12.0;
}  // namespace

SignalGenerator::SignalGenerator(Model model, double rate, int mainsHz, uint32_t seed)
    : m_model(model), m_rate(rate > 0 ? rate : 256.0), m_mainsHz(mainsHz), m_rng(seed)
{
}

double SignalGenerator::counts_per_uv(uint8_t rangeCode)
{
    switch (rangeCode) {
    case 6: return 32768.0 / 50.0;
    case 8: return 32768.0 / 500.0;
    default: return 32768.0 / 100.0;
    }
}

double SignalGenerator::cal_frequency(uint32_t word) { return word * 0.000931322575; }

double SignalGenerator::cal_peak_to_peak_uv(uint8_t code) { return code * 100.0 / 255.0; }

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
    if (channel < 0 || channel > 4 || kohm < 0) return false;
    m_impedanceBase[channel] = kohm;
    m_impedance[channel] = kohm;
    m_reported[channel] = kohm;
    return true;
}

int SignalGenerator::impedance(int channel) const
{
    if (channel < 0 || channel > 4) return 0;
    return m_reported[channel];
}

uint16_t SignalGenerator::to_counts(double uv) const
{
    double v = kMidscale + uv * counts_per_uv(m_settings.range);
    return uint16_t(std::clamp(std::lround(v), 0L, 65535L));
}

void SignalGenerator::drift_impedances()
{
    // A mean-reverting random walk: a few tenths of a kilohm per second around the set value,
    // so the bars move now and then without wandering off.
    for (int c = 0; c < 5; ++c) {
        double& z = m_impedance[c];
        z += 0.0005 * (m_impedanceBase[c] - z) + 0.02 * m_noise(m_rng);
        z = std::clamp(z, 0.0, 60.0);
        // The meter reads whole kilohms and does not flicker between two of them.
        if (std::abs(z - m_reported[c]) > 0.75) m_reported[c] = int(std::lround(z));
    }
}

double SignalGenerator::eeg_uv(int c, double t)
{
    // Alpha strongest on the first pair, waxing and waning over ten seconds; a little theta;
    // a 1/f-ish background from filtered noise; a touch of white noise.
    double alphaUv = c < 2 ? 25.0 : 15.0;
    double envelope = 0.6 + 0.4 * std::sin(2 * kPi * 0.1 * t + 1.3 * c);
    double alpha = alphaUv * envelope * std::sin(2 * kPi * (9.8 + 0.15 * c) * t + 0.7 * c);
    double theta = 5.0 * std::sin(2 * kPi * 6.1 * t + 2.1 * c);
    m_pink[c] = 0.95 * m_pink[c] + 1.9 * m_noise(m_rng);
    return alpha + theta + m_pink[c] + 1.5 * m_noise(m_rng);
}

std::array<uint16_t, 8> SignalGenerator::next()
{
    const SignalSettings& s = m_settings;
    double t = double(m_index) / m_rate;
    ++m_index;
    drift_impedances();

    std::array<uint16_t, 8> frame;
    frame.fill(uint16_t(kMidscale));
    if (s.mode == 5) {
        for (int c = 0; c < 5; ++c) frame[c] = uint16_t(impedance(c));
        return frame;
    }

    double mains = s.notchHz == m_mainsHz ? 0.0 : kMainsUv;
    double common = s.refLinked ? 0.0 : 20.0 * std::sin(2 * kPi * 0.3 * t) + 8.0 * m_noise(m_rng);
    for (int c = 0; c < 8; ++c) {
        bool eeg = eeg_channel(m_model, c, s.channels);
        bool aux = s.aux && aux_channel(m_model, c);
        if (!eeg && !aux) continue;
        double uv = 0;
        if (s.mode == 4) {
            double f = cal_frequency(s.calWord);
            double half = cal_peak_to_peak_uv(s.calAmplitude) / 2;
            if (f > 0) uv = std::fmod(t * f, 1.0) < 0.5 ? half : -half;
        } else if (eeg) {
            uv = eeg_uv(c, t) + common + mains * std::sin(2 * kPi * m_mainsHz * t + 0.3 * c);
        } else {
            // Aux inputs carry a pulse sensor: one sharp beat a little faster than once a second.
            double phase = std::fmod(t * 1.2 + 0.1 * c, 1.0);
            uv = 60.0 * std::exp(-std::pow((phase - 0.2) / 0.03, 2)) - 10.0 +
                 mains * std::sin(2 * kPi * m_mainsHz * t);
        }
        frame[c] = to_counts(uv);
    }
    return frame;
}

}  // namespace sim
