// The healthy signal, figure by figure as docs/signals.md states it.
#include "sim/amplifier.h"
#include "signal_measure.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace simtest;
using sim::Bytes;
using sim::Model;
using sim::SignalGenerator;
using sim::SignalSettings;

namespace {

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
    // `packets` packets' worth of one channel, sample by sample, in counts.
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

SignalGenerator generator(SignalSettings s, Model model = Model::quorvex, int mainsHz = 50, uint32_t seed = 7)
{
    SignalGenerator g(model, 256, mainsHz, seed);
    g.set(s);
    return g;
}

struct SquareCase {
    Bytes packet;
    uint8_t range;
    double peakToPeakCounts;
    double periodSamples;
};

class CalibrationSquareWave : public AmplifierSignal, public ::testing::WithParamInterface<SquareCase> {};

TEST_P(CalibrationSquareWave, FollowsFrequencyAmplitudeAndRangeOfTheLastPacket)
{
    SquareCase c = GetParam();
    const Bytes first{9, 0x30, 0x31, 0x21, 0x04, 0x32, 0x00, 0x23, 0x00, 0x32};  // 1 Hz, code 50
    start({first, c.packet, {c.range}});
    std::vector<double> x = channel(0, 256);  // four seconds
    EXPECT_GT(x[0], 32768);                   // high first
    // The noise is small beside the wave: its sign tells the halves apart.
    std::vector<double> high, low;
    std::vector<size_t> rising;
    for (size_t i = 0; i < x.size(); ++i) {
        (x[i] > 32768 ? high : low).push_back(x[i]);
        if (i > 0 && x[i] > 32768 && x[i - 1] <= 32768) rising.push_back(i);
    }
    double tolerance = 0.15 * counts_per_uv(c.range);  // the noise, averaged over 2 s a half
    EXPECT_NEAR(mean(high) - mean(low), c.peakToPeakCounts, tolerance);
    EXPECT_NEAR((mean(high) + mean(low)) / 2, 32768, tolerance);
    ASSERT_GE(rising.size(), 2u);
    double period = double(rising.back() - rising.front()) / double(rising.size() - 1);
    EXPECT_NEAR(period, c.periodSamples, 0.2);  // edges fall on whole samples
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CalibrationSquareWave,
    ::testing::Values(
        // 8 Hz (W 8589), code 255 = 100 µV, range 100
        SquareCase{{9, 0x30, 0x8D, 0x21, 0x21, 0x32, 0x00, 0x23, 0x00, 0xFF}, 7, 32768, 32.0035},
        // 2 Hz (W 2147), code 126 = 49.412 µV, range 100
        SquareCase{{9, 0x30, 0x63, 0x21, 0x08, 0x32, 0x00, 0x23, 0x00, 0x7E}, 7, 16191.25, 128.0288},
        // 16 Hz (W 17179), code 13 = 5.098 µV, range 50
        SquareCase{{9, 0x30, 0x1B, 0x21, 0x43, 0x32, 0x00, 0x23, 0x00, 0x0D}, 6, 3341.05, 16.0008},
        // 4 Hz (W 4294), code 193 = 75.686 µV, range 500
        SquareCase{{9, 0x30, 0xC6, 0x21, 0x10, 0x32, 0x00, 0x23, 0x00, 0xC1}, 8, 4960.18, 64.0144}));

TEST(CalibrationAmplitude, EachCodeReadsItsMicrovoltsPeakToPeak)
{
    struct Step {
        uint8_t code;
        double uv;
    };
    for (Step step : {Step{0, 0}, Step{13, 5.098}, Step{25, 9.804}, Step{38, 14.902}, Step{50, 19.608},
                      Step{63, 24.706}, Step{126, 49.412}, Step{193, 75.686}, Step{255, 100.0}}) {
        SignalGenerator g = generator({.mode = 4, .range = 8, .calWord = 8589, .calAmplitude = step.code});
        std::vector<double> x = capture_uv(g, 8192)[0];
        // Halves by the wave's own phase, so that a flat line measures 0.
        std::vector<double> high, low;
        for (size_t n = 0; n < x.size(); ++n)
            (std::fmod(double(n) / 256 * 8589 * 0.000931322575, 1.0) < 0.5 ? high : low).push_back(x[n]);
        EXPECT_NEAR(mean(high) - mean(low), step.uv, 0.05) << int(step.code);
    }
}

TEST(CalibrationAmplitude, ThePellionTestModeIsTheTenHertzFiftyMicrovoltWave)
{
    SignalGenerator g = generator({.mode = 4, .aux = true}, Model::pellion);
    auto uv = capture_uv(g, 2560);
    for (size_t c : {0, 1, 5, 6}) {
        std::vector<double> high, low;
        size_t rises = 0, first = 0, last = 0;
        for (size_t n = 0; n < uv[c].size(); ++n) {
            (uv[c][n] > 0 ? high : low).push_back(uv[c][n]);
            if (n > 0 && uv[c][n] > 0 && uv[c][n - 1] <= 0) {
                if (rises++ == 0) first = n;
                last = n;
            }
        }
        EXPECT_NEAR(mean(high) - mean(low), 49.412, 0.1) << c;
        EXPECT_NEAR(256.0 * double(rises - 1) / double(last - first), 9.9996, 0.005) << c;
    }
    for (size_t c : {2, 3, 4, 7}) EXPECT_EQ(rms_about_mean(uv[c]) + std::abs(mean(uv[c])), 0) << c;
}

TEST(Scale, RangesDifferSampleBySampleExactlyByTheirRatio)
{
    for (uint8_t mode : {3, 4}) {
        std::array<std::vector<double>, 3> counts;
        uint8_t ranges[] = {6, 7, 8};
        for (size_t r = 0; r < 3; ++r) {
            SignalGenerator g = generator({.mode = mode, .range = ranges[r], .channels = 4, .aux = true});
            for (int n = 0; n < 4096; ++n) counts[r].push_back(g.next()[1] - 32768.0);
        }
        for (size_t n = 0; n < 4096; ++n) {
            if (std::abs(counts[0][n]) >= 32767) continue;  // clipped at range 50
            ASSERT_NEAR(counts[0][n], 2 * counts[1][n], 1.5) << n;
            ASSERT_NEAR(counts[1][n], 5 * counts[2][n], 3) << n;
        }
    }
}

TEST(Noise, EveryLiveChannelCarriesItsOwnHalfMicrovoltOfWhiteNoiseAtEveryRange)
{
    for (Model model : {Model::quorvex, Model::pellion}) {
        for (uint8_t range : {6, 7, 8}) {
            // Calibration at code 0: nothing but the noise.
            SignalGenerator g =
                generator({.mode = 4, .range = range, .channels = 4, .aux = true, .calAmplitude = 0}, model);
            auto uv = capture_uv(g, 16384);
            std::vector<size_t> live = model == Model::quorvex ? std::vector<size_t>{0, 1, 2, 3, 5, 6, 7}
                                                               : std::vector<size_t>{0, 1, 5, 6};
            for (size_t c : live) {
                EXPECT_NEAR(rms_about_mean(uv[c]), 0.5, 0.01) << c << " at range " << int(range);
                EXPECT_NEAR(mean(uv[c]), 0, 0.02) << c;
                for (size_t other : live) {
                    if (other <= c) continue;
                    EXPECT_LT(std::abs(correlation(uv[c], uv[other])), 0.04) << c << other;
                }
            }
            for (size_t c = 0; c < 8; ++c) {
                if (std::find(live.begin(), live.end(), c) != live.end()) continue;
                EXPECT_TRUE(std::all_of(uv[c].begin(), uv[c].end(), [](double v) { return v == 0; })) << c;
            }
        }
    }
}

struct HighBandCase {
    Model model;
    int mainsHz;
    SignalSettings settings;
};

class NoiseAboveTheEegBand : public ::testing::TestWithParam<HighBandCase> {};

TEST_P(NoiseAboveTheEegBand, IsTheWhiteNoiseAloneOnEveryLiveChannel)
{
    HighBandCase c = GetParam();
    SignalGenerator g = generator(c.settings, c.model, c.mainsHz);
    auto uv = capture_uv(g, 32768);
    std::vector<size_t> live = c.model == Model::quorvex ? std::vector<size_t>{0, 1, 2, 3, 5, 6, 7}
                                                         : std::vector<size_t>{0, 1, 5, 6};
    // Beside the mains line: 0.25 µV² × band / 128 Hz. A band's estimate spreads by about
    // 1.6 % (60 Hz wide) and 8 % (2 Hz wide) around it.
    auto white = [](double lo, double hi) { return 0.25 * (hi - lo) / 128; };
    double below = c.mainsHz - 3.0, above = c.mainsHz + 3.0;
    for (size_t ch : live) {
        EXPECT_NEAR(band_power(uv[ch], 256, 45, below), white(45, below), 0.25 * white(45, below)) << ch;
        EXPECT_NEAR(band_power(uv[ch], 256, above, 125), white(above, 125), 0.06 * white(above, 125)) << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, NoiseAboveTheEegBand,
    ::testing::Values(
        HighBandCase{Model::quorvex, 50, {.mode = 3, .channels = 4, .aux = true}},
        HighBandCase{
            Model::quorvex, 60, {.mode = 3, .range = 8, .channels = 4, .aux = true, .refLinked = false, .notchHz = 50}},
        HighBandCase{Model::pellion, 50, {.mode = 3, .aux = true, .notchHz = 0}}));

struct NotchCase {
    Model model;
    int mainsHz;
    int notchHz;
    double lineUv;
};

class MainsNotch : public ::testing::TestWithParam<NotchCase> {};

TEST_P(MainsNotch, LineIsTwelveMicrovoltsAndTheMatchingNotchTakesItDownSixtyDecibels)
{
    NotchCase c = GetParam();
    SignalGenerator g =
        generator({.mode = 3, .range = 8, .channels = 4, .aux = true, .notchHz = c.notchHz}, c.model, c.mainsHz);
    auto uv = capture_uv(g, 16384);
    for (size_t ch : {0, 1, 5, 6}) {
        double line = line_amplitude(uv[ch], c.mainsHz, 256);
        if (c.lineUv > 0) EXPECT_NEAR(line, c.lineUv, 0.2) << ch;
        else EXPECT_LT(line, 0.03) << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, MainsNotch,
                         ::testing::Values(NotchCase{Model::quorvex, 50, 60, 12.0},
                                           NotchCase{Model::quorvex, 50, 50, 0}, NotchCase{Model::quorvex, 60, 60, 0},
                                           NotchCase{Model::quorvex, 60, 50, 12.0},
                                           NotchCase{Model::pellion, 50, 0, 12.0},
                                           NotchCase{Model::pellion, 60, 0, 12.0},
                                           NotchCase{Model::pellion, 50, 50, 0}));

TEST(MainsNotch, MainsRidesOnlyOnTheEegMode)
{
    SignalGenerator g = generator({.mode = 4, .range = 8, .notchHz = 0, .calAmplitude = 0});
    EXPECT_LT(line_amplitude(capture_uv(g, 16384)[0], 50, 256), 0.03);
}

TEST_F(AmplifierSignal, StartsStreamingTheNotchedSixtyHertzStateOverFiftyHertzMains)
{
    start({{3}, {8}});
    std::vector<double> x = channel(0, 1024);
    for (double& v : x) v = (v - 32768) / 65.536;
    EXPECT_NEAR(line_amplitude(x, 50, 256), 12.0, 0.2);
    EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](double v) { return std::abs(v) < 100; }));
    std::vector<double> ch3 = channel(2, 16);
    EXPECT_TRUE(std::all_of(ch3.begin(), ch3.end(), [](double v) { return v == 32768; }));  // "2 Ch."
}

