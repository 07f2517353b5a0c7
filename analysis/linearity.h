// A straight line through measured points and how far the points stray from it.
#pragma once

#include <cstddef>
#include <span>

namespace analysis {

struct LineFit {
    double slope = 0;  // NaN with fewer than two distinct x
    double intercept = 0;
    double at(double x) const { return intercept + slope * x; }
};

// Least squares of y on x.
LineFit fit_line(std::span<const double> x, std::span<const double> y);

struct Linearity {
    LineFit fit;
    size_t worstIndex = 0;      // the point farthest from the line
    double worstDeviation = 0;  // its distance from the line, in y's unit, signed
    // That distance as a share of the line's value at the largest x (the full step); NaN when
    // the line gives nothing there (a flat channel), so a dead input is never "linear".
    double worstShare = 0;
};

Linearity linearity(std::span<const double> x, std::span<const double> y);

}  // namespace analysis
