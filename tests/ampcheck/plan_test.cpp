#include "tools/ampcheck/plan.h"

#include <gtest/gtest.h>

namespace {

using ampcheck::Mode;
using ampcheck::Model;
using ampcheck::Role;

double Seconds(const ampcheck::Plan& plan)
{
    int packets = 0;
    for (const ampcheck::Step& s : plan.steps) packets += s.packets;
    return packets / 64.0;
}

TEST(Plan, AFullRunStreamsWellUnderAMinuteAtSixtyFourPacketsASecond)
{
    EXPECT_LT(Seconds(ampcheck::plan_for(Model::quorvex, 50)), 35.0);
    EXPECT_LT(Seconds(ampcheck::plan_for(Model::pellion, 50)), 35.0);
}

TEST(Plan, EveryCaptureKeepsMeasuredPacketsAfterItsSettling)
{
    for (Model model : {Model::quorvex, Model::pellion})
        for (const ampcheck::Step& s : ampcheck::plan_for(model, 60).steps) {
            EXPECT_EQ(s.settlePackets, 16) << s.name;
            EXPECT_GE(s.packets - s.settlePackets, 64) << s.name;
        }
}

TEST(Plan, TheQuorvexLeavesTheMainsInWithTheNotchOnTheOtherFrequency)
{
    // Its notch switch has no OFF: 50 and 60 Hz only.
    for (auto [mains, other] : {std::pair{50, 60}, std::pair{60, 50}}) {
        ampcheck::Plan plan = ampcheck::plan_for(Model::quorvex, mains);
        for (const ampcheck::Step& s : plan.steps) {
            EXPECT_EQ(s.notchHz, s.role == Role::mainsOpen ? other : mains) << s.name;
            EXPECT_NE(s.notchHz, 0) << s.name;
        }
    }
}

TEST(Plan, ThePellionSwitchesItsNotchOffAndNeverSetsWhatItLacks)
{
    ampcheck::Plan plan = ampcheck::plan_for(Model::pellion, 50);
    bool open = false;
    for (const ampcheck::Step& s : plan.steps) {
        EXPECT_FALSE(s.calibration) << s.name;
        EXPECT_FALSE(s.channels) << s.name;
        EXPECT_FALSE(s.referenceLinked) << s.name;
        if (s.role == Role::mainsOpen) {
            EXPECT_EQ(s.notchHz, 0);
            open = true;
        }
        if (s.role == Role::mainsNotched) {
            EXPECT_EQ(s.notchHz, 50);
        }
    }
    EXPECT_TRUE(open);
}

TEST(Plan, TheQuorvexCalibratesAtThreeFrequenciesSixAmplitudesAndThreeRanges)
{
    ampcheck::Plan plan = ampcheck::plan_for(Model::quorvex, 50);
    std::vector<double> hz;
    std::vector<int> amplitudes, ranges;
    for (const ampcheck::Step& s : plan.steps) {
        if (s.mode != Mode::calibration) continue;
        ASSERT_TRUE(s.calibration);
        EXPECT_EQ(s.channels, 4);
        EXPECT_EQ(s.referenceLinked, true);
        EXPECT_TRUE(s.aux);
        if (s.role == Role::calibration || s.role == Role::frequency) hz.push_back(s.calibration->frequencyHz);
        if (s.role == Role::calibration || s.role == Role::amplitude)
            amplitudes.push_back(s.calibration->amplitudeIndex);
        if (s.role == Role::calibration || s.role == Role::range) ranges.push_back(s.rangeUv);
    }
    EXPECT_EQ(hz, (std::vector<double>{10.0, 2.0, 20.0}));
    EXPECT_EQ(amplitudes, (std::vector<int>{6, 1, 2, 4, 7, 8}));
    EXPECT_EQ(ranges, (std::vector<int>{100, 50, 500}));
}

TEST(Plan, ImpedancesAreReadFirstInPanelOrder)
{
    ampcheck::Plan q = ampcheck::plan_for(Model::quorvex, 50), p = ampcheck::plan_for(Model::pellion, 50);
    EXPECT_EQ(q.steps.front().mode, Mode::impedance);
    EXPECT_EQ(p.steps.front().mode, Mode::impedance);
    using E = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(q.electrodes, (E{{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}, {4, "R"}}));
    EXPECT_EQ(p.electrodes, (E{{0, "1-"}, {2, "1+"}, {1, "2-"}, {3, "2+"}}));
}

TEST(Plan, NamesEveryCaptureForTheRecording)
{
    ampcheck::Plan plan = ampcheck::plan_for(Model::quorvex, 50);
    EXPECT_EQ(plan.steps[0].name, "impedance");
    EXPECT_EQ(plan.steps[1].name, "calibration 10 Hz 50 uV p-p, range 100");
    EXPECT_EQ(plan.steps[4].name, "calibration 2 Hz 50 uV p-p, range 100");
    EXPECT_EQ(plan.steps.back().name, "EEG, notch 50 Hz");
    EXPECT_EQ(plan.steps[plan.steps.size() - 2].name, "EEG, notch 60 Hz (mains 50 Hz left in)");
}

TEST(CalibrationSettings, TheGeneratorTruncatesToItsTuningStep)
{
    EXPECT_NEAR(ampcheck::generated_frequency(10.0), 10737 * 0.000931322575, 1e-12);
    EXPECT_NEAR(ampcheck::generated_frequency(2.0), 2147 * 0.000931322575, 1e-12);
    EXPECT_EQ(ampcheck::amplitude_code(6), 126);
    EXPECT_EQ(ampcheck::amplitude_code(8), 255);
    EXPECT_NEAR(ampcheck::amplitude_uv(1), 13 * 100.0 / 255, 1e-12);
}

}  // namespace
