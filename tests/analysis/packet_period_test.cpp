#include "analysis/packet_period.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>

namespace {

using analysis::PacketPeriod;

// `n` packets of one period each (seconds), the amplifier's own packet k at k * period plus
// `skipped(k)` periods it lost before it, arriving `lateness(k)` seconds after that, on a clock
// that counts nanoseconds.
std::vector<double> Arrivals(double period, int n, const std::function<int(int)>& skipped,
                             const std::function<double(int)>& lateness)
{
    std::vector<double> t;
    for (int k = 0; k < n; ++k)
        t.push_back(double(int64_t((1000.0 + (k + skipped(k)) * period + lateness(k)) * 1e9)) / 1e9);
    return t;
}

// One run alone, as the recorder measures its first second.
PacketPeriod MeasurePacketPeriod(std::vector<double> arrivals)
{
    std::vector<std::vector<double>> runs{std::move(arrivals)};
    return analysis::measure_packet_period(runs);
}

long Rate(const std::vector<double>& arrivals)
{
    return std::lround(4 / MeasurePacketPeriod(arrivals).period);
}

// A busy host: most packets a little late, now and then a stall of several periods that the
// amplifier's FIFO fills and a burst empties.
std::function<double(int)> BusyHost(double period, unsigned seed)
{
    auto lateness = std::make_shared<std::vector<double>>();
    std::mt19937 random(seed);
    std::exponential_distribution<double> small(1.0 / 0.0005);
    double stall = 0;
    for (int k = 0; k < 20000; ++k) {
        if (stall <= 0 && random() % 200 == 0) stall = 0.003 + (random() % 20) * 0.001;
        lateness->push_back(std::max(stall, 0.0) + small(random));
        stall -= period;
    }
    return [lateness](int k) { return (*lateness)[size_t(k)]; };
}

auto None = [](int) { return 0; };
auto Prompt = [](int) { return 0.0; };

TEST(RateMeasurement, PromptPacketsGiveThePeriodExactly)
{
    PacketPeriod m = MeasurePacketPeriod(Arrivals(0.015625, 65, None, Prompt));
    EXPECT_NEAR(m.period, 0.015625, 1e-12);
    EXPECT_TRUE(m.reliable);
    EXPECT_EQ(Rate(Arrivals(4.0 / 4096, 1025, None, Prompt)), 4096);
}

struct RateCase {
    const char* name;
    int rate;
    std::function<int(int)> skipped;
    unsigned seed;
    bool firstSecondTells = true;  // mostly sure after the first second already
};

class RateOnABusyHost : public testing::TestWithParam<RateCase> {};

TEST_P(RateOnABusyHost, IsTheAmplifiersToTheHertzWheneverItSaysItIsSure)
{
    const RateCase& c = GetParam();
    const double period = 4.0 / c.rate;
    int sure = 0;
    for (unsigned run = 0; run < 50; ++run) {
        auto arrivals = Arrivals(period, c.rate / 4 + 1, c.skipped, BusyHost(period, c.seed * 100 + run));
        PacketPeriod m = MeasurePacketPeriod(arrivals);
        sure += m.reliable;
        if (m.reliable) {
            EXPECT_EQ(std::lround(4 / m.period), c.rate) << "run " << run << ": " << 4 / m.period;
        }
    }
    if (c.firstSecondTells) {
        EXPECT_GE(sure, 25);
    }
}

// What the recorder does when the first second does not tell: it tries again every half second
// with all that came, for ten seconds at most.
TEST_P(RateOnABusyHost, BecomesSureAndRightWithinTenSeconds)
{
    const RateCase& c = GetParam();
    const double period = 4.0 / c.rate;
    for (unsigned run = 0; run < 50; ++run) {
        auto all = Arrivals(period, 10 * c.rate / 4 + 1, c.skipped, BusyHost(period, c.seed * 100 + run));
        PacketPeriod m;
        for (int halves = 2; halves <= 20 && !m.reliable; ++halves)
            m = MeasurePacketPeriod({all.begin(), all.begin() + halves * c.rate / 8 + 1});
        EXPECT_TRUE(m.reliable) << "run " << run;
        EXPECT_EQ(std::lround(4 / m.period), c.rate) << "run " << run << ": " << 4 / m.period;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FirstSeconds, RateOnABusyHost,
    testing::Values(RateCase{"Rate256", 256, None, 1}, RateCase{"Rate1024", 1024, None, 2},
                    RateCase{"Rate4096", 4096, None, 3},
                    // The FIFO overflowed once: 127 periods (124 ms) never came.
                    RateCase{"Rate4096LossLate", 4096, [](int k) { return k >= 850 ? 127 : 0; }, 4},
                    RateCase{"Rate4096LossEarly", 4096, [](int k) { return k >= 40 ? 127 : 0; }, 5},
                    // No stretch of the first second is half of it.
                    RateCase{"Rate4096TwoLosses", 4096, [](int k) { return k >= 300 ? (k >= 700 ? 30 : 5) : 0; }, 6,
                             false},
                    RateCase{"Rate256Loss", 256, [](int k) { return k >= 20 ? 8 : 0; }, 7}),
    [](const testing::TestParamInfo<RateCase>& info) { return std::string(info.param.name); });

TEST(RateMeasurement, AFirstAndLastPacketAloneWouldBeWrong)
{
    const double period = 4.0 / 4096;
    auto arrivals = Arrivals(
        period, 1025, [](int k) { return k >= 850 ? 127 : 0; }, Prompt);
    double naive = 4.0 * 1024 / (arrivals.back() - arrivals.front());
    EXPECT_NE(std::lround(naive), 4096);
    EXPECT_EQ(Rate(arrivals), 4096);
}

// A host so busy that no packet came on time: the rate cannot be told to the hertz.
TEST(RateMeasurement, PacketsThatAllCameLateAreNoSureMeasure)
{
    const double period = 4.0 / 4096;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> late(0.001, 0.030);
    std::vector<double> lateness;
    for (int k = 0; k < 1025; ++k) lateness.push_back(late(random));
    PacketPeriod m = MeasurePacketPeriod(Arrivals(period, 1025, None, [&](int k) { return lateness[size_t(k)]; }));
    EXPECT_FALSE(m.reliable) << 4 / m.period;
}

// Still, the line through all of them is near: a steady lateness shifts it without tilting it.
TEST(RateMeasurement, PacketsThatAllCameLateStillGiveTheRateWithinAFewTenthsOfAPercent)
{
    const double period = 4.0 / 4096;
    std::mt19937 random(4);
    std::uniform_real_distribution<double> late(0.001, 0.030);
    std::vector<double> lateness;
    for (int k = 0; k < 1025; ++k) lateness.push_back(late(random));
    PacketPeriod m = MeasurePacketPeriod(Arrivals(period, 1025, None, [&](int k) { return lateness[size_t(k)]; }));
    EXPECT_NEAR(4 / m.period, 4096.0, 4096 * 0.003);
}

// Captures with pauses between them: one period through all, each capture from its own start.
TEST(RateMeasurement, RunsApartShareOnePeriodEachFromItsOwnStart)
{
    const double period = 4.0 / 256;
    std::vector<std::vector<double>> runs;
    for (int run = 0; run < 3; ++run) {
        std::vector<double> arrivals = Arrivals(period, 80 + 40 * run, None, Prompt);
        for (double& t : arrivals) t += 7.3 * run + 0.011 * run * run;  // not a whole number of periods apart
        runs.push_back(arrivals);
    }
    runs.push_back({3.0});  // one packet tells nothing and takes nothing away
    PacketPeriod exact = analysis::measure_packet_period(runs);
    EXPECT_TRUE(exact.reliable);
    EXPECT_NEAR(exact.period, period, 1e-12);

    // A busy host, and the second capture lost a stretch.
    runs.clear();
    for (int run = 0; run < 3; ++run) {
        std::vector<double> arrivals = Arrivals(
            period, 400, [&](int k) { return run == 1 && k >= 200 ? 30 : 0; }, BusyHost(period, 40 + unsigned(run)));
        for (double& t : arrivals) t += 9.1 * run;
        runs.push_back(arrivals);
    }
    PacketPeriod busy = analysis::measure_packet_period(runs);
    EXPECT_TRUE(busy.reliable);
    EXPECT_EQ(std::lround(4 / busy.period), 256);
}

TEST(RateMeasurement, TooFewPacketsTellNothing)
{
    EXPECT_EQ(MeasurePacketPeriod({}).period, 0.0);
    EXPECT_EQ(MeasurePacketPeriod({5e-9}).period, 0.0);
    EXPECT_EQ(MeasurePacketPeriod({5e-9, 5e-9, 5e-9}).period, 0.0);
    EXPECT_FALSE(MeasurePacketPeriod({5e-9, 5e-9, 5e-9}).reliable);
}

}  // namespace
