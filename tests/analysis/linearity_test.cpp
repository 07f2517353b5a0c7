#include "analysis/linearity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(FitLine, FindsSlopeAndIntercept)
{
    std::vector<double> x{25, 50, 126, 193, 255}, y;
    for (double v : x) y.push_back(3.0 + 1.5 * v);
    analysis::LineFit fit = analysis::fit_line(x, y);
    EXPECT_NEAR(fit.slope, 1.5, 1e-12);
    EXPECT_NEAR(fit.intercept, 3.0, 1e-9);
}

TEST(FitLine, NeedsTwoDistinctPoints)
{
    std::vector<double> one{1.0}, same{2.0, 2.0}, y{1.0, 3.0};
    EXPECT_TRUE(std::isnan(analysis::fit_line(one, one).slope));
    EXPECT_TRUE(std::isnan(analysis::fit_line(same, y).slope));
}

TEST(Linearity, PointsOnALineDeviateByNothing)
{
    std::vector<double> x{10, 20, 50, 75, 100}, y{20, 40, 100, 150, 200};
    analysis::Linearity l = analysis::linearity(x, y);
    EXPECT_NEAR(l.worstShare, 0.0, 1e-12);
}

TEST(Linearity, NamesTheStepThatStraysAndItsShareOfTheFullStep)
{
    // y = 2x, except the 50 step reads 3 % of the 100 step (200) high: 106 instead of 100.
    std::vector<double> x{10, 20, 50, 75, 100}, y{20, 40, 106, 150, 200};
    analysis::Linearity l = analysis::linearity(x, y);
    EXPECT_EQ(l.worstIndex, 2u);
    EXPECT_GT(l.worstDeviation, 0.0);
    // The fit leans towards the stray point, so its distance is a little under 6.
    EXPECT_NEAR(l.worstShare, 0.026, 0.003);
}

TEST(Linearity, AFlatChannelIsNotLinearButUnmeasurable)
{
    std::vector<double> x{10, 20, 50, 75, 100}, y(5, 0.0);
    EXPECT_TRUE(std::isnan(analysis::linearity(x, y).worstShare));
}

}  // namespace
