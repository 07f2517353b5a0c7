#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace analysis {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

double percentile(std::span<const double> values, double share)
{
    std::vector<double> sorted;
    for (double v : values)
        if (!std::isnan(v)) sorted.push_back(v);
    if (sorted.empty()) return kNaN;
    std::sort(sorted.begin(), sorted.end());
    double at = std::clamp(share, 0.0, 1.0) * double(sorted.size() - 1);
    size_t below = size_t(at);
    if (below + 1 >= sorted.size()) return sorted.back();
    return sorted[below] + (at - double(below)) * (sorted[below + 1] - sorted[below]);
}

double median(std::span<const double> values)
{
    return percentile(values, 0.5);
}

double mean(std::span<const double> values)
{
    if (values.empty()) return kNaN;
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double standard_deviation(std::span<const double> values)
{
    if (values.empty()) return kNaN;
    double m = mean(values);
    double sum = 0;
    for (double v : values) sum += (v - m) * (v - m);
    return std::sqrt(sum / double(values.size()));
}

std::vector<double> relative_to_others(std::span<const double> values)
{
    return relative_to_others(values, std::vector<bool>(values.size(), true));
}

std::vector<double> relative_to_others(std::span<const double> values, const std::vector<bool>& reference)
{
    std::vector<double> out;
    out.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        std::vector<double> others;
        for (size_t j = 0; j < values.size(); ++j)
            if (j != i && j < reference.size() && reference[j]) others.push_back(values[j]);
        double reference = median(others);
        out.push_back(reference == 0 || std::isnan(reference) ? kNaN : values[i] / reference - 1.0);
    }
    return out;
}

}  // namespace analysis
