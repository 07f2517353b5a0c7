// The acceptance test against the simulator's own signal generator: a healthy simulated unit of
// either model must pass every check with room to spare.
#include "simulated_signal.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using ampcheck::Model;

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
    ampcheck_test::SimulatedSignal amp(GetParam().model, GetParam().mainsHz);
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
        else EXPECT_LE(std::abs(c.value), c.limit / 2) << c.name << " " << c.channel;
    }
    EXPECT_GT(Find(result.report, "dead or stuck", "ch1").value, 95.0);
}

INSTANTIATE_TEST_SUITE_P(BothModelsBothMains, HealthySimulatedUnit,
                         ::testing::Values(Unit{Model::quorvex, 50}, Unit{Model::quorvex, 60}, Unit{Model::pellion, 50},
                                           Unit{Model::pellion, 60}));

}  // namespace
