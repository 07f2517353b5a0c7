// Defects of the front end: each changes the channel it names the way docs/signals.md says,
// and nothing else.
#include "sim/amplifier.h"
#include "signal_measure.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>

using namespace simtest;
using namespace std::chrono;
using sim::Bytes;

namespace {

class AmplifierDefects : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    std::unique_ptr<sim::Amplifier> amp = std::make_unique<sim::Amplifier>();

    // Powered, four channels, aux on, range 500 (nothing clips), then `commands`, then streaming.
    void start(std::initializer_list<Bytes> commands)
    {
        for (Bytes c : {Bytes{1}, Bytes{12}, Bytes{14}, Bytes{8}}) send(*amp, c);
        for (const Bytes& c : commands) send(*amp, c);
        send(*amp, {10});
    }
    // Every channel, in µV at range 500, over `packets` packets.
    std::array<std::vector<double>, 8> capture(int packets)
    {
        std::array<std::vector<double>, 8> uv;
        for (int p = 0; p < packets; ++p) {
            Transfer t = read(*amp, 68);
            EXPECT_EQ(t.bytes.size(), 68u);
            if (t.bytes.size() != 68) break;
            for (int f = 0; f < 4; ++f)
                for (size_t c = 0; c < 8; ++c) uv[c].push_back((value(t.bytes, f, int(c)) - 32768.0) / 65.536);
        }
        return uv;
    }
    // Peak to peak of the power-on calibration wave (9.99961 Hz), halves by its phase.
    static double wave(const std::vector<double>& x)
    {
        std::vector<double> high, low;
        for (size_t n = 0; n < x.size(); ++n)
            (std::fmod(double(n) / 256 * 9.999610487775, 1.0) < 0.5 ? high : low).push_back(x[n]);
        return mean(high) - mean(low);
    }
    void TearDown() override { amp.reset(); }
};

const std::vector<size_t> kLive{0, 1, 2, 3, 5, 6, 7};

TEST_F(AmplifierDefects, GainScalesOnlyItsChannelWaveAndNoiseAlike)
{
    ASSERT_TRUE(amp->defect_gain(3, 0.9));
    start({});
    auto uv = capture(512);
    for (size_t c : kLive) EXPECT_NEAR(wave(uv[c]), c == 2 ? 0.9 * 49.412 : 49.412, 0.1) << c;
    EXPECT_EQ(amp->signal_defects().gain[2], 0.9);

    send(*amp, {9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x00});  // code 0: the noise
    auto noise = capture(1024);
    EXPECT_NEAR(rms_about_mean(noise[2]), 0.45, 0.015);
    EXPECT_NEAR(rms_about_mean(noise[1]), 0.5, 0.015);
}

TEST_F(AmplifierDefects, DeadChannelCarriesItsNoiseAndNothingElseInEitherMode)
{
    ASSERT_TRUE(amp->defect_dead(2));
    start({});
    auto cal = capture(512);
    EXPECT_NEAR(wave(cal[1]), 0, 0.1);
    EXPECT_NEAR(rms_about_mean(cal[1]), 0.5, 0.03);
    EXPECT_NEAR(wave(cal[0]), 49.412, 0.1);
    EXPECT_NEAR(wave(cal[2]), 49.412, 0.1);

    send(*amp, {3});
    auto eeg = capture(1024);
    EXPECT_NEAR(rms_about_mean(eeg[1]), 0.5, 0.03);
    EXPECT_LT(line_amplitude(eeg[1], 50, 256), 0.1);
    EXPECT_GT(rms_about_mean(eeg[0]), 5);
}

TEST_F(AmplifierDefects, NoiseAddsWhiteNoiseOfItsLevelToItsChannelOnly)
{
    ASSERT_TRUE(amp->defect_noise(4, 5));
    start({{9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x00}});
    auto uv = capture(2048);
    for (size_t c : kLive) EXPECT_NEAR(rms_about_mean(uv[c]), c == 3 ? 5.025 : 0.5, c == 3 ? 0.15 : 0.015) << c;
    // White: as much above the EEG band as the level says.
    EXPECT_NEAR(band_power(uv[3], 256, 60, 120), 25.25 * 60 / 128, 0.1 * 25.25 * 60 / 128);
}

