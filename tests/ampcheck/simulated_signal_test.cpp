// The acceptance test against the simulator's own signal generator: a healthy simulated unit of
// either model must pass every check with room to spare.
#include "sim/signal.h"
#include "tools/ampcheck/runner.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using ampcheck::Model;

// Sets the generator as the amplifier's command handler would for the step's codes, and streams.
class SimulatedSignal : public ampcheck::CaptureSource {
public:
    SimulatedSignal(Model model, int mainsHz)
        : m_model(model), m_generator(model == Model::quorvex ? sim::Model::quorvex : sim::Model::pellion, 256.0,
                                      mainsHz, 1)
    {
    }

    bool capture(const ampcheck::Step& step, ampcheck::Capture& capture, std::string&) override
    {
        sim::SignalSettings s = m_generator.settings();
        s.mode = step.mode == ampcheck::Mode::calibration ? 4 : step.mode == ampcheck::Mode::eeg ? 3 : 5;
        s.range = step.rangeUv == 50 ? 6 : step.rangeUv == 500 ? 8 : 7;
        s.aux = step.aux;
        s.notchHz = step.notchHz;
        if (m_model == Model::quorvex) {  // the Pellion ignores what it has no switch for
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

private:
    Model m_model;
    sim::SignalGenerator m_generator;
    double m_clockS = 0;
};

const ampcheck::Check& Find(const ampcheck::Report& report, const std::string& name, const std::string& channel)
{
    for (const ampcheck::Check& c : report.checks)
        if (c.name == name && c.channel == channel) return c;
    throw std::runtime_error("no check " + name + " " + channel);
}

struct Unit {
    Model model;
    int mainsHz;
};

class HealthySimulatedUnit : public ::testing::TestWithParam<Unit> {};

TEST_P(HealthySimulatedUnit, PassesEveryCheckWithRoomToSpare)
{
    SimulatedSignal amp(GetParam().model, GetParam().mainsHz);
    ampcheck::Identity id;
    id.model = GetParam().model;
    ampcheck::RunResult result = ampcheck::run_checks(id, {GetParam().mainsHz, 10.0}, amp);
    ASSERT_TRUE(result.completed);
    for (const ampcheck::Check& c : result.report.checks) {
        EXPECT_TRUE(c.pass) << c.name << " " << c.channel << " " << c.value << " " << c.detail;
        // Room to spare: every value at most half way from ideal to its limit (the simulator's
        // 12 µV of mains against 25), except the impedances, which are what the simulator is set to.
        if (c.name == "impedance" || c.name == "dead or stuck") continue;
        double ideal = c.name == "noise ratio" ? 1.0 : 0.0;
        if (c.compare == ampcheck::Compare::atLeast)
            EXPECT_GT(c.value, c.limit + 10.0) << c.name << " " << c.channel;  // dB above the floor
        else if (c.compare == ampcheck::Compare::atMost)
            EXPECT_LE(c.value - ideal, (c.limit - ideal) / 2) << c.name << " " << c.channel;
        else
            EXPECT_LE(std::abs(c.value), c.limit / 2) << c.name << " " << c.channel;
    }
    EXPECT_GT(Find(result.report, "dead or stuck", "ch1").value, 95.0);
}

INSTANTIATE_TEST_SUITE_P(BothModelsBothMains, HealthySimulatedUnit,
                         ::testing::Values(Unit{Model::quorvex, 50}, Unit{Model::quorvex, 60}, Unit{Model::pellion, 50},
                                           Unit{Model::pellion, 60}));

}  // namespace
