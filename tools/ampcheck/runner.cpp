#include "tools/ampcheck/runner.h"

#include "analysis/linearity.h"
#include "analysis/square_wave.h"
#include "analysis/statistics.h"
#include "analysis/stream_timing.h"
#include "tools/ampcheck/limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace ampcheck {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMidscale = 32768.0;
constexpr size_t kSpectrumSegment = 512;  // two seconds at 256 samples a second: 0.5 Hz bins
constexpr double kLineHalfWidthHz = 1.0;  // the Hann window's main lobe at 0.5 Hz bins
constexpr double kBackgroundHz = 5.0;     // either side of the line, for the background under it
constexpr int kFoldBins = 64;

std::string printf_text(const char* format, auto... values)
{
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    std::string out = text;
    for (size_t at = out.find("-nan"); at != std::string::npos; at = out.find("-nan", at)) out.erase(at, 1);
    return out;
}

// One channel of a capture after its settling packets, in µV at the range's nominal scale
// (32768 / range counts per µV), or as plain values (impedances are kilohms).
std::vector<double> channel_samples(const Capture& capture, const Step& step, int channel, bool scaled)
{
    const double countsPerUv = scaled ? kMidscale / step.rangeUv : 1.0;
    const double zero = scaled ? kMidscale : 0.0;
    std::vector<double> x;
    for (size_t p = size_t(std::max(step.settlePackets, 0)); p < capture.packets.size(); ++p)
        for (int f = 0; f < 4; ++f)
            x.push_back((capture.packets[p].values[size_t(8 * f + channel)] - zero) / countsPerUv);
    return x;
}

double worst(const std::vector<double>& errors)
{
    double w = 0;
    for (double e : errors) {
        if (std::isnan(e)) return kNaN;
        if (std::abs(e) > std::abs(w)) w = e;
    }
    return errors.empty() ? kNaN : w;
}

class Judge {
public:
    Judge(const Plan& plan, const std::vector<Capture>& captures, const RunOptions& options)
        : m_plan(plan), m_captures(captures), m_options(options)
    {
        m_report.mainsHz = options.mainsHz;
        m_report.plots.mainsHz = options.mainsHz;
        m_report.plots.impedanceLimitKohm = options.maxImpedanceKohm;
    }

    Report run()
    {
        stream();
        calibration();
        frequency();
        amplitude();
        ranges();
        mains();
        impedance();
        return std::move(m_report);
    }

private:
    std::vector<size_t> steps_for(Role role) const
    {
        std::vector<size_t> found;
        for (size_t i = 0; i < m_plan.steps.size() && i < m_captures.size(); ++i)
            if (m_plan.steps[i].role == role) found.push_back(i);
        return found;
    }

    std::vector<double> samples(size_t step, int channel) const
    {
        return channel_samples(m_captures[step], m_plan.steps[step], channel,
                               m_plan.steps[step].mode != Mode::impedance);
    }

    analysis::SquareWave wave(size_t step, int channel) const
    {
        return analysis::measure_square_wave(samples(step, channel), m_plan.samplesPerSecond);
    }

    void add(Check check) { m_report.checks.push_back(std::move(check)); }

    void stream()
    {
        std::vector<std::vector<double>> runs;
        int shortReads = 0, lost = 0;
        for (const Capture& capture : m_captures) {
            std::vector<double> times;
            for (const Packet& p : capture.packets) times.push_back(p.arrivalS);
            runs.push_back(std::move(times));
            shortReads += capture.shortReads;
            lost += capture.lostPackets;
        }
        analysis::StreamTiming timing = analysis::stream_timing(runs);
        const double rate = timing.packetsPerSecond * 4;
        add(judged(
            "sample rate error", "", (rate / m_plan.samplesPerSecond - 1) * 100, Compare::within,
            limits::kSampleRatePercent, "%",
            printf_text("%.2f samples/s per channel against %.0f, from %zu packets%s", rate, m_plan.samplesPerSecond,
                        timing.packets, timing.rateReliable ? "" : " (few came on time: a line through all of them)")));
        add(judged("short reads", "", shortReads, Compare::atMost, limits::kShortReads, "reads"));
        add(judged("lost packets", "", lost, Compare::atMost, limits::kLostPackets, "packets"));
        add(judged("longest gap", "", timing.longestGapS, Compare::atMost, limits::kGapS, "s"));
    }