TEST(Eeg, AlphaStandsWellAboveTheBackgroundAndPeaksStayOnScaleAtRange100)
{
    SignalGenerator g = generator({.mode = 3, .range = 8, .channels = 4});
    auto uv = capture_uv(g, 256 * 120);
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_GT(band_power(uv[c], 256, 8.5, 11.5), 20 * band_power(uv[c], 256, 20, 23)) << c;
        double peak = 0;
        for (double v : uv[c]) peak = std::max(peak, std::abs(v));
        EXPECT_LT(peak, 75) << c;
        EXPECT_GT(peak, 30) << c;
    }
}

TEST_F(AmplifierSignal, ChannelCountAndAuxDecideWhichChannelsAreLive)
{
    auto flat = [](const std::vector<double>& x) {
        return std::all_of(x.begin(), x.end(), [](double v) { return v == 32768; });
    };
    start({{3}, {12}, {13}});
    EXPECT_FALSE(flat(channel(1, 8)));
    EXPECT_TRUE(flat(channel(2, 8)));
    EXPECT_TRUE(flat(channel(4, 8)));
    EXPECT_TRUE(flat(channel(6, 8)));
    start({{3}, {12}, {14}});
    EXPECT_FALSE(flat(channel(3, 8)));
    EXPECT_TRUE(flat(channel(4, 8)));
    EXPECT_FALSE(flat(channel(6, 64)));
    start({{3}, {14}}, {.model = sim::Model::pellion});
    EXPECT_FALSE(flat(channel(1, 8)));
    EXPECT_TRUE(flat(channel(2, 8)));
    EXPECT_FALSE(flat(channel(5, 64)));
    EXPECT_TRUE(flat(channel(7, 8)));
}

