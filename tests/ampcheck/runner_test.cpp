#include "tests/ampcheck/synthetic_amplifier.h"
#include "tools/ampcheck/runner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

using ampcheck::Model;
using ampcheck_test::Defects;
using ampcheck_test::SyntheticAmplifier;

using Named = std::set<std::pair<std::string, std::string>>;  // check name, channel

ampcheck::Report CheckUnit(SyntheticAmplifier& amp, Model model, int mainsHz = 50, double maxKohm = 10.0)
{
    ampcheck::Identity id;
    id.model = model;
    ampcheck::RunResult result = ampcheck::run_checks(id, {mainsHz, maxKohm}, amp);
    EXPECT_TRUE(result.completed) << result.error;
    return result.report;
}

Named Failures(const ampcheck::Report& report)
{
    Named failed;
    for (const ampcheck::Check& c : report.checks)
        if (!c.pass) failed.insert({c.name, c.channel});
    return failed;
}

const ampcheck::Check* Find(const ampcheck::Report& report, const std::string& name, const std::string& channel)
{
    for (const ampcheck::Check& c : report.checks)
        if (c.name == name && c.channel == channel) return &c;
    return nullptr;
}

TEST(HealthyAmplifier, AQuorvexPassesAllSixtyFiveChecks)
{
    SyntheticAmplifier amp(Model::quorvex, 50);
    ampcheck::Report report = CheckUnit(amp, Model::quorvex);
    EXPECT_EQ(Failures(report), Named{});
    EXPECT_EQ(report.checks.size(), 65u);
    EXPECT_TRUE(report.pass());
}

TEST(HealthyAmplifier, APellionPassesAllThirtySixChecks)
{
    SyntheticAmplifier amp(Model::pellion, 50);
    ampcheck::Report report = CheckUnit(amp, Model::pellion);
    EXPECT_EQ(Failures(report), Named{});
    EXPECT_EQ(report.checks.size(), 36u);
}

TEST(HealthyAmplifier, PassesOnSixtyHertzMains)
{
    for (Model model : {Model::quorvex, Model::pellion}) {
        SyntheticAmplifier amp(model, 60);
        EXPECT_EQ(Failures(CheckUnit(amp, model, 60)), Named{});
    }
}

TEST(HealthyAmplifier, MeasuresWhatTheSimulatedUnitStreams)
{
    SyntheticAmplifier amp(Model::quorvex, 50);
    ampcheck::Report report = CheckUnit(amp, Model::quorvex);
    // 0.5 µV of noise moves a level's median by about 0.05 µV in a second: a tenth of a percent.
    EXPECT_NEAR(Find(report, "gain matching", "ch1")->value, 0.0, 0.3);
    EXPECT_NEAR(Find(report, "calibration frequency", "ch8")->value, 0.0, 0.2);
    EXPECT_NEAR(Find(report, "amplitude linearity", "ch2")->value, 0.0, 0.3);
    EXPECT_NEAR(Find(report, "range ratio", "ch4")->value, 0.0, 0.8);
    EXPECT_NEAR(Find(report, "mains pick-up", "ch1")->value, 12.0, 0.6);
    // The notch takes 40 dB; under the EEG's background the test can follow it to about 33.
    EXPECT_GT(Find(report, "notch rejection", "ch1")->value, 30.0);
    EXPECT_NEAR(Find(report, "noise ratio", "ch3")->value, 1.0, 0.1);
    // 0.5 µV of white noise, a quarter of it in the 25 Hz band: the same on EEG and aux inputs.
    EXPECT_NEAR(std::stod(Find(report, "noise ratio", "ch8")->detail), 0.5 * std::sqrt(25.0 / 128), 0.02);
    EXPECT_NEAR(Find(report, "noise ratio", "ch8")->value, 1.0, 0.1);
    EXPECT_NEAR(Find(report, "sample rate error", "")->value, 0.0, 0.1);
    EXPECT_EQ(Find(report, "impedance", "3")->value, 8.0);
    EXPECT_EQ(Find(report, "impedance", "R")->value, 3.0);
}

struct DefectCase {
    const char* label;
    Model model;
    Defects defects;
    Named mustFail;                      // the check the defect is for, on its channel
    std::set<std::string> onlyChannels;  // every failure names one of these
    Named unmeasured{};                  // or is one of these, not measured for want of a live neighbour
};

class DefectiveAmplifier : public ::testing::TestWithParam<DefectCase> {};

