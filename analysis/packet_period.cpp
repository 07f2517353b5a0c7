#include "analysis/packet_period.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace analysis {

namespace {

// The recorder rounds the rate (four samples a packet) to whole hertz: a rate is sure when its
// own error is well under half a hertz.
constexpr double kSamplesPerPacket = 4;
constexpr double kMaxRateErrorHz = 0.15;
// A line through the few packets that happen to sit lowest leans towards the period they were
// chosen with; a host that brings at least one packet in ten on time gives it enough to stand on.
constexpr double kMinPromptShare = 0.1;

using Times = std::vector<double>;  // seconds from the run's first arrival

// A first guess: the median slope between packets a short way apart, so that few pairs
// straddle a loss. Bursts pull it down when they are most of what came.
double median_pair_slope(const std::vector<Times>& runs)
{
    std::vector<double> slopes;
    for (const Times& t : runs) {
        const size_t n = t.size();
        const size_t d = std::max<size_t>(1, n / 16);
        for (size_t k = 0; k + d < n; ++k) slopes.push_back((t[k + d] - t[k]) / double(d));
    }
    if (slopes.empty()) return 0;
    auto middle = slopes.begin() + std::ptrdiff_t(slopes.size() / 2);
    std::nth_element(slopes.begin(), middle, slopes.end());
    return *middle;
}

// What one run gives a fit: its longest stretch without a loss, and of that stretch, away from
// its ends, the packets that came promptly.
struct Stretch {
    size_t length = 0;
    size_t from = 0, to = 0;  // the stretch less a margin at each end
    std::vector<size_t> prompt;
};

// Against `period`, the earliest arrival still to come is where the amplifier's own timeline
// lies (the floor); where the floor rises, samples were lost and a new stretch starts. Only the
// longest stretch counts: a packet near a loss can look prompt on the wrong side of it. Its
// prompt packets are those within a hair of the floor; near the stretch's ends a margin is left
// out.
Stretch longest_stretch(const Times& t, double period, bool levelFloor)
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
    Stretch s;
    s.length = bestLength;
    const size_t margin = std::min<size_t>(16, bestLength / 8);
    s.from = best + margin;
    s.to = best + bestLength - margin;
    if (s.to <= s.from + 1) return s;

    // The floor of the packets still to come rises towards the stretch's end, where fewer remain;
    // once the period is close, the stretch's lowest point is a level floor.
    double level = x[s.from];
    for (size_t j = s.from; j < s.to; ++j) level = std::min(level, x[j]);
    const double hair = std::min(period / 8, 0.00015);
    for (size_t j = s.from; j < s.to; ++j)
        if (x[j] - (levelFloor ? level : floor[j]) <= hair) s.prompt.push_back(j);
    return s;
}

struct Fit {
    double slope = 0;
    double slopeError = 0;  // the slope's standard error, from the packets' scatter about the line
};

// One slope through the packets chosen from every run, each run about its own means.
Fit pooled_fit(const std::vector<Times>& runs, const std::vector<std::vector<size_t>>& chosen)
{
    struct Means {
        double k = 0, t = 0;
    };
    std::vector<Means> means(runs.size());
    double sxy = 0, sxx = 0;
    size_t count = 0, groups = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        if (chosen[r].size() < 2) continue;
        Means& m = means[r];
        for (size_t j : chosen[r]) {
            m.k += double(j);
            m.t += runs[r][j];
        }
        m.k /= double(chosen[r].size());
        m.t /= double(chosen[r].size());
        for (size_t j : chosen[r]) {
            sxy += (double(j) - m.k) * (runs[r][j] - m.t);
            sxx += (double(j) - m.k) * (double(j) - m.k);
        }
        count += chosen[r].size();
        ++groups;
    }
    Fit fit;
    if (count < groups + 2 || !(sxx > 0)) return fit;
    fit.slope = sxy / sxx;
    double squares = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        if (chosen[r].size() < 2) continue;
        for (size_t j : chosen[r]) {
            double residual = runs[r][j] - (means[r].t + fit.slope * (double(j) - means[r].k));
            squares += residual * residual;
        }
    }
    fit.slopeError = std::sqrt(squares / double(count - groups - 1) / sxx);
    return fit;
}

}  // namespace

PacketPeriod measure_packet_period(std::span<const std::vector<double>> arrivals)
{
    PacketPeriod m;
    std::vector<Times> runs;
    size_t packets = 0;
    for (const std::vector<double>& run : arrivals) {
        if (run.size() < 2) continue;  // tells nothing of a period
        Times t;
        for (double a : run) t.push_back(a - run.front());
        packets += t.size();
        runs.push_back(std::move(t));
    }
    if (runs.empty()) return m;
    const double guess = median_pair_slope(runs);
    if (!(guess > 0)) return m;
    m.period = guess;

    auto stretches = [&](bool levelFloor) {
        std::vector<Stretch> s;
        for (const Times& t : runs) s.push_back(longest_stretch(t, m.period, levelFloor));
        return s;
    };
    Fit fit;
    double share = 0;        // of all packets, those in the stretches fitted
    double promptShare = 0;  // of the packets in the stretches, those that came promptly
    bool fitted = false;
    // Each pass sees the timeline through a better period; the prompt packets chosen lean a
    // little towards the period they were chosen with, so the passes go on until it settles.
    for (int pass = 0; pass < 30; ++pass) {
        std::vector<Stretch> s = stretches(pass >= 2);
        std::vector<std::vector<size_t>> prompt;
        size_t inStretches = 0, prompts = 0;
        for (Stretch& one : s) {
            inStretches += one.length;
            prompts += one.prompt.size();
            prompt.push_back(std::move(one.prompt));
        }
        fit = pooled_fit(runs, prompt);
        fitted = fit.slope > 0;
        if (!fitted) break;
        share = double(inStretches) / double(packets);
        promptShare = double(prompts) / double(inStretches);
        const bool settled = std::abs(fit.slope - m.period) <= 1e-9 * m.period;
        m.period = fit.slope;
        if (pass >= 2 && settled) break;
    }
    const double rateError = kSamplesPerPacket / (m.period * m.period) * fit.slopeError;
    m.reliable = fitted && rateError <= kMaxRateErrorHz && share >= 0.5 && promptShare >= kMinPromptShare &&
                 std::abs(m.period - guess) <= 0.05 * m.period;
    if (m.reliable) return m;

    // Too few came promptly to tell the amplifier's timeline: the least-squares line through all
    // of each stretch is the best left (a steady lateness shifts it without tilting it).
    std::vector<std::vector<size_t>> all;
    for (const Stretch& one : stretches(false)) {
        std::vector<size_t> every;
        for (size_t j = one.from; j < one.to; ++j) every.push_back(j);
        all.push_back(std::move(every));
    }
    if (Fit line = pooled_fit(runs, all); line.slope > 0) m.period = line.slope;
    return m;
}

}  // namespace analysis
