#include "tests/ampcheck/synthetic_amplifier.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ampcheck_test {

using ampcheck::Mode;
using ampcheck::Model;

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kRate = 256.0;
constexpr double kMainsUv = 12.0;
constexpr double kNotchLeaves = 0.001;  // 60 dB off the line it is set to
constexpr double kNoiseUv = 0.5;        // white, rms, on every live channel
}  // namespace

SyntheticAmplifier::SyntheticAmplifier(Model model, int mainsHz, Defects defects)
    : m_model(model), m_mainsHz(mainsHz), m_defects(std::move(defects))
{
}

double SyntheticAmplifier::eeg_uv(int c, double t)
{
    double alphaUv = c < 2 ? 25.0 : 15.0;
    double envelope = 0.6 + 0.4 * std::sin(2 * kPi * 0.1 * t + 1.3 * c);
    double alpha = alphaUv * envelope * std::sin(2 * kPi * (9.8 + 0.15 * c) * t + 0.7 * c);
    double theta = 5.0 * std::sin(2 * kPi * 6.1 * t + 2.1 * c);
    // A background of noise through four one-pole low-passes: about 6 µV, and some 50 dB down
    // by 70 Hz, so that above the EEG band only the white noise is left.
    double x = 4.6 * m_noise(m_rng);
    for (double& stage : m_background[size_t(c)]) x = stage = 0.7 * stage + 0.3 * x;
    return alpha + theta + x;
}

std::array<uint16_t, 8> SyntheticAmplifier::frame(double t)
{
    std::array<uint16_t, 8> out;
    out.fill(32768);
    if (m_mode == Mode::impedance) {
        static constexpr std::array<double, 5> kBase{5, 7, 8, 6, 3};
        for (int c = 0; c < 5; ++c) {
            auto set = m_defects.impedanceKohm.find(c);
            out[size_t(c)] =
                uint16_t(std::lround(set != m_defects.impedanceKohm.end() ? set->second : kBase[size_t(c)]));
        }
        return out;
    }
    const bool pellion = m_model == Model::pellion;
    const double mainsAtInputs = kMainsUv + m_defects.mainsUv;
    const double mains = (m_notchHz == m_mainsHz ? kNotchLeaves : 1.0) * mainsAtInputs;
    for (int c = 0; c < 8; ++c) {
        bool eeg = pellion ? c < 2 : c < 4;
        bool aux = m_aux && (pellion ? c == 5 || c == 6 : c >= 5);
        if (c == m_defects.stuckChannel) {
            out[size_t(c)] = m_defects.stuckCount;
            continue;
        }
        if (!eeg && !aux) continue;
        double uv = 0;
        if (c == m_defects.deadChannel) {
            uv = 0;
        } else if (m_mode == Mode::calibration) {
            double half = m_calCode * 100.0 / 255.0 / 2;
            uv = std::fmod(t * m_calHz, 1.0) < 0.5 ? half : -half;
        } else if (eeg) {
            uv = eeg_uv(c, t) + mains * std::sin(2 * kPi * m_mainsHz * t + 0.3 * c);
        } else {
            double phase = std::fmod(t * 1.2 + 0.1 * c, 1.0);
            uv = 60.0 * std::exp(-std::pow((phase - 0.2) / 0.03, 2)) - 10.0 + mains * std::sin(2 * kPi * m_mainsHz * t);
        }
        uv += kNoiseUv * m_noise(m_rng);
        if (c == m_defects.noisyChannel) uv += m_defects.noiseUv * m_noise(m_rng);
        if (c == m_defects.gainChannel) uv *= m_defects.gain;
        double counts = 32768.0 + uv * 32768.0 / m_range;
        out[size_t(c)] = uint16_t(std::clamp(std::lround(counts), 0L, 65535L));
    }
    return out;
}

bool SyntheticAmplifier::capture(const ampcheck::Step& step, ampcheck::Capture& capture, std::string& error)
{
    steps.push_back(step);
    if (int(steps.size()) - 1 == failAtStep) {
        error = "the amplifier stopped answering";
        return false;
    }
    m_mode = step.mode;
    m_range = step.rangeUv;
    m_aux = step.aux;
    if (m_model == Model::pellion || step.notchHz != 0) m_notchHz = step.notchHz;  // the Quorvex has no OFF
    if (step.calibration && m_model == Model::quorvex) {
        m_calHz = ampcheck::generated_frequency(step.calibration->frequencyHz);
        m_calCode = ampcheck::amplitude_code(step.calibration->amplitudeIndex);
    }

    std::uniform_real_distribution<double> late(0.0, 0.012);
    m_clockS += 0.3;  // commands and stream start between captures
    const double period = 4 / kRate / rateScale;
    for (int p = 0; p < step.packets; ++p) {
        ampcheck::Packet packet;
        for (int f = 0; f < 4; ++f) {
            std::array<uint16_t, 8> values = frame(double(4 * p + f) / kRate);  // time from the stream start
            std::copy(values.begin(), values.end(), packet.values.begin() + 8 * f);
        }
        if (p == step.packets / 2) m_clockS += stallS;
        packet.arrivalS = m_clockS + p * period + late(m_rng);
        capture.packets.push_back(packet);
    }
    m_clockS += step.packets * period;
    capture.shortReads = shortReadsPerCapture;
    capture.lostPackets = lostPacketsPerCapture;
    return true;
}

}  // namespace ampcheck_test