TEST_F(AmplifierSignal, ZeroAmplitudeCalibrationLeavesOnlyTheNoiseOnLiveChannels)
{
    start({{9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x00}, {12}, {14}});
    for (int c = 0; c < 8; ++c) {
        std::vector<double> x = channel(c, 64);
        for (double& v : x) v = (v - 32768) / 327.68;
        if (c == 4) EXPECT_EQ(rms_about_mean(x) + std::abs(mean(x)), 0);
        else EXPECT_NEAR(rms_about_mean(x), 0.5, 0.06) << c;
    }
}

TEST(Impedance, HealthyElectrodesStartAtTheirValuesAndStayUnderTenKilohms)
{
    struct Case {
        Model model;
        std::array<int, 5> start;
    };
    for (Case c : {Case{Model::quorvex, {5, 7, 8, 6, 3}}, Case{Model::pellion, {5, 7, 8, 6, 32768}}}) {
        SignalGenerator g = generator({.mode = 5}, c.model);
        std::array<uint16_t, 8> first = g.next();
        for (size_t e = 0; e < 5; ++e) EXPECT_EQ(first[e], c.start[e]) << e;
        for (size_t e = 5; e < 8; ++e) EXPECT_EQ(first[e], 32768);
        std::array<int, 5> lo = c.start, hi = c.start;
        for (int n = 0; n < 256 * 600; ++n) {  // ten minutes
            std::array<uint16_t, 8> f = g.next();
            for (size_t e = 0; e < 5; ++e) {
                lo[e] = std::min<int>(lo[e], f[e]);
                hi[e] = std::max<int>(hi[e], f[e]);
            }
        }
        for (size_t e = 0; e < 5; ++e) {
            if (c.start[e] == 32768) continue;
            EXPECT_GE(lo[e], c.start[e] - 1) << e;
            EXPECT_LE(hi[e], c.start[e] + 1) << e;
            EXPECT_LT(hi[e], 10) << e;
            EXPECT_GT(hi[e], lo[e]) << e;  // the bars move now and then
        }
    }
}

