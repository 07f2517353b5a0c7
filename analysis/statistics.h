// Order statistics over sample arrays, and matching a value against its neighbours. NaN stands
// for "no answer" (an empty input, nothing to compare with) so callers can fail a check on it.
#pragma once

#include <span>
#include <vector>

namespace analysis {

// Linear interpolation between order statistics; share 0 is the minimum, 1 the maximum. NaN
// values are left out.
double percentile(std::span<const double> values, double share);
double median(std::span<const double> values);
double mean(std::span<const double> values);
// Root mean square about the mean.
double standard_deviation(std::span<const double> values);

// Each value against the median of all the others, as a ratio minus one: -0.1 for a value 10 %
// below its neighbours. NaN where there is no other value or the others' median is zero.
// With `reference`, only values marked true serve as the others (a dead channel is no
// yardstick for its neighbours).
std::vector<double> relative_to_others(std::span<const double> values);
std::vector<double> relative_to_others(std::span<const double> values, const std::vector<bool>& reference);

}  // namespace analysis