TEST_F(AmplifierDefects, StuckChannelReadsItsCountInCalibrationAndEegModes)
{
    ASSERT_TRUE(amp->defect_stuck(2, 40000));
    ASSERT_TRUE(amp->defect_stuck(5, 100));  // the Quorvex's reference, which carries nothing
    start({});
    for (Bytes mode : {Bytes{4}, Bytes{3}}) {
        send(*amp, mode);
        for (int p = 0; p < 16; ++p) {
            Transfer t = read(*amp, 68);
            for (int f = 0; f < 4; ++f) {
                EXPECT_EQ(value(t.bytes, f, 1), 40000);
                EXPECT_EQ(value(t.bytes, f, 4), 100);
                EXPECT_NE(value(t.bytes, f, 0), 32768);
            }
        }
    }
}

TEST_F(AmplifierDefects, MainsPickUpAddsToTheLineAndTheNotchTakesItDownAsMuch)
{
    ASSERT_TRUE(amp->defect_mains(100));
    start({{3}});
    auto off = capture(1024);
    for (size_t c : kLive) EXPECT_NEAR(line_amplitude(off[c], 50, 256), 112, 0.3) << c;
    send(*amp, {19});
    auto on = capture(4096);
    for (size_t c : kLive) EXPECT_NEAR(line_amplitude(on[c], 50, 256), 0.112, 0.025) << c;
    send(*amp, {4});  // calibration mode, at code 0 (the wave's fifth harmonic is at 50 Hz)
    send(*amp, {9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x00});
    auto cal = capture(1024);
    EXPECT_LT(line_amplitude(cal[0], 50, 256), 0.1);
}

TEST_F(AmplifierDefects, ImpedanceReadingsAreLeftAlone)
{
    ASSERT_TRUE(amp->defect_stuck(1, 100));
    ASSERT_TRUE(amp->defect_gain(2, 3));
    ASSERT_TRUE(amp->defect_dead(3));
    start({{5}});
    Transfer t = read(*amp, 68);
    EXPECT_EQ(value(t.bytes, 0, 0), 5);
    EXPECT_EQ(value(t.bytes, 0, 1), 7);
    EXPECT_EQ(value(t.bytes, 0, 2), 8);
}