TEST_F(AmplifierSignal, AnElectrodeSetToFortyKilohmsReadsAboutForty)
{
    for (sim::Model model : {sim::Model::quorvex, sim::Model::pellion}) {
        start({{5}}, {.model = model});
        ASSERT_TRUE(amp->set_impedance(2, 40));
        std::vector<double> z = channel(2, 64 * 60);
        EXPECT_EQ(z.front(), 40);
        auto [lo, hi] = std::minmax_element(z.begin(), z.end());
        EXPECT_GE(*lo, 39);
        EXPECT_LE(*hi, 41);
        std::vector<double> others = channel(1, 4);
        EXPECT_NEAR(others.front(), 7, 1);
    }
}

TEST(Impedance, ElectrodesOutsideTheModelOrRangeAreRefused)
{
    SignalGenerator quorvex = generator({}), pellion = generator({}, Model::pellion);
    EXPECT_TRUE(quorvex.set_impedance(4, 12));
    EXPECT_TRUE(quorvex.set_impedance(0, 999));
    EXPECT_TRUE(quorvex.set_impedance(0, 0));
    EXPECT_FALSE(quorvex.set_impedance(5, 10));
    EXPECT_FALSE(quorvex.set_impedance(-1, 10));
    EXPECT_FALSE(quorvex.set_impedance(1, 1000));
    EXPECT_FALSE(quorvex.set_impedance(1, -1));
    EXPECT_TRUE(pellion.set_impedance(3, 40));
    EXPECT_FALSE(pellion.set_impedance(4, 10));
}

TEST(Determinism, TheSameSeedGivesTheSameSamplesWhateverTheModeWas)
{
    SignalSettings cal{.mode = 4, .channels = 4, .calAmplitude = 0};
    SignalGenerator a = generator(cal), b = generator({.mode = 3, .channels = 4}),
                    other = generator(cal, Model::quorvex, 50, 8);
    std::vector<std::array<uint16_t, 8>> fromA, fromB, fromOther;
    for (int n = 0; n < 512; ++n) {
        if (n == 256) b.set(cal);
        fromA.push_back(a.next());
        fromB.push_back(b.next());
        fromOther.push_back(other.next());
    }
    EXPECT_NE(fromA[10], fromB[10]);
    EXPECT_TRUE(std::equal(fromA.begin() + 256, fromA.end(), fromB.begin() + 256));
    EXPECT_NE(fromA, fromOther);
}

TEST_F(AmplifierSignal, TwoAmplifiersWithOneSeedStreamTheSamePackets)
{
    auto stream = [&](uint32_t seed) {
        start({{3}, {12}}, {.seed = seed});
        std::vector<std::vector<uint8_t>> packets;
        for (int i = 0; i < 32; ++i) packets.push_back(read(*amp, 68).bytes);
        return packets;
    };
    EXPECT_EQ(stream(99), stream(99));
    EXPECT_NE(stream(99), stream(100));
}

}  // namespace
