#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(Statistics, PercentilesInterpolateBetweenOrderedValues)
{
    std::vector<double> v{4, 1, 3, 2};
    EXPECT_DOUBLE_EQ(analysis::percentile(v, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(analysis::percentile(v, 1.0), 4.0);
    EXPECT_DOUBLE_EQ(analysis::median(v), 2.5);
    EXPECT_DOUBLE_EQ(analysis::percentile(v, 0.25), 1.75);
    EXPECT_TRUE(std::isnan(analysis::median({})));
}

TEST(Statistics, StandardDeviationAboutTheMean)
{
    std::vector<double> v{2, 4, 4, 4, 5, 5, 7, 9};
    EXPECT_DOUBLE_EQ(analysis::mean(v), 5.0);
    EXPECT_DOUBLE_EQ(analysis::standard_deviation(v), 2.0);
}

TEST(RelativeToOthers, ALowChannelShowsItsShortfallAndTheOthersNone)
{
    std::vector<double> gains{100, 100, 90, 100, 100, 100, 100};
    std::vector<double> r = analysis::relative_to_others(gains);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_NEAR(r[2], -0.10, 1e-12);
    for (size_t i : {0u, 1u, 3u, 4u, 5u, 6u}) EXPECT_NEAR(r[i], 0.0, 1e-12) << i;
}

TEST(RelativeToOthers, WithTwoChannelsEachIsMeasuredAgainstTheOther)
{
    std::vector<double> noise{4.0, 1.0};
    std::vector<double> r = analysis::relative_to_others(noise);
    EXPECT_DOUBLE_EQ(r[0], 3.0);
    EXPECT_DOUBLE_EQ(r[1], -0.75);
}

TEST(RelativeToOthers, NothingToCompareWithIsNaN)
{
    std::vector<double> alone{5.0}, deadNeighbours{5.0, 0.0, 0.0};
    EXPECT_TRUE(std::isnan(analysis::relative_to_others(alone)[0]));
    EXPECT_TRUE(std::isnan(analysis::relative_to_others(deadNeighbours)[0]));
}

TEST(RelativeToOthers, OnlyMarkedValuesServeAsTheOthers)
{
    // Two EEG inputs, one of them dead: the live one has nothing left to be compared with.
    std::vector<double> noise{0.84, 0.0}, hz{10.0, 12.0, 10.0, 10.0};
    std::vector<double> r = analysis::relative_to_others(noise, {true, false});
    EXPECT_TRUE(std::isnan(r[0]));
    EXPECT_DOUBLE_EQ(r[1], -1.0);
    std::vector<double> h = analysis::relative_to_others(hz, {true, false, true, true});
    EXPECT_NEAR(h[0], 0.0, 1e-12);
    EXPECT_NEAR(h[1], 0.2, 1e-12);  // measured all the same, against the three others
}

TEST(Statistics, NaNValuesAreLeftOut)
{
    std::vector<double> v{3.0, std::nan(""), 1.0};
    EXPECT_DOUBLE_EQ(analysis::median(v), 2.0);
}

}  // namespace
