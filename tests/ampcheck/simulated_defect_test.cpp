// The simulator's own defects against the acceptance test: each fails the check it is for, on
// the channel or electrode it was set on, and nothing on any other.
#include "simulated_signal.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using ampcheck::Model;
using Named = std::set<std::pair<std::string, std::string>>;  // check name, channel

struct DefectCase {
    const char* label;
    Model model;
    std::function<void(sim::SignalGenerator&)> set;
    Named mustFail;
    std::set<std::string> onlyChannels;
};

class SimulatedDefect : public ::testing::TestWithParam<DefectCase> {};

TEST_P(SimulatedDefect, FailsTheCheckItIsForOnItsChannelOnly)
{
    const DefectCase& c = GetParam();
    ampcheck_test::SimulatedSignal amp(c.model, 50);
    c.set(amp.generator());
    ampcheck::Identity id;
    id.model = c.model;
    ampcheck::RunResult result = ampcheck::run_checks(id, {50, 10.0}, amp);
    ASSERT_TRUE(result.completed) << result.error;
    Named failed;
    for (const ampcheck::Check& check : result.report.checks)
        if (!check.pass) failed.insert({check.name, check.channel});
    EXPECT_FALSE(result.report.pass());
    for (const auto& expected : c.mustFail)
        EXPECT_TRUE(failed.count(expected)) << expected.first << " " << expected.second;
    for (const auto& [name, channel] : failed) EXPECT_TRUE(c.onlyChannels.count(channel)) << name << " " << channel;
}

INSTANTIATE_TEST_SUITE_P(Defects, SimulatedDefect,
                         ::testing::Values(
                             // ampsim: defect gain 3 0.9
                             DefectCase{"QuorvexGainPointNineOnCh3",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.defects().gain[2] = 0.9; },
                                        {{"gain matching", "ch3"}},
                                        {"ch3"}},
                             // defect dead 2
                             DefectCase{"QuorvexDeadCh2",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.defects().dead[1] = true; },
                                        {{"dead or stuck", "ch2"}},
                                        {"ch2"}},
                             // defect stuck 4
                             DefectCase{"QuorvexStuckCh4",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.defects().stuck[3] = 32768; },
                                        {{"dead or stuck", "ch4"}},
                                        {"ch4"}},
                             // defect noise 7 2
                             DefectCase{"QuorvexNoisyAuxCh7",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.defects().noiseUv[6] = 2; },
                                        {{"noise ratio", "ch7"}},
                                        {"ch7"}},
                             // impedance 2 40: electrode "3"
                             DefectCase{"QuorvexElectrodeThreeAtFortyKilohms",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.set_impedance(2, 40); },
                                        {{"impedance", "3"}},
                                        {"3"}},
                             // defect mains 60
                             DefectCase{"QuorvexMainsPickUp",
                                        Model::quorvex,
                                        [](sim::SignalGenerator& g) { g.defects().mainsUv = 60; },
                                        {{"mains pick-up", "ch1"}, {"mains pick-up", "ch4"}, {"mains pick-up", "ch8"}},
                                        {"ch1", "ch2", "ch3", "ch4", "ch6", "ch7", "ch8"}},
                             DefectCase{"PellionGainPointNineOnCh1",
                                        Model::pellion,
                                        [](sim::SignalGenerator& g) { g.defects().gain[0] = 0.9; },
                                        {{"gain matching", "ch1"}},
                                        {"ch1"}},
                             DefectCase{"PellionDeadCh2",
                                        Model::pellion,
                                        [](sim::SignalGenerator& g) { g.defects().dead[1] = true; },
                                        {{"dead or stuck", "ch2"}},
                                        {"ch2"}},
                             // impedance 2 40: electrode 1 +
                             DefectCase{"PellionElectrodeOnePlusAtFortyKilohms",
                                        Model::pellion,
                                        [](sim::SignalGenerator& g) { g.set_impedance(2, 40); },
                                        {{"impedance", "1+"}},
                                        {"1+"}}),
                         [](const ::testing::TestParamInfo<DefectCase>& info) {
                             return std::string(info.param.label);
                         });

}  // namespace