TEST_F(AmplifierDefects, OffMakesTheUnitHealthyAgain)
{
    for (const char* text : {"gain 1 2", "dead 2", "noise 3 4", "stuck 4", "mains 50", "rate 10", "stall 100"})
        ASSERT_EQ(amp->defect(text), "") << text;
    EXPECT_EQ(amp->defect("off"), "");
    sim::SignalDefects d = amp->signal_defects();
    EXPECT_EQ(d.gain, (std::array<double, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(d.dead, (std::array<bool, 8>{}));
    EXPECT_EQ(d.noiseUv, (std::array<double, 8>{}));
    EXPECT_EQ(d.stuck, (std::array<int, 8>{-1, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(d.mainsUv, 0);
    EXPECT_EQ(amp->defect_rate_percent(), 0);
    EXPECT_EQ(amp->defect_stall_ms(), 0u);
}

TEST_F(AmplifierDefects, TextFormsSetWhatTheirNamesSay)
{
    EXPECT_EQ(amp->defect("gain 3 0.9"), "");
    EXPECT_EQ(amp->defect("  dead   8 "), "");
    EXPECT_EQ(amp->defect("noise 1 2.5"), "");
    EXPECT_EQ(amp->defect("stuck 2"), "");
    EXPECT_EQ(amp->defect("stuck 4 65535"), "");
    EXPECT_EQ(amp->defect("mains 1e3"), "");
    EXPECT_EQ(amp->defect("rate -1.5"), "");
    EXPECT_EQ(amp->defect("stall 250"), "");
    sim::SignalDefects d = amp->signal_defects();
    EXPECT_EQ(d.gain[2], 0.9);
    EXPECT_TRUE(d.dead[7]);
    EXPECT_EQ(d.noiseUv[0], 2.5);
    EXPECT_EQ(d.stuck[1], 32768);
    EXPECT_EQ(d.stuck[3], 65535);
    EXPECT_EQ(d.mainsUv, 1000);
    EXPECT_EQ(amp->defect_rate_percent(), -1.5);
    EXPECT_EQ(amp->defect_stall_ms(), 250u);
}

TEST_F(AmplifierDefects, ArgumentsOutOfRangeOrMalformedChangeNothing)
{
    struct Case {
        const char* text;
        const char* answer;
    };
    for (Case c :
         {Case{"gain 0 1", "out of range: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 9 1", "out of range: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 3 -0.1", "out of range: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 3 nan", "usage: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 3.5 1", "usage: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 3", "usage: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"gain 3 1 2", "usage: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
          Case{"dead two", "usage: defect dead CH (CH 1 to 8)"},
          Case{"noise 2 10001", "out of range: defect noise CH UV (CH 1 to 8, UV 0 to 10000)"},
          Case{"stuck 2 65536", "out of range: defect stuck CH [COUNT] (CH 1 to 8, COUNT 0 to 65535)"},
          Case{"mains -1", "out of range: defect mains UV (UV 0 to 100000)"},
          Case{"rate 51", "out of range: defect rate PERCENT (PERCENT -50 to 50)"},
          Case{"stall 1.5", "out of range: defect stall MS (MS 0 to 10000)"},
          Case{"stall 10001", "out of range: defect stall MS (MS 0 to 10000)"}, Case{"off now", "usage: defect off"},
          Case{"loud 3", "unknown defect 'loud': gain, dead, noise, stuck, mains, rate, stall or off"},
          Case{"", "unknown defect '': gain, dead, noise, stuck, mains, rate, stall or off"}})
        EXPECT_EQ(amp->defect(c.text), c.answer) << c.text;
    EXPECT_FALSE(amp->defect_gain(1, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(amp->defect_noise(0, 1));
    EXPECT_FALSE(amp->defect_stuck(2, -1));
    EXPECT_FALSE(amp->defect_stall(10001));
    sim::SignalDefects d = amp->signal_defects();
    EXPECT_EQ(d.gain, (std::array<double, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(d.noiseUv, (std::array<double, 8>{}));
    EXPECT_EQ(d.stuck, (std::array<int, 8>{-1, -1, -1, -1, -1, -1, -1, -1}));
    EXPECT_EQ(d.mainsUv, 0);
    EXPECT_EQ(amp->defect_rate_percent(), 0);
    EXPECT_EQ(amp->defect_stall_ms(), 0u);
}

TEST_F(AmplifierDefects, RateMakesThePacketsComeFasterOrSlowerFromNowOn)
{
    start({});
    auto t0 = clock.now();
    for (int i = 0; i < 64; ++i) read(*amp, 68);
    EXPECT_EQ(clock.now() - t0, seconds(1));
    ASSERT_TRUE(amp->defect_rate(25));  // 80 packets a second
    t0 = clock.now();
    for (int i = 0; i < 80; ++i) read(*amp, 68);
    EXPECT_EQ(duration_cast<microseconds>(clock.now() - t0).count(), 1000000);
    ASSERT_TRUE(amp->defect_rate(-50));  // 32 packets a second
    t0 = clock.now();
    for (int i = 0; i < 32; ++i) read(*amp, 68);
    EXPECT_EQ(duration_cast<microseconds>(clock.now() - t0).count(), 1000000);
}

TEST_F(AmplifierDefects, StallHoldsAPacketBackOnceASecondAndTheLateOnesFollowAtOnce)
{
    ASSERT_TRUE(amp->defect_stall(200));
    start({});
    std::vector<double> at;
    std::vector<int> sequence;
    for (int i = 0; i < 128; ++i) {
        sequence.push_back(read(*amp, 68).bytes[1]);
        at.push_back(duration<double, std::milli>(clock.now()).count());
    }
    // Packet k is due at (k + 1) × 15.625 ms; packet 64 comes 200 ms late, and with it every
    // packet due by then (65 to 76); 77 is on time again.
    EXPECT_DOUBLE_EQ(at[63], 1000);
    EXPECT_DOUBLE_EQ(at[64], 1215.625);
    EXPECT_DOUBLE_EQ(at[76], 1215.625);
    EXPECT_DOUBLE_EQ(at[77], 1218.75);
    EXPECT_DOUBLE_EQ(at[127], 2000);
    for (int i = 0; i < 128; ++i) ASSERT_EQ(sequence[size_t(i)], i);  // nothing lost
}

TEST_F(AmplifierDefects, StallLongerThanTheFifoLosesPacketsAndTheSequenceShowsIt)
{
    ASSERT_TRUE(amp->defect_stall(2000));
    start({});
    std::vector<int> sequence;
    for (int i = 0; i < 70; ++i) sequence.push_back(read(*amp, 68).bytes[1]);
    EXPECT_EQ(sequence[63], 63);
    EXPECT_EQ(sequence[64], 64);
    // At 3015.625 ms the FIFO holds the newest 64 packets, 129 to 192: 65 to 128 are lost.
    EXPECT_EQ(sequence[65], 129);
    EXPECT_EQ(sequence[66], 130);
}

}  // namespace
