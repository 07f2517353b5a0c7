#include "analysis/square_wave.h"

#include "analysis/linearity.h"
#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Times of the rising edges, each where the samples cross `mid`. An edge counts only once the
// wave has been below `lowArm` and then reaches `highArm`, so noise on a level is no edge.
std::vector<double> rising_edges(std::span<const double> x, double rateHz, double lowArm, double mid, double highArm)
{
    std::vector<double> times;
    bool armed = false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i] <= lowArm) {
            armed = true;
        } else if (armed && x[i] >= highArm) {
            armed = false;
            size_t j = i;
            while (j > 0 && x[j - 1] >= mid) --j;
            if (j == 0) continue;  // the wave started high: no crossing to time
            double fraction = (mid - x[j - 1]) / (x[j] - x[j - 1]);
            times.push_back((double(j - 1) + fraction) / rateHz);
        }
    }
    return times;
}
}  // namespace

SquareWave measure_square_wave(std::span<const double> samples, double rateHz)
{
    SquareWave wave;
    wave.frequencyHz = kNaN;
    if (samples.empty()) return wave;
    // Each level's median: the edges and a little noise do not move it.
    double bottom = percentile(samples, 0.05);
    double top = percentile(samples, 0.95);
    double split = (bottom + top) / 2;
    std::vector<double> lows, highs;
    for (double v : samples) (v < split ? lows : highs).push_back(v);
    wave.low = lows.empty() ? median(highs) : median(lows);
    wave.high = highs.empty() ? median(lows) : median(highs);
    double height = wave.height();
    if (!(height > 0)) {
        wave.high = wave.low;
        return wave;
    }
    // Within a fifth of the height of a level: nearly all of a square wave under modest noise,
    // about 37 % of Gaussian noise split the same way.
    size_t onLevel = 0;
    for (double v : samples) onLevel += std::min(std::abs(v - wave.low), std::abs(v - wave.high)) <= 0.2 * height;
    wave.twoLevels = double(onLevel) >= 0.6 * double(samples.size());
    if (!wave.twoLevels) return wave;

    std::vector<double> rises =
        rising_edges(samples, rateHz, wave.low + 0.25 * height, wave.low + 0.5 * height, wave.low + 0.75 * height);
    wave.rises = int(rises.size());
    if (rises.size() < 2) return wave;
    wave.firstRiseS = rises.front();
    // Number each edge by whole periods from the one before, so a missed edge does not shorten
    // the period; the period is the slope of edge time against that number.
    std::vector<double> gaps;
    for (size_t k = 1; k < rises.size(); ++k) gaps.push_back(rises[k] - rises[k - 1]);
    double roughPeriod = median(gaps);
    std::vector<double> counts{0.0};
    for (double gap : gaps) counts.push_back(counts.back() + std::max(1.0, std::round(gap / roughPeriod)));
    LineFit fit = fit_line(counts, rises);
    wave.frequencyHz = fit.slope > 0 ? 1.0 / fit.slope : kNaN;
    return wave;
}

std::vector<double> fold_period(std::span<const double> samples, double rateHz, double frequencyHz, double riseS,
                                int bins)
{
    std::vector<double> sums(size_t(std::max(bins, 0)), 0.0);
    std::vector<int> counts(sums.size(), 0);
    if (bins > 0 && frequencyHz > 0 && rateHz > 0) {
        for (size_t i = 0; i < samples.size(); ++i) {
            double phase = (double(i) / rateHz - riseS) * frequencyHz;
            phase -= std::floor(phase);
            size_t bin = std::min(size_t(phase * bins), sums.size() - 1);
            sums[bin] += samples[i];
            ++counts[bin];
        }
    }
    for (size_t b = 0; b < sums.size(); ++b) sums[b] = counts[b] ? sums[b] / counts[b] : kNaN;
    return sums;
}

}  // namespace analysis
