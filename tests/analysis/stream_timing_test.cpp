#include "analysis/stream_timing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Arrivals of a stream at `rate` packets a second, each read up to `jitterS` late.
std::vector<double> Arrivals(double start, int packets, double rate, double jitterS, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> late(0.0, jitterS);
    std::vector<double> t;
    for (int i = 0; i < packets; ++i) t.push_back(start + i / rate + late(rng));
    return t;
}

TEST(StreamTiming, RunsWithPausesBetweenThemGiveOneRate)
{
    std::vector<std::vector<double>> runs{Arrivals(0.0, 320, 64.0, 0.02, 1), Arrivals(9.3, 128, 64.0, 0.02, 2),
                                          Arrivals(17.0, 64, 64.0, 0.02, 3)};
    analysis::StreamTiming timing = analysis::stream_timing(runs);
    EXPECT_NEAR(timing.packetsPerSecond, 64.0, 0.064);
    EXPECT_EQ(timing.packets, 512u);
    EXPECT_LT(timing.longestGapS, 0.04);
}

TEST(StreamTiming, ASlowAmplifierShowsItsRate)
{
    std::vector<std::vector<double>> runs{Arrivals(0.0, 640, 62.0, 0.0, 1)};
    EXPECT_NEAR(analysis::stream_timing(runs).packetsPerSecond, 62.0, 1e-9);
}

TEST(StreamTiming, AStallInsideARunIsTheLongestGap)
{
    std::vector<double> run = Arrivals(0.0, 200, 64.0, 0.0, 1);
    for (size_t i = 100; i < run.size(); ++i) run[i] += 0.7;
    std::vector<std::vector<double>> runs{run};
    EXPECT_NEAR(analysis::stream_timing(runs).longestGapS, 0.7 + 1 / 64.0, 1e-9);
}

// The amplifier held its packets in its FIFO while the host was away and sent them at once when
// it came back: nothing was lost, and the amplifier's clock never changed.
TEST(StreamTiming, AHostThatFellBehindAndCaughtUpLeavesTheRateAlone)
{
    std::vector<std::vector<double>> runs;
    for (int r = 0; r < 4; ++r) {
        std::vector<double> run = Arrivals(11.0 * r, 400, 64.0, 0.0, 1);
        const double back = run[100] + 0.3;  // packet 100 comes 0.3 s late, those due meanwhile at once
        for (size_t i = 100; i < 120; ++i) run[i] = std::max(run[i], back);
        runs.push_back(run);
    }
    analysis::StreamTiming timing = analysis::stream_timing(runs);
    EXPECT_NEAR(timing.packetsPerSecond, 64.0, 1e-6);
    EXPECT_TRUE(timing.rateReliable);
    EXPECT_NEAR(timing.longestGapS, 0.3 + 1 / 64.0, 1e-9);
}

TEST(StreamTiming, OnePacketHasNoRate)
{
    std::vector<std::vector<double>> runs{{1.0}};
    EXPECT_TRUE(std::isnan(analysis::stream_timing(runs).packetsPerSecond));
}

}  // namespace
