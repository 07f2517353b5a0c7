#include "acquisition/gap_detector.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using std::chrono::nanoseconds;

constexpr nanoseconds P{15625000};  // one packet at 256 samples a second
constexpr nanoseconds T0{7000000000};

struct GapCase {
    const char* name;
    int packets;
    std::function<nanoseconds(int)> arrival;  // of packet i
    std::vector<uint64_t> gapAt;              // first packet after each gap
    std::vector<nanoseconds> missing;
};

class GapDetection : public testing::TestWithParam<GapCase> {};

TEST_P(GapDetection, FindsTheMissingStretchesAndOnlyThose)
{
    const GapCase& c = GetParam();
    CGapDetector detector(P);
    std::vector<CGapDetector::Gap> found;
    for (int i = 0; i < c.packets; ++i) detector.Add(c.arrival(i), found);
    detector.Finish(found);
    std::vector<uint64_t> at;
    std::vector<nanoseconds> missing;
    for (const auto& g : found) {
        at.push_back(g.packet);
        missing.push_back(g.missing);
    }
    EXPECT_EQ(at, c.gapAt);
    if (!c.missing.empty()) {
        EXPECT_EQ(missing, c.missing);
    }
}

nanoseconds Steady(int i)
{
    return T0 + P * i;
}

nanoseconds Jittered(int i)
{
    static std::vector<nanoseconds> table = [] {
        std::mt19937 random(42);
        std::uniform_int_distribution<int64_t> jitter(0, 2 * P.count());
        std::vector<nanoseconds> t;
        for (int k = 0; k < 3000; ++k) t.push_back(T0 + P * k + nanoseconds(jitter(random)));
        return t;
    }();
    return table[size_t(i)];
}

INSTANTIATE_TEST_SUITE_P(
    Streams, GapDetection,
    testing::Values(
        GapCase{"Steady", 1000, Steady, {}, {}},
        GapCase{"TenPacketsLost", 1000, [](int i) { return i < 300 ? Steady(i) : Steady(i + 10); }, {300}, {P * 10}},
        GapCase{"ThreePeriodsLateIsNoGapYet", 1000, [](int i) { return i < 300 ? Steady(i) : Steady(i + 3); }, {}, {}},
        GapCase{"FourPeriodsLateIs", 1000, [](int i) { return i < 300 ? Steady(i) : Steady(i + 4); }, {300}, {P * 4}},
        // The host stalled for 40 packets; the amplifier's FIFO held them and they came in a burst.
        GapCase{"BurstAfterAStallCatchesUp",
                1000,
                [](int i) { return i >= 300 && i < 340 ? Steady(340) : Steady(i); },
                {},
                {}},
        GapCase{"TwoLosses",
                2000,
                [](int i) { return i < 300    ? Steady(i)
                                   : i < 1200 ? Steady(i + 20)
                                              : Steady(i + 120); },
                {300, 1200},
                {P * 20, P * 100}},
        // The amplifier's clock runs 100 ppm slow against the host's.
        GapCase{"SlowDriftIsFollowed",
                20000,
                [](int i) { return T0 + nanoseconds(int64_t(double(P.count()) * i * 1.0001)); },
                {},
                {}},
        GapCase{"JitterOfTwoPeriodsIsNoGap", 3000, Jittered, {}, {}},
        // The first packet came late; the rest are early against it, which is no gap either.
        GapCase{"LateFirstPacket", 1000, [](int i) { return i == 0 ? Steady(5) : Steady(i); }, {}, {}},
        // Lost close to the end: found when the stream ends.
        GapCase{"LossNearTheEnd", 230, [](int i) { return i < 200 ? Steady(i) : Steady(i + 25); }, {200}, {P * 25}},
        // A few late packets at the very end prove nothing.
        GapCase{"FewLatePacketsAtTheEnd", 205, [](int i) { return i < 200 ? Steady(i) : Steady(i + 25); }, {}, {}}),
    [](const testing::TestParamInfo<GapCase>& info) { return std::string(info.param.name); });

// At 1024 packets a second a busy host may stay a few periods behind for a while.
TEST(GapDetectionAtAHighRate, AHostBehindForLessThanASecondLosesNothingButALossIsFound)
{
    static constexpr nanoseconds Q{976562};
    auto at = [](int i, int shift) { return T0 + Q * (i + shift); };
    std::vector<CGapDetector::Gap> found;
    CGapDetector behind(Q);
    for (int i = 0; i < 3000; ++i) behind.Add(at(i, i >= 500 && i < 1300 ? 5 : 0), found);
    behind.Finish(found);
    EXPECT_TRUE(found.empty());

    CGapDetector lost(Q);
    for (int i = 0; i < 3000; ++i) lost.Add(at(i, i >= 500 ? 10 : 0), found);
    lost.Finish(found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].packet, 500u);
    EXPECT_EQ(found[0].missing, Q * 10);
}

}  // namespace
