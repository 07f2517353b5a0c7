#include "analysis/square_wave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// A square wave as an amplifier samples it: high for the first half period after `delayS`.
std::vector<double> Square(double hz, double low, double high, double rate, double seconds, double delayS,
                           double noise = 0.0)
{
    std::mt19937 rng(7);
    std::normal_distribution<double> n(0.0, 1.0);
    std::vector<double> x;
    for (int i = 0; i < int(rate * seconds); ++i) {
        double t = i / rate - delayS;
        double phase = t * hz - std::floor(t * hz);
        x.push_back((phase < 0.5 ? high : low) + noise * n(rng));
    }
    return x;
}

struct WaveCase {
    double hz;
    double seconds;
};

class SquareWaveFrequency : public ::testing::TestWithParam<WaveCase> {};

TEST_P(SquareWaveFrequency, MeasuresFrequencyWithinATenthOfAPercentAndBothLevels)
{
    const WaveCase c = GetParam();
    std::vector<double> x = Square(c.hz, -12.5, 37.5, 256.0, c.seconds, 0.013, 0.5);
    analysis::SquareWave wave = analysis::measure_square_wave(x, 256.0);
    EXPECT_NEAR(wave.frequencyHz, c.hz, c.hz * 0.001);
    EXPECT_NEAR(wave.low, -12.5, 0.1);
    EXPECT_NEAR(wave.high, 37.5, 0.1);
    EXPECT_NEAR(wave.height(), 50.0, 0.2);
}

INSTANTIATE_TEST_SUITE_P(CalibrationFrequencies, SquareWaveFrequency,
                         ::testing::Values(WaveCase{2.0, 3.0}, WaveCase{9.99961, 1.0}, WaveCase{20.0, 1.0},
                                           WaveCase{40.0, 1.0}, WaveCase{3.3, 4.0}));

TEST(SquareWave, AFlatChannelHasNoHeightAndNoFrequency)
{
    std::vector<double> flat(512, 32768.0);
    analysis::SquareWave wave = analysis::measure_square_wave(flat, 256.0);
    EXPECT_EQ(wave.height(), 0.0);
    EXPECT_TRUE(std::isnan(wave.frequencyHz));
    EXPECT_EQ(wave.rises, 0);
}

TEST(SquareWave, NoiseAloneHasSomeHeightButNoTwoLevelsAndNoFrequency)
{
    std::vector<double> noise = Square(10.0, 0.0, 0.0, 256.0, 2.0, 0.0, 0.5);
    analysis::SquareWave wave = analysis::measure_square_wave(noise, 256.0);
    EXPECT_FALSE(wave.twoLevels);
    EXPECT_TRUE(std::isnan(wave.frequencyHz));
    EXPECT_NEAR(wave.height(), 1.35 * 0.5, 0.1);  // the medians of each half of a normal spread
}

TEST(SquareWave, NoiseOnTheLevelsMakesNoExtraEdges)
{
    // 10 Hz for one second: ten rising edges (the first half period is high, so the first
    // rise is at 0.1 s), however the noise dithers around each level.
    std::vector<double> x = Square(10.0, 0.0, 100.0, 256.0, 1.0, 0.0, 8.0);
    analysis::SquareWave wave = analysis::measure_square_wave(x, 256.0);
    EXPECT_TRUE(wave.twoLevels);
    EXPECT_EQ(wave.rises, 9);
    EXPECT_NEAR(wave.firstRiseS, 0.1, 1.0 / 256);
}

TEST(SquareWave, AMissingPeriodDoesNotHalveTheFrequency)
{
    std::vector<double> x = Square(8.0, 0.0, 10.0, 256.0, 2.0, 0.0);
    // One period held low, as if the signal dropped out once.
    for (int i = 64; i < 96 + 16; ++i) x[size_t(i)] = 0.0;
    analysis::SquareWave wave = analysis::measure_square_wave(x, 256.0);
    EXPECT_NEAR(wave.frequencyHz, 8.0, 0.01);
}

TEST(FoldPeriod, FoldsOnePeriodHighThenLowFromARisingEdge)
{
    std::vector<double> x = Square(4.0, -1.0, 1.0, 256.0, 2.0, 0.0);
    std::vector<double> folded = analysis::fold_period(x, 256.0, 4.0, 0.0, 8);
    ASSERT_EQ(folded.size(), 8u);
    for (int b = 0; b < 4; ++b) EXPECT_DOUBLE_EQ(folded[size_t(b)], 1.0) << b;
    for (int b = 4; b < 8; ++b) EXPECT_DOUBLE_EQ(folded[size_t(b)], -1.0) << b;
}

TEST(FoldPeriod, SlicesNoSampleFellIntoAreNaN)
{
    std::vector<double> x(4, 1.0);
    std::vector<double> folded = analysis::fold_period(x, 256.0, 1.0, 0.0, 16);
    EXPECT_EQ(folded[0], 1.0);
    EXPECT_TRUE(std::isnan(folded[15]));
}

}  // namespace