TEST_P(DefectiveAmplifier, FailsTheCheckItIsForOnTheRightChannelOnly)
{
    const DefectCase& c = GetParam();
    SyntheticAmplifier amp(c.model, 50, c.defects);
    ampcheck::Report report = CheckUnit(amp, c.model);
    Named failed = Failures(report);
    EXPECT_FALSE(report.pass());
    for (const auto& expected : c.mustFail)
        EXPECT_TRUE(failed.count(expected)) << expected.first << " " << expected.second;
    for (const auto& [name, channel] : failed) {
        if (c.unmeasured.count({name, channel})) {
            EXPECT_TRUE(std::isnan(Find(report, name, channel)->value)) << name << " " << channel;
            continue;
        }
        EXPECT_TRUE(c.onlyChannels.count(channel)) << name << " " << channel;
    }
}

Defects Gain(int channel, double factor)
{
    Defects d;
    d.gainChannel = channel;
    d.gain = factor;
    return d;
}
Defects Dead(int channel)
{
    Defects d;
    d.deadChannel = channel;
    return d;
}
Defects Stuck(int channel, uint16_t count)
{
    Defects d;
    d.stuckChannel = channel;
    d.stuckCount = count;
    return d;
}
Defects Noisy(int channel, double uv)
{
    Defects d;
    d.noisyChannel = channel;
    d.noiseUv = uv;
    return d;
}
Defects Mains(double uv)
{
    Defects d;
    d.mainsUv = uv;
    return d;
}
Defects Electrode(int channel, double kohm)
{
    Defects d;
    d.impedanceKohm[channel] = kohm;
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DefectiveAmplifier,
    ::testing::Values(
        DefectCase{"QuorvexGainPointNineOnCh3", Model::quorvex, Gain(2, 0.9), {{"gain matching", "ch3"}}, {"ch3"}},
        DefectCase{"QuorvexAuxGainOnCh7", Model::quorvex, Gain(6, 1.05), {{"gain matching", "ch7"}}, {"ch7"}},
        DefectCase{"QuorvexDeadCh2", Model::quorvex, Dead(1), {{"dead or stuck", "ch2"}}, {"ch2"}},
        DefectCase{"QuorvexCh4StuckAtZero", Model::quorvex, Stuck(3, 0), {{"dead or stuck", "ch4"}}, {"ch4"}},
        DefectCase{"QuorvexCh6StuckAtMidscale", Model::quorvex, Stuck(5, 32768), {{"dead or stuck", "ch6"}}, {"ch6"}},
        DefectCase{"QuorvexNoisyAuxCh7", Model::quorvex, Noisy(6, 2.0), {{"noise ratio", "ch7"}}, {"ch7"}},
        DefectCase{"PellionNoisyAuxCh6", Model::pellion, Noisy(5, 2.0), {{"noise ratio", "ch6"}}, {"ch6"}},
        DefectCase{"QuorvexNoisyCh4", Model::quorvex, Noisy(3, 10.0), {{"noise ratio", "ch4"}}, {"ch4"}},
        DefectCase{
            "QuorvexElectrodeThreeAtFortyKilohms", Model::quorvex, Electrode(2, 40), {{"impedance", "3"}}, {"3"}},
        DefectCase{"QuorvexReferenceAtFortyKilohms", Model::quorvex, Electrode(4, 40), {{"impedance", "R"}}, {"R"}},
        DefectCase{"QuorvexMainsPickUp",
                   Model::quorvex,
                   Mains(60.0),
                   {{"mains pick-up", "ch1"},
                    {"mains pick-up", "ch2"},
                    {"mains pick-up", "ch3"},
                    {"mains pick-up", "ch4"},
                    {"mains pick-up", "ch6"},
                    {"mains pick-up", "ch7"},
                    {"mains pick-up", "ch8"}},
                   {"ch1", "ch2", "ch3", "ch4", "ch6", "ch7", "ch8"}},
        DefectCase{"PellionGainPointNineOnCh1", Model::pellion, Gain(0, 0.9), {{"gain matching", "ch1"}}, {"ch1"}},
        DefectCase{"PellionDeadCh2", Model::pellion, Dead(1), {{"dead or stuck", "ch2"}}, {"ch2"}},
        DefectCase{"PellionNoisyCh1", Model::pellion, Noisy(0, 10.0), {{"noise ratio", "ch1"}}, {"ch1"}},
        DefectCase{
            "PellionElectrodeOnePlusAtFortyKilohms", Model::pellion, Electrode(2, 40), {{"impedance", "1+"}}, {"1+"}},
        DefectCase{
            "PellionMainsPickUp",
            Model::pellion,
            Mains(60.0),
            {{"mains pick-up", "ch1"}, {"mains pick-up", "ch2"}, {"mains pick-up", "ch6"}, {"mains pick-up", "ch7"}},
            {"ch1", "ch2", "ch6", "ch7"}}),
    [](const ::testing::TestParamInfo<DefectCase>& info) { return std::string(info.param.label); });

