#include "analysis/welch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 256.0;
constexpr double kPi = std::numbers::pi;

std::vector<double> SineInNoise(double hz, double amplitude, double noise, double seconds, unsigned seed = 3)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, noise);
    std::vector<double> x;
    for (int i = 0; i < int(kRate * seconds); ++i)
        x.push_back(amplitude * std::sin(2 * kPi * hz * i / kRate + 0.4) + n(rng) + 5.0);
    return x;
}

// A second-order notch (the usual audio biquad) at `hz` with quality factor `q`.
std::vector<double> Notch(const std::vector<double>& x, double hz, double q)
{
    double w = 2 * kPi * hz / kRate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
    double b0 = 1 / a0, b1 = -2 * std::cos(w) / a0, b2 = 1 / a0, a1 = -2 * std::cos(w) / a0, a2 = (1 - alpha) / a0;
    std::vector<double> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        y[i] = b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x[i], y2 = y1, y1 = y[i];
    }
    return y;
}

TEST(PowerSpectrum, ASineOfAmplitudeTwelveHasLinePowerSeventyTwo)
{
    std::vector<double> x = SineInNoise(50.0, 12.0, 1.5, 8.0);
    analysis::Spectrum s = analysis::power_spectrum(x, kRate, 512);
    EXPECT_DOUBLE_EQ(s.binHz, 0.5);
    ASSERT_EQ(s.density.size(), 257u);
    EXPECT_NEAR(analysis::line_power(s, 50.0, 1.0), 72.0, 72.0 * 0.03);
}

TEST(PowerSpectrum, AFrequencyBetweenBinsStillGivesItsPower)
{
    std::vector<double> x = SineInNoise(60.25, 10.0, 0.0, 8.0);
    analysis::Spectrum s = analysis::power_spectrum(x, kRate, 512);
    EXPECT_NEAR(analysis::line_power(s, 60.0, 1.5), 50.0, 50.0 * 0.02);
}

TEST(PowerSpectrum, WhiteNoiseSpreadsItsPowerEvenlyUpToHalfTheRate)
{
    // σ² = 4 over 0 to 128 Hz: 25 Hz of it holds 4 × 25 / 128.
    std::vector<double> x = SineInNoise(10.0, 0.0, 2.0, 16.0);
    analysis::Spectrum s = analysis::power_spectrum(x, kRate, 512);
    EXPECT_NEAR(analysis::band_power(s, 70.0, 95.0), 4.0 * 25.0 / 128.0, 0.08);
    EXPECT_NEAR(analysis::band_power(s, 0.0, 128.0), 4.0, 0.2);
}

TEST(PowerSpectrum, TheMeanIsNotPower)
{
    std::vector<double> x(1024, 32768.0);
    analysis::Spectrum s = analysis::power_spectrum(x, kRate, 512);
    EXPECT_NEAR(analysis::band_power(s, 0.0, 128.0), 0.0, 1e-9);
}

TEST(PowerSpectrum, FewerSamplesThanASegmentMakeOneShorterSegment)
{
    std::vector<double> x = SineInNoise(32.0, 1.0, 0.0, 1.0);
    analysis::Spectrum s = analysis::power_spectrum(x, kRate, 4096);
    EXPECT_DOUBLE_EQ(s.binHz, 1.0);
    EXPECT_NEAR(analysis::line_power(s, 32.0, 2.0), 0.5, 0.01);
}

TEST(PowerSpectrum, NothingToMeasureGivesAnEmptySpectrum)
{
    std::vector<double> one{1.0};
    EXPECT_TRUE(analysis::power_spectrum(one, kRate, 512).density.empty());
    EXPECT_EQ(analysis::band_power({}, 0.0, 100.0), 0.0);
}

TEST(Rejection, AMainsLineThroughANotchLosesMoreThanThirtyDecibels)
{
    std::vector<double> x = SineInNoise(50.0, 12.0, 0.2, 8.0);
    std::vector<double> y = Notch(x, 50.0, 5.0);
    y.erase(y.begin(), y.begin() + 256);  // the filter's settling
    x.erase(x.begin(), x.begin() + 256);
    double before = analysis::line_power(analysis::power_spectrum(x, kRate, 512), 50.0, 1.0);
    double after = analysis::line_power(analysis::power_spectrum(y, kRate, 512), 50.0, 1.0);
    EXPECT_GT(analysis::rejection_db(before, after), 30.0);
}

TEST(Rejection, TheNotchLeavesTheAlphaBandAlone)
{
    std::vector<double> x = SineInNoise(10.0, 25.0, 0.2, 8.0);
    std::vector<double> y = Notch(x, 50.0, 5.0);
    double before = analysis::line_power(analysis::power_spectrum(x, kRate, 512), 10.0, 1.0);
    double after = analysis::line_power(analysis::power_spectrum(y, kRate, 512), 10.0, 1.0);
    EXPECT_NEAR(analysis::rejection_db(before, after), 0.0, 0.2);
}

TEST(MeasureLine, TakesTheBackgroundOffTheLine)
{
    // White noise of σ² = 2.25 has a density of 2.25 / 128 per Hz; the 2.5 Hz band around the
    // line (five half-hertz bins) holds 0.044 of it.
    std::vector<double> x = SineInNoise(50.0, 3.0, 1.5, 16.0);
    analysis::Line line = analysis::measure_line(analysis::power_spectrum(x, kRate, 512), 50.0, 1.0, 5.0);
    EXPECT_NEAR(line.background, 2.25 / 128 * 2.5, 0.015);
    EXPECT_NEAR(line.power, 4.5, 0.25);
}

TEST(MeasureLine, NoLineLeavesNothingButTheBackground)
{
    std::vector<double> x = SineInNoise(50.0, 0.0, 1.5, 16.0);
    analysis::Line line = analysis::measure_line(analysis::power_spectrum(x, kRate, 512), 50.0, 1.0, 5.0);
    EXPECT_LT(std::abs(line.power), 0.5 * line.background);
}

TEST(Rejection, IsTenLogOfThePowerRatio)
{
    EXPECT_DOUBLE_EQ(analysis::rejection_db(100.0, 1.0), 20.0);
    EXPECT_DOUBLE_EQ(analysis::rejection_db(1.0, 10.0), -10.0);
}

}  // namespace
