#include "recording/capture_recorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using std::chrono::nanoseconds;

std::vector<nanoseconds> Arrivals(double period, int n, std::function<double(int)> lateness)
{
    std::vector<nanoseconds> t;
    for (int k = 0; k < n; ++k) t.push_back(nanoseconds(int64_t((1000.0 + k * period + lateness(k)) * 1e9)));
    return t;
}

TEST(RateMeasurement, PromptPacketsGiveThePeriodExactly)
{
    EXPECT_NEAR(CCaptureRecorder::PacketPeriod(Arrivals(0.015625, 65, [](int) { return 0.0; })), 0.015625, 1e-12);
}

TEST(RateMeasurement, PacketsTheHostTookLateDoNotPullTheRateDown)
{
    // A loaded host: every packet a little late, some a lot, the last one of the second too.
    std::mt19937 random(7);
    std::exponential_distribution<double> late(1.0 / 0.002);
    std::vector<double> lateness;
    for (int k = 0; k < 65; ++k) lateness.push_back(late(random));
    lateness[64] = 0.012;
    lateness[30] = 0.040;
    double period = CCaptureRecorder::PacketPeriod(Arrivals(0.015625, 65, [&](int k) { return lateness[size_t(k)]; }));
    EXPECT_EQ(std::lround(4 / period), 256);
    // What the first and the last packet alone would say.
    double naive = 4.0 * 64 / (64 * 0.015625 + lateness[64] - lateness[0]);
    EXPECT_NE(std::lround(naive), 256);
}

TEST(RateMeasurement, TooFewPacketsTellNothing)
{
    EXPECT_EQ(CCaptureRecorder::PacketPeriod({}), 0.0);
    EXPECT_EQ(CCaptureRecorder::PacketPeriod({nanoseconds(5)}), 0.0);
    EXPECT_EQ(CCaptureRecorder::PacketPeriod({nanoseconds(5), nanoseconds(5), nanoseconds(5)}), 0.0);
}

}  // namespace