    // The reference calibration capture: every live channel's wave, their heights against each
    // other, the folded wave for the page.
    void calibration()
    {
        std::vector<size_t> found = steps_for(Role::calibration);
        if (found.empty()) return;
        m_reference = found.front();
        std::vector<double> heights;
        for (int c : m_plan.liveChannels) {
            analysis::SquareWave w = wave(m_reference, c);
            heights.push_back(w.height());
            m_referenceWaves.push_back(w);
            double hz = std::isnan(w.frequencyHz) ? 0.0 : w.frequencyHz;
            if (m_report.plots.waveFrequencyHz == 0 && hz > 0) m_report.plots.waveFrequencyHz = hz;
            m_report.plots.waves.push_back(
                {channel_name(c),
                 analysis::fold_period(samples(m_reference, c), m_plan.samplesPerSecond, hz, w.firstRiseS, kFoldBins)});
        }
        m_referenceHeights = heights;
        std::vector<double> share = analysis::relative_to_others(heights);
        for (size_t i = 0; i < heights.size(); ++i) {
            std::vector<double> others = heights;
            others.erase(others.begin() + std::ptrdiff_t(i));
            Check check = judged(
                "dead or stuck", channel_name(m_plan.liveChannels[i]), (share[i] + 1) * 100, Compare::atLeast,
                limits::kLiveSharePercent, "%",
                printf_text("calibration wave %.2f uV p-p; others' median %.2f", heights[i], analysis::median(others)));
            m_alive.push_back(check.pass);
            add(std::move(check));
        }
        std::vector<double> relative = analysis::relative_to_others(heights, m_alive);
        for (size_t i = 0; i < heights.size(); ++i)
            add(judged("gain matching", channel_name(m_plan.liveChannels[i]), relative[i] * 100, Compare::within,
                       limits::kGainMatchPercent, "%", with_reference(printf_text("%.3f uV p-p", heights[i]), i)));
    }

    // A channel judged dead is no yardstick for the others; say so where none is left.
    std::string with_reference(std::string detail, size_t liveIndex) const
    {
        size_t others = 0;
        for (size_t j = 0; j < m_alive.size(); ++j) others += j != liveIndex && m_alive[j];
        return others ? detail : detail + "; no live channel to compare with";
    }

    void frequency()
    {
        if (m_referenceWaves.empty()) return;
        if (m_plan.model == Model::pellion) {
            // The test signal's frequency is the Pellion's own: its channels must agree on it.
            std::vector<double> hz;
            for (const analysis::SquareWave& w : m_referenceWaves) hz.push_back(w.frequencyHz);
            std::vector<double> relative = analysis::relative_to_others(hz, m_alive);
            for (size_t i = 0; i < hz.size(); ++i)
                add(judged("test signal frequency", channel_name(m_plan.liveChannels[i]), relative[i] * 100,
                           Compare::within, limits::kCalibrationFrequencyPercent, "%",
                           with_reference(printf_text("%.3f Hz", hz[i]), i)));
            return;
        }
        std::vector<size_t> found = steps_for(Role::calibration);
        for (size_t s : steps_for(Role::frequency)) found.push_back(s);
        std::sort(found.begin(), found.end(), [&](size_t a, size_t b) {
            return m_plan.steps[a].calibration->frequencyHz < m_plan.steps[b].calibration->frequencyHz;
        });
        for (int c : m_plan.liveChannels) {
            std::vector<double> errors;
            std::string detail;
            for (size_t s : found) {
                double set = m_plan.steps[s].calibration->frequencyHz;
                double measured = wave(s, c).frequencyHz;
                errors.push_back((measured / generated_frequency(set) - 1) * 100);
                detail += printf_text("%s%g Hz: %.3f", detail.empty() ? "" : ", ", set, measured);
            }
            add(judged("calibration frequency", channel_name(c), worst(errors), Compare::within,
                       limits::kCalibrationFrequencyPercent, "%", detail));
        }
    }

