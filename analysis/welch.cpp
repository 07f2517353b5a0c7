#include "analysis/welch.h"

#include "analysis/statistics.h"

#include <fftw3.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

namespace analysis {

namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex g_planner;

struct PlanDeleter {
    void operator()(fftw_plan_s* plan) const
    {
        std::lock_guard lock(g_planner);
        fftw_destroy_plan(plan);
    }
};
struct FftwFree {
    void operator()(void* memory) const { fftw_free(memory); }
};

}  // namespace

Spectrum power_spectrum(std::span<const double> samples, double rateHz, size_t segment)
{
    Spectrum spectrum;
    if (samples.size() < 2 || rateHz <= 0) return spectrum;
    size_t n = std::min(std::max<size_t>(segment, 2), samples.size());
    size_t bins = n / 2 + 1;
    spectrum.binHz = rateHz / double(n);
    spectrum.density.assign(bins, 0.0);

    std::unique_ptr<double, FftwFree> in(fftw_alloc_real(n));
    std::unique_ptr<fftw_complex, FftwFree> out(fftw_alloc_complex(bins));
    std::unique_ptr<fftw_plan_s, PlanDeleter> plan;
    {
        std::lock_guard lock(g_planner);
        plan.reset(fftw_plan_dft_r2c_1d(int(n), in.get(), out.get(), FFTW_ESTIMATE));
    }

    std::vector<double> window(n);
    double windowPower = 0;
    for (size_t i = 0; i < n; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        windowPower += window[i] * window[i];
    }

    size_t step = std::max<size_t>(n / 2, 1);
    int segments = 0;
    for (size_t start = 0; start + n <= samples.size(); start += step) {
        double m = 0;
        for (size_t i = 0; i < n; ++i) m += samples[start + i];
        m /= double(n);
        for (size_t i = 0; i < n; ++i) in.get()[i] = (samples[start + i] - m) * window[i];
        fftw_execute(plan.get());
        for (size_t k = 0; k < bins; ++k) {
            const fftw_complex& c = out.get()[k];
            spectrum.density[k] += c[0] * c[0] + c[1] * c[1];
        }
        ++segments;
    }
    // Density: |X|² / (rate × Σw²), doubled for the negative frequencies except at 0 and at
    // half the rate (when n is even), which have no twin.
    for (size_t k = 0; k < bins; ++k) {
        bool single = k == 0 || (n % 2 == 0 && k == bins - 1);
        spectrum.density[k] *= (single ? 1.0 : 2.0) / (rateHz * windowPower * segments);
    }
    return spectrum;
}

double band_power(const Spectrum& spectrum, double lowHz, double highHz)
{
    double sum = 0;
    for (size_t k = 0; k < spectrum.density.size(); ++k) {
        double f = spectrum.frequency(k);
        if (f >= lowHz && f <= highHz) sum += spectrum.density[k];
    }
    return sum * spectrum.binHz;
}

double line_power(const Spectrum& spectrum, double lineHz, double halfWidthHz)
{
    return band_power(spectrum, lineHz - halfWidthHz, lineHz + halfWidthHz);
}

Line measure_line(const Spectrum& spectrum, double lineHz, double halfWidthHz, double backgroundHz)
{
    std::vector<double> around;
    int inBand = 0;
    for (size_t k = 0; k < spectrum.density.size(); ++k) {
        double distance = std::abs(spectrum.frequency(k) - lineHz);
        if (distance <= halfWidthHz) ++inBand;
        else if (distance <= halfWidthHz + backgroundHz) around.push_back(spectrum.density[k]);
    }
    Line line;
    double density = around.empty() ? 0.0 : median(around);
    line.background = density * inBand * spectrum.binHz;
    line.power = line_power(spectrum, lineHz, halfWidthHz) - line.background;
    return line;
}

double rejection_db(double powerBefore, double powerAfter)
{
    return 10.0 * std::log10(powerBefore / powerAfter);
}

}  // namespace analysis
