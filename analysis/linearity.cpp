#include "analysis/linearity.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

LineFit fit_line(std::span<const double> x, std::span<const double> y)
{
    size_t n = std::min(x.size(), y.size());
    LineFit fit{kNaN, kNaN};
    if (n < 2) return fit;
    double mx = 0, my = 0;
    for (size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= double(n);
    my /= double(n);
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    if (sxx == 0) return fit;
    fit.slope = sxy / sxx;
    fit.intercept = my - fit.slope * mx;
    return fit;
}

Linearity linearity(std::span<const double> x, std::span<const double> y)
{
    Linearity result;
    result.fit = fit_line(x, y);
    size_t n = std::min(x.size(), y.size());
    if (std::isnan(result.fit.slope)) {
        result.worstDeviation = result.worstShare = kNaN;
        return result;
    }
    double largest = *std::max_element(x.begin(), x.begin() + std::ptrdiff_t(n));
    for (size_t i = 0; i < n; ++i) {
        double deviation = y[i] - result.fit.at(x[i]);
        if (std::abs(deviation) > std::abs(result.worstDeviation)) {
            result.worstDeviation = deviation;
            result.worstIndex = i;
        }
    }
    double full = std::abs(result.fit.at(largest));
    result.worstShare = full > 0 ? std::abs(result.worstDeviation) / full : kNaN;
    return result;
}

}  // namespace analysis
