// Plain measurements on a simulated channel, in µV: what an acceptance check would take from a
// capture, done independently of the model's own code.
#pragma once

#include "sim/signal.h"

#include <fftw3.h>

#include <array>
#include <cmath>
#include <complex>
#include <vector>

namespace simtest {

// Counts per µV at range codes 6, 7 and 8, as the amplifier's scale states them.
inline double counts_per_uv(uint8_t range)
{
    return range == 6 ? 655.36 : range == 8 ? 65.536 : 327.68;
}

// `samples` frames from the generator, each channel in µV at the generator's range.
inline std::array<std::vector<double>, 8> capture_uv(sim::SignalGenerator& g, size_t samples)
{
    std::array<std::vector<double>, 8> uv;
    double scale = counts_per_uv(g.settings().range);
    for (size_t n = 0; n < samples; ++n) {
        std::array<uint16_t, 8> frame = g.next();
        for (size_t c = 0; c < 8; ++c) uv[c].push_back((frame[c] - 32768.0) / scale);
    }
    return uv;
}

inline double mean(const std::vector<double>& x)
{
    double sum = 0;
    for (double v : x) sum += v;
    return sum / double(x.size());
}

inline double rms_about_mean(const std::vector<double>& x)
{
    double m = mean(x), sum = 0;
    for (double v : x) sum += (v - m) * (v - m);
    return std::sqrt(sum / double(x.size()));
}

inline double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double ma = mean(a), mb = mean(b), ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

// Peak amplitude of the sine at `hz`, by projection over the whole series.
inline double line_amplitude(const std::vector<double>& x, double hz, double rate)
{
    std::complex<double> sum = 0;
    for (size_t n = 0; n < x.size(); ++n) sum += x[n] * std::polar(1.0, -2 * M_PI * hz * double(n) / rate);
    return 2 * std::abs(sum) / double(x.size());
}

// Power (µV²) between `lo` and `hi` Hz from a Hann-windowed periodogram, scaled so that white
// noise of variance s² gives s² × (hi - lo) / (rate / 2).
inline double band_power(const std::vector<double>& x, double rate, double lo, double hi)
{
    const size_t n = x.size();
    std::vector<double> in(n);
    double m = mean(x), w2 = 0;
    for (size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
        in[i] = w * (x[i] - m);
        w2 += w * w;
    }
    std::vector<fftw_complex> out(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(int(n), in.data(), out.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    double power = 0;
    for (size_t k = 1; k < n / 2; ++k) {
        double f = double(k) * rate / double(n);
        if (f >= lo && f < hi) power += 2 * (out[k][0] * out[k][0] + out[k][1] * out[k][1]) / (double(n) * w2);
    }
    return power;
}

}  // namespace simtest
