// The simulator's own signal generator as a capture source for the acceptance test: each step's
// settings applied as the amplifier's command handler would, the packets streamed at 64 a second.
#pragma once

#include "sim/signal.h"
#include "tools/ampcheck/runner.h"

#include <algorithm>

namespace ampcheck_test {

// Sets the generator as the amplifier's command handler would for the step's codes, and streams.
class SimulatedSignal : public ampcheck::CaptureSource {
public:
    SimulatedSignal(ampcheck::Model model, int mainsHz)
        : m_model(model),
          m_generator(model == ampcheck::Model::quorvex ? sim::Model::quorvex : sim::Model::pellion, 256.0, mainsHz, 1)
    {
    }

    bool capture(const ampcheck::Step& step, ampcheck::Capture& capture, std::string&) override
    {
        sim::SignalSettings s = m_generator.settings();
        s.mode = step.mode == ampcheck::Mode::calibration ? 4 : step.mode == ampcheck::Mode::eeg ? 3 : 5;
        s.range = step.rangeUv == 50 ? 6 : step.rangeUv == 500 ? 8 : 7;
        s.aux = step.aux;
        s.notchHz = step.notchHz;
        if (m_model == ampcheck::Model::quorvex) {  // the Pellion ignores what it has no switch for
            if (step.channels) s.channels = *step.channels;
            if (step.referenceLinked) s.refLinked = *step.referenceLinked;
            if (step.calibration) {
                s.calWord = uint32_t(step.calibration->frequencyHz / 0.000931322575);
                s.calAmplitude = uint8_t(ampcheck::amplitude_code(step.calibration->amplitudeIndex));
            }
        }
        m_generator.set(s);
        m_generator.restart();
        m_clockS += 0.4;
        for (int p = 0; p < step.packets; ++p) {
            ampcheck::Packet packet;
            for (int f = 0; f < 4; ++f) {
                std::array<uint16_t, 8> frame = m_generator.next();
                std::copy(frame.begin(), frame.end(), packet.values.begin() + 8 * f);
            }
            packet.arrivalS = m_clockS + p / 64.0 + (p % 3) * 0.004;
            capture.packets.push_back(packet);
        }
        m_clockS += step.packets / 64.0;
        return true;
    }

    // Its defects and electrodes, as the amplifier's own.
    sim::SignalGenerator& generator() { return m_generator; }

private:
    ampcheck::Model m_model;
    sim::SignalGenerator m_generator;
    double m_clockS = 0;
};

}  // namespace ampcheck_test