TEST(DefectiveAmplifier, AGainDefectIsMeasuredAsItsShortfall)
{
    SyntheticAmplifier amp(Model::quorvex, 50, Gain(2, 0.9));
    ampcheck::Report report = CheckUnit(amp, Model::quorvex);
    EXPECT_NEAR(Find(report, "gain matching", "ch3")->value, -10.0, 0.3);
    EXPECT_NEAR(Find(report, "dead or stuck", "ch3")->value, 90.0, 0.3);
}

TEST(DefectiveAmplifier, ADeadChannelReadsNoCalibrationWave)
{
    SyntheticAmplifier amp(Model::quorvex, 50, Dead(1));
    ampcheck::Report report = CheckUnit(amp, Model::quorvex);
    EXPECT_LT(Find(report, "dead or stuck", "ch2")->value, 3.0);  // its own noise
    EXPECT_TRUE(std::isnan(Find(report, "calibration frequency", "ch2")->value));
    // Nor any mains: the notch cannot be seen working there.
    EXPECT_TRUE(std::isnan(Find(report, "notch rejection", "ch2")->value));
    EXPECT_FALSE(Find(report, "notch rejection", "ch2")->pass);
    EXPECT_GT(Find(report, "notch rejection", "ch1")->value, 30.0);
}

TEST(DefectiveAmplifier, AHigherImpedanceLimitLetsFortyKilohmsPass)
{
    SyntheticAmplifier amp(Model::quorvex, 50, Electrode(2, 40));
    EXPECT_EQ(Failures(CheckUnit(amp, Model::quorvex, 50, 50.0)), Named{});
}

TEST(Stream, AClockThreePercentSlowFailsTheSampleRateAlone)
{
    SyntheticAmplifier amp(Model::pellion, 50);
    amp.rateScale = 0.97;
    ampcheck::Report report = CheckUnit(amp, Model::pellion);
    EXPECT_EQ(Failures(report), (Named{{"sample rate error", ""}}));
    EXPECT_NEAR(Find(report, "sample rate error", "")->value, -3.0, 0.05);
}

TEST(Stream, AStallShortReadsAndLostPacketsFailTheirChecks)
{
    SyntheticAmplifier amp(Model::pellion, 50);
    amp.stallS = 0.8;
    amp.shortReadsPerCapture = 1;
    amp.lostPacketsPerCapture = 2;
    ampcheck::Report report = CheckUnit(amp, Model::pellion);
    Named failed = Failures(report);
    EXPECT_TRUE(failed.count({"short reads", ""}));
    EXPECT_TRUE(failed.count({"lost packets", ""}));
    EXPECT_TRUE(failed.count({"longest gap", ""}));
    EXPECT_EQ(Find(report, "short reads", "")->value, 6.0);
    EXPECT_EQ(Find(report, "lost packets", "")->value, 12.0);
    EXPECT_NEAR(Find(report, "longest gap", "")->value, 0.8 + 1 / 64.0, 0.015);
}

TEST(Runner, AFailedCaptureEndsTheRunWithoutAVerdictAndNamesTheStep)
{
    SyntheticAmplifier amp(Model::quorvex, 50);
    amp.failAtStep = 2;
    ampcheck::RunResult result = ampcheck::run_checks({}, {}, amp);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.error, "calibration 10 Hz 50 uV p-p, range 50: the amplifier stopped answering");
    EXPECT_EQ(amp.steps.size(), 3u);
}

TEST(Runner, ReportsProgressBeforeEachCaptureInPlanOrder)
{
    SyntheticAmplifier amp(Model::pellion, 50);
    std::vector<std::string> seen;
    ampcheck::Identity id;
    id.model = Model::pellion;
    ampcheck::run_checks(id, {}, amp, [&](size_t i, size_t n, const ampcheck::Step& s) {
        seen.push_back(std::to_string(i + 1) + "/" + std::to_string(n) + " " + s.name);
    });
    EXPECT_EQ(seen,
              (std::vector<std::string>{"1/6 impedance", "2/6 test signal, range 100", "3/6 test signal, range 50",
                                        "4/6 test signal, range 500", "5/6 EEG, notch OFF", "6/6 EEG, notch 50 Hz"}));
}

}  // namespace
