// A square wave's two levels and its frequency, and the wave folded over one period, from
// evenly spaced samples. Made for the amplifier's calibration signal: the levels come from the
// samples' distribution, the frequency from the times of the rising edges.
#pragma once

#include <span>
#include <vector>

namespace analysis {

struct SquareWave {
    double low = 0;  // the two levels, in the samples' unit (medians of each half)
    double high = 0;
    double height() const { return high - low; }
    // Most samples sit on one level or the other (noise alone spreads between and beyond them).
    bool twoLevels = false;
    // Frequency from the rising edges; NaN without two levels or with fewer than two edges.
    double frequencyHz = 0;
    int rises = 0;
    double firstRiseS = 0;  // time of the first rising edge from the first sample
};

SquareWave measure_square_wave(std::span<const double> samples, double rateHz);

// Mean of the samples in each of `bins` equal slices of one period, slice 0 starting at
// `riseS` (a rising edge); NaN for a slice no sample fell into.
std::vector<double> fold_period(std::span<const double> samples, double rateHz, double frequencyHz, double riseS,
                                int bins);

}  // namespace analysis
