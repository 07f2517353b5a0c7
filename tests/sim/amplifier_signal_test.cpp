#include "sim/amplifier.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace simtest;
using sim::Bytes;

namespace {

Bytes calibration(double hz, uint8_t amplitude)
{
    uint32_t w = uint32_t(hz / 0.000931322575);
    return {9, 0x30, uint8_t(w), 0x21, uint8_t(w >> 8), 0x32, uint8_t(w >> 16), 0x23,
            uint8_t(w >> 24), amplitude};
}

// Power of one frequency in a series (Goertzel), normalised by length.
double power_at(const std::vector<double>& x, double hz, double rate)
{
    double k = 2 * std::cos(2 * M_PI * hz / rate), s1 = 0, s2 = 0;
    double mean = 0;
    for (double v : x) mean += v / x.size();
    for (double v : x) {
        double s = v - mean + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / (double(x.size()) * x.size());
}

class AmplifierSignal : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    std::unique_ptr<sim::Amplifier> amp;

    void start(std::initializer_list<Bytes> commands, sim::AmplifierOptions options = {})
    {
        amp = std::make_unique<sim::Amplifier>(options);
        send(*amp, {1});
        for (const Bytes& c : commands) send(*amp, c);
        send(*amp, {10});
    }
    // `packets` packets' worth of one channel, sample by sample.
    std::vector<double> channel(int c, int packets)
    {
        std::vector<double> series;
        for (int p = 0; p < packets; ++p) {
            Transfer t = read(*amp, 68);
            EXPECT_EQ(t.bytes.size(), 68u);
            if (t.bytes.size() != 68) break;
            for (int f = 0; f < 4; ++f) series.push_back(value(t.bytes, f, c));
        }
        return series;
    }
    void TearDown() override { amp.reset(); }
};

struct SquareCase {
    double hz;
    uint8_t amplitude;
    uint8_t range;
    double peakToPeakCounts;
};

class CalibrationSquareWave : public AmplifierSignal,
                              public ::testing::WithParamInterface<SquareCase> {};

TEST_P(CalibrationSquareWave, FollowsFrequencyAmplitudeAndRangeOfTheLastPacket)
{
    SquareCase c = GetParam();
    start({calibration(1, 50), calibration(c.hz, c.amplitude), {c.range}});
    std::vector<double> x = channel(0, 256);  // four seconds
    auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    EXPECT_NEAR(*hi - *lo, c.peakToPeakCounts, 2);
    EXPECT_NEAR((*hi + *lo) / 2, 32768, 2);
    std::vector<size_t> rising;
    for (size_t i = 1; i < x.size(); ++i)
        if (x[i] > x[i - 1] + 1) rising.push_back(i);
    ASSERT_GE(rising.size(), 2u);
    double period = double(rising.back() - rising.front()) / (rising.size() - 1);
    EXPECT_NEAR(period, 256.0 / c.hz, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Steps, CalibrationSquareWave,
                         ::testing::Values(SquareCase{8.0, 255, 7, 32768},
                                           SquareCase{2.0, 126, 7, 126 * 100.0 / 255 * 327.68},
                                           SquareCase{16.0, 13, 6, 13 * 100.0 / 255 * 655.36},
                                           SquareCase{4.0, 193, 8, 193 * 100.0 / 255 * 65.536}));

TEST_F(AmplifierSignal, ZeroAmplitudeCalibrationIsFlatOnEveryChannel)
{
    start({calibration(10, 0), {14}});
    for (int c = 0; c < 8; ++c) {
        std::vector<double> x = channel(c, 4);
        EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](double v) { return v == 32768; })) << c;
    }
}

struct NotchCase {
    int mainsHz;
    uint8_t notchCode;  // 0: none sent
    bool removed;
};

class MainsNotch : public AmplifierSignal, public ::testing::WithParamInterface<NotchCase> {};

TEST_P(MainsNotch, MatchingNotchRemovesTheMainsComponent)
{
    NotchCase c = GetParam();
    std::initializer_list<Bytes> withNotch{{3}, {c.notchCode}};
    std::initializer_list<Bytes> without{{3}};
    start(without, {.mainsHz = c.mainsHz});
    double before = power_at(channel(0, 256), c.mainsHz, 256);
    start(c.notchCode ? withNotch : without, {.mainsHz = c.mainsHz});
    double after = power_at(channel(0, 256), c.mainsHz, 256);
    double alpha = power_at(channel(0, 256), 10, 256);
    EXPECT_GT(alpha, 0);
    if (c.removed) EXPECT_LT(after, before / 50) << before << " " << after;
    else EXPECT_GT(after, before / 3) << before << " " << after;
}

INSTANTIATE_TEST_SUITE_P(Settings, MainsNotch,
                         ::testing::Values(NotchCase{50, 19, true}, NotchCase{60, 18, true},
                                           NotchCase{50, 18, false}, NotchCase{60, 19, false},
                                           NotchCase{50, 0, false}));

TEST_F(AmplifierSignal, EegShowsAnAlphaRhythmWellAboveTheBackground)
{
    start({{3}, {19}});
    std::vector<double> x = channel(0, 512);
    EXPECT_GT(power_at(x, 10, 256), 20 * power_at(x, 30, 256));
    auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    EXPECT_LT(*hi - *lo, 65535);  // a plausible EEG at range 100 stays on scale
    EXPECT_GT(*hi - *lo, 20 * 327.68);
}

TEST_F(AmplifierSignal, ChannelCountAndAuxDecideWhichChannelsAreLive)
{
    auto flat = [](const std::vector<double>& x) {
        return std::all_of(x.begin(), x.end(), [](double v) { return v == 32768; });
    };
    start({{3}, {13}});
    EXPECT_FALSE(flat(channel(1, 8)));
    EXPECT_TRUE(flat(channel(2, 8)));
    EXPECT_TRUE(flat(channel(4, 8)));
    EXPECT_TRUE(flat(channel(6, 8)));
    start({{3}, {14}});
    EXPECT_FALSE(flat(channel(3, 8)));
    EXPECT_FALSE(flat(channel(6, 64)));
    start({{3}, {14}}, {.model = sim::Model::pellion});
    EXPECT_FALSE(flat(channel(1, 8)));
    EXPECT_TRUE(flat(channel(2, 8)));
    EXPECT_FALSE(flat(channel(5, 64)));
    EXPECT_TRUE(flat(channel(7, 8)));
}

TEST_F(AmplifierSignal, ImpedancesDriftSlowlyInKilohmsOnChannelsZeroToFour)
{
    start({{5}});
    ASSERT_TRUE(amp->set_impedance(2, 25));
    EXPECT_FALSE(amp->set_impedance(5, 10));
    std::vector<double> ch2 = channel(2, 64 * 60);
    auto [lo, hi] = std::minmax_element(ch2.begin(), ch2.end());
    EXPECT_GE(*lo, 21);
    EXPECT_LE(*hi, 29);
    EXPECT_GT(*hi, *lo);  // it does move over a minute
    for (int c : {0, 1, 3, 4}) {
        std::vector<double> x = channel(c, 64);
        for (double v : x) {
            EXPECT_GE(v, 1) << c;
            EXPECT_LE(v, 30) << c;
            EXPECT_EQ(v, std::round(v));
        }
    }
}

}  // namespace
