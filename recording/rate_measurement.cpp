#include "recording/rate_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double MAX_RATE_ERROR_HZ = 0.15;

using Times = std::vector<double>;  // seconds from the first arrival

// A first guess: the median slope between packets a short way apart, so that few pairs
// straddle a loss. Bursts pull it down when they are most of what came.
double MedianPairSlope(const Times& t)
{
    const size_t n = t.size();
    const size_t d = std::max<size_t>(1, n / 16);
    std::vector<double> slopes;
    for (size_t k = 0; k + d < n; ++k) slopes.push_back((t[k + d] - t[k]) / double(d));
    if (slopes.empty()) return 0;
    auto middle = slopes.begin() + std::ptrdiff_t(slopes.size() / 2);
    std::nth_element(slopes.begin(), middle, slopes.end());
    return *middle;
}

struct Fit {
    double slope = 0;
    double slopeError = 0;  // the slope's standard error, from the prompt packets' scatter
    double share = 0;       // of all packets, those in the stretch fitted
};

// One pass. Against `period`, the earliest arrival still to come is where the amplifier's own
// timeline lies (the floor); where the floor rises, samples were lost and a new stretch starts.
// The fit goes through the longest stretch only: a packet near a loss can look prompt on the
// wrong side of it. Its prompt packets are those within a hair of the floor; near the stretch's
// ends a margin is left out.
Fit PromptFit(const Times& t, double period, bool levelFloor)
{
    const size_t n = t.size();
    std::vector<double> x(n), floor(n);
    for (size_t k = 0; k < n; ++k) x[k] = t[k] - double(k) * period;
    floor[n - 1] = x[n - 1];
    for (size_t k = n - 1; k-- > 0;) floor[k] = std::min(x[k], floor[k + 1]);

    // A late packet just before a loss may cut the floor's lift in parts; any lift of more than
    // half a period ends a stretch.
    size_t best = 0, bestLength = 0, start = 0;
    for (size_t k = 1; k <= n; ++k) {
        if (k < n && floor[k] - floor[k - 1] <= period / 2) continue;
        if (k - start > bestLength) {
            best = start;
            bestLength = k - start;
        }
        start = k;
    }
    Fit fit;
    fit.share = double(bestLength) / double(n);
    const size_t margin = std::min<size_t>(16, bestLength / 8);
    const size_t from = best + margin, to = best + bestLength - margin;
    if (to <= from + 1) return fit;

    // The floor of the packets still to come rises towards the stretch's end, where fewer remain;
    // once the period is close, the stretch's lowest point is a level floor.
    double level = x[from];
    for (size_t j = from; j < to; ++j) level = std::min(level, x[j]);
    const double hair = std::min(period / 8, 0.00015);
    std::vector<size_t> prompt;
    for (size_t j = from; j < to; ++j)
        if (x[j] - (levelFloor ? level : floor[j]) <= hair) prompt.push_back(j);
    if (prompt.size() < 3) return fit;

    double kMean = 0, tMean = 0;
    for (size_t j : prompt) {
        kMean += double(j);
        tMean += t[j];
    }
    kMean /= double(prompt.size());
    tMean /= double(prompt.size());
    double sxy = 0, sxx = 0;
    for (size_t j : prompt) {
        sxy += (double(j) - kMean) * (t[j] - tMean);
        sxx += (double(j) - kMean) * (double(j) - kMean);
    }
    if (!(sxx > 0)) return fit;
    fit.slope = sxy / sxx;
    double squares = 0;
    for (size_t j : prompt) {
        double r = t[j] - (tMean + fit.slope * (double(j) - kMean));
        squares += r * r;
    }
    fit.slopeError = std::sqrt(squares / double(prompt.size() - 2) / sxx);
    return fit;
}

}  // namespace

PeriodMeasurement MeasurePacketPeriod(const std::vector<std::chrono::nanoseconds>& arrivals)
{
    PeriodMeasurement m;
    if (arrivals.size() < 2) return m;
    Times t;
    for (auto a : arrivals) t.push_back(std::chrono::duration<double>(a - arrivals.front()).count());
    const double guess = MedianPairSlope(t);
    if (!(guess > 0)) return m;
    m.period = guess;
    Fit fit;
    // Each pass sees the timeline through a better period; the prompt packets chosen lean a
    // little towards the period they were chosen with, so the passes go on until it settles.
    for (int pass = 0; pass < 30; ++pass) {
        fit = PromptFit(t, m.period, pass >= 2);
        if (!(fit.slope > 0)) return m;
        const bool settled = std::abs(fit.slope - m.period) <= 1e-9 * m.period;
        m.period = fit.slope;
        if (pass >= 2 && settled) break;
    }
    // Rounded to whole hertz the rate is sure when its own error is well under half a hertz.
    const double rateError = 4 / (m.period * m.period) * fit.slopeError;
    m.reliable = rateError <= MAX_RATE_ERROR_HZ && fit.share >= 0.5 && std::abs(m.period - guess) <= 0.05 * m.period;
    return m;
}
