// Power spectra of sample arrays (Welch's method: Hann-windowed segments, half overlapping,
// averaged; FFTW does the transforms) and the power in a band or at a line.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace analysis {

struct Spectrum {
    double binHz = 0;
    // One-sided power spectral density, in the samples' unit squared per hertz; bin k is at
    // k × binHz, from 0 to half the sample rate.
    std::vector<double> density;
    double frequency(size_t bin) const { return double(bin) * binHz; }
};

// Segments of `segment` samples (all of them when there are fewer), each with its mean removed.
Spectrum power_spectrum(std::span<const double> samples, double rateHz, size_t segment);

// Power between two frequencies (both included), in the samples' unit squared: a sine of
// amplitude A inside the band gives A² / 2.
double band_power(const Spectrum& spectrum, double lowHz, double highHz);
// The power of a spectral line: the band of ± halfWidthHz around it. The Hann window spreads
// a line over ± 2 bins, so halfWidthHz should be at least two bins.
double line_power(const Spectrum& spectrum, double lineHz, double halfWidthHz);

// A line over a background: the band's power less the background's share of it. The background
// density is the median over `backgroundHz` on either side of the band, so other lines nearby do
// not raise it. A line lost in the background can come out at or below zero.
struct Line {
    double power = 0;       // above the background
    double background = 0;  // the background's power in the band
};
Line measure_line(const Spectrum& spectrum, double lineHz, double halfWidthHz, double backgroundHz);

// 10 log10(before / after): how much a filter took away, in dB.
double rejection_db(double powerBefore, double powerAfter);

}  // namespace analysis