    void amplitude()
    {
        std::vector<size_t> found = steps_for(Role::calibration);
        for (size_t s : steps_for(Role::amplitude)) found.push_back(s);
        if (found.size() < 2 || m_plan.model != Model::quorvex) return;
        std::sort(found.begin(), found.end(), [&](size_t a, size_t b) {
            return m_plan.steps[a].calibration->amplitudeIndex < m_plan.steps[b].calibration->amplitudeIndex;
        });
        std::vector<double> set;
        for (size_t s : found) set.push_back(amplitude_uv(m_plan.steps[s].calibration->amplitudeIndex));
        m_report.plots.stepSetUv = set;
        for (int c : m_plan.liveChannels) {
            std::vector<double> heights;
            for (size_t s : found) heights.push_back(wave(s, c).height());
            analysis::Linearity l = analysis::linearity(set, heights);
            add(judged("amplitude linearity", channel_name(c), l.worstShare * 100, Compare::atMost,
                       limits::kLinearityPercent, "%",
                       printf_text("worst at the %.1f uV step: %.3f uV, %+.3f off the line", set[l.worstIndex],
                                   heights[l.worstIndex], l.worstDeviation)));
            m_report.plots.steps.push_back({channel_name(c), heights});
        }
    }

    // The same signal at each range must read the same number of µV at that range's scale.
    void ranges()
    {
        std::vector<size_t> found = steps_for(Role::range);
        if (found.empty() || m_referenceHeights.empty()) return;
        const int referenceRange = m_plan.steps[m_reference].rangeUv;
        for (size_t i = 0; i < m_plan.liveChannels.size(); ++i) {
            int c = m_plan.liveChannels[i];
            std::vector<double> errors;
            std::string detail;
            for (size_t s : found) {
                int range = m_plan.steps[s].rangeUv;
                double ratio = wave(s, c).height() / m_referenceHeights[i];
                errors.push_back((ratio - 1) * 100);
                detail += printf_text("%srange %d: x%.4f the counts at %d (x%g)", detail.empty() ? "" : ", ", range,
                                      ratio * referenceRange / range, referenceRange, double(referenceRange) / range);
            }
            add(judged("range ratio", channel_name(c), worst(errors), Compare::within, limits::kRangeRatioPercent, "%",
                       detail));
        }
    }

    void mains()
    {
        std::vector<size_t> open = steps_for(Role::mainsOpen), notched = steps_for(Role::mainsNotched);
        if (open.empty() || notched.empty()) return;
        const double hz = m_options.mainsHz;
        std::vector<double> pickup, rejection, noise;
        for (int c : m_plan.liveChannels) {
            ChannelSpectra spectra{
                channel_name(c),
                analysis::power_spectrum(samples(open.front(), c), m_plan.samplesPerSecond, kSpectrumSegment),
                analysis::power_spectrum(samples(notched.front(), c), m_plan.samplesPerSecond, kSpectrumSegment)};
            // What is left of the line under a quarter of the background in its band cannot be told
            // from the background: that is as far down as the notch can be followed.
            analysis::Line left = analysis::measure_line(spectra.open, hz, kLineHalfWidthHz, kBackgroundHz);
            analysis::Line notchedLine = analysis::measure_line(spectra.notched, hz, kLineHalfWidthHz, kBackgroundHz);
            double before = std::max(left.power, 0.25 * left.background);
            double after = std::max(notchedLine.power, 0.25 * notchedLine.background);
            after = std::max(after, before * 1e-12);  // a spotless capture has no background either
            pickup.push_back(std::sqrt(2 * before));
            // A line too weak to be followed the limit's depth down (a dead input, a quiet room)
            // cannot show the notch working: not measured, rather than a figure that looks like one.
            const double deepest = analysis::rejection_db(before, 0.25 * notchedLine.background);
            rejection.push_back(deepest < limits::kNotchRejectionDb ? kNaN : analysis::rejection_db(before, after));
            m_afterUv.push_back(std::sqrt(2 * after));
            // The noise band lies away from the notch, so both captures count.
            double power = (analysis::band_power(spectra.open, limits::kNoiseBandLowHz, limits::kNoiseBandHighHz) +
                            analysis::band_power(spectra.notched, limits::kNoiseBandLowHz, limits::kNoiseBandHighHz)) /
                           2;
            noise.push_back(std::sqrt(power));
            m_report.plots.spectra.push_back(std::move(spectra));
        }
        for (size_t i = 0; i < pickup.size(); ++i)
            add(judged("mains pick-up", channel_name(m_plan.liveChannels[i]), pickup[i], Compare::atMost,
                       limits::kMainsUv, "uV", printf_text("%d Hz amplitude with the notch away from it", int(hz))));
        for (size_t i = 0; i < rejection.size(); ++i)
            add(judged(
                "notch rejection", channel_name(m_plan.liveChannels[i]), rejection[i], Compare::atLeast,
                limits::kNotchRejectionDb, "dB",
                printf_text("%d Hz: %.2f uV without the notch, %.3f uV with it", int(hz), pickup[i], m_afterUv[i])));
        for (size_t i = 0; i < noise.size(); ++i) {
            auto [reference, against] = noise_yardstick(noise, i);
            add(judged("noise ratio", channel_name(m_plan.liveChannels[i]), noise[i] / reference, Compare::atMost,
                       limits::kNoiseRatio, "x",
                       printf_text("%.2f uV rms between %g and %g Hz against %.2f of %s", noise[i],
                                   limits::kNoiseBandLowHz, limits::kNoiseBandHighHz, reference, against)));
        }
    }

    // The yardstick for a channel's noise: the median of the other EEG inputs that carry the
    // calibration wave, or, where none is left, of the other live channels that do.
    std::pair<double, const char*> noise_yardstick(const std::vector<double>& noise, size_t i) const
    {
        for (bool eegOnly : {true, false}) {
            std::vector<double> others;
            for (size_t j = 0; j < noise.size(); ++j) {
                bool eeg = std::find(m_plan.eegChannels.begin(), m_plan.eegChannels.end(), m_plan.liveChannels[j]) !=
                           m_plan.eegChannels.end();
                if (j != i && (j >= m_alive.size() || m_alive[j]) && (eeg || !eegOnly)) others.push_back(noise[j]);
            }
            if (!others.empty()) return {analysis::median(others), eegOnly ? "the EEG inputs" : "the live channels"};
        }
        return {kNaN, "no live channel"};
    }

    void impedance()
    {
        std::vector<size_t> found = steps_for(Role::impedance);
        if (found.empty()) return;
        for (const auto& [channel, name] : m_plan.electrodes) {
            std::vector<double> readings = samples(found.front(), channel);
            double kohm = analysis::median(readings);
            m_report.plots.impedancesKohm.push_back({name, kohm});
            add(judged("impedance", name, kohm, Compare::atMost, m_options.maxImpedanceKohm, "kOhm",
                       printf_text("%s: %g to %g kOhm", channel_name(channel).c_str(),
                                   analysis::percentile(readings, 0.0), analysis::percentile(readings, 1.0))));
        }
    }

    const Plan& m_plan;
    const std::vector<Capture>& m_captures;
    RunOptions m_options;
    Report m_report;
    size_t m_reference = 0;
    std::vector<analysis::SquareWave> m_referenceWaves;
    std::vector<double> m_referenceHeights;
    std::vector<bool> m_alive;  // per live channel: it carries the calibration wave
    std::vector<double> m_afterUv;
};

}  // namespace

Report judge(const Plan& plan, const std::vector<Capture>& captures, const RunOptions& options)
{
    return Judge(plan, captures, options).run();
}

RunResult run_checks(const Identity& amplifier, const RunOptions& options, CaptureSource& source,
                     const Progress& progress)
{
    RunResult result;
    Plan plan = plan_for(amplifier.model, options.mainsHz);
    std::vector<Capture> captures;
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        if (progress) progress(i, plan.steps.size(), plan.steps[i]);
        Capture capture;
        std::string error;
        if (!source.capture(plan.steps[i], capture, error)) {
            result.error = plan.steps[i].name + ": " + (error.empty() ? "the capture failed" : error);
            return result;
        }
        captures.push_back(std::move(capture));
    }
    result.report = judge(plan, captures, options);
    result.report.amplifier = amplifier;
    result.completed = true;
    return result;
}

}  // namespace ampcheck
