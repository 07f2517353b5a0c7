// The report as one self-contained page: no outside assets, inline SVG plots, and a layout that
// prints on A4 without splitting a plot.
#include "tools/ampcheck/report.h"
#include "tools/ampcheck/limits.h"
#include "tools/ampcheck/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ampcheck {

namespace {

const char* kColours[] = {"#1f5fa8", "#c2410c", "#15803d", "#7e22ce", "#b91c1c", "#0e7490", "#a16207", "#4b5563"};

const char* colour(size_t i)
{
    return kColours[i % (sizeof kColours / sizeof *kColours)];
}

// Units as people read them.
std::string unit_text(const std::string& unit)
{
    if (unit == "uV") return "µV";
    if (unit == "kOhm") return "kΩ";
    if (unit == "x") return "×";
    return unit;
}

// The details are this program's own ASCII: "uV", "kOhm", "x2".
std::string detail_text(const std::string& detail)
{
    std::string out = html_escape(detail);
    for (auto [from, to] : {std::pair<std::string, std::string>{"uV", "µV"}, {"kOhm", "kΩ"}}) {
        for (size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
            out.replace(at, from.size(), to);
    }
    return out;
}

std::string value_text(const Check& c)
{
    if (std::isnan(c.value)) return "not measured";
    std::string text = format_value(c.value, c.unit);
    return html_escape(text.substr(0, text.rfind(' ')) + " " + unit_text(c.unit));
}

std::string limit_text(const Check& c)
{
    const char* sense = c.compare == Compare::atMost ? "≤ " : c.compare == Compare::atLeast ? "≥ " : "± ";
    char number[32];
    std::snprintf(number, sizeof number, "%g", c.limit);
    return sense + std::string(number) + " " + html_escape(unit_text(c.unit));
}

std::pair<double, double> range_of(const std::vector<std::vector<double>>& series, double pad)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const auto& s : series)
        for (double v : s)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    if (!std::isfinite(lo)) return {0, 1};
    double margin = std::max((hi - lo) * pad, 1e-6);
    return {lo - margin, hi + margin};
}

std::string figure(const std::string& svg, const std::string& caption)
{
    return "<figure>" + svg + "<figcaption>" + caption + "</figcaption></figure>";
}

std::string waves(const Plots& plots)
{
    if (plots.waves.empty()) return "<p>No calibration capture.</p>";
    std::vector<std::vector<double>> all;
    for (const ChannelWave& w : plots.waves) all.push_back(w.uv);
    auto [lo, hi] = range_of(all, 0.15);
    double periodMs = plots.waveFrequencyHz > 0 ? 1000.0 / plots.waveFrequencyHz : 1.0;
    std::string out = "<div class=\"grid\">";
    for (size_t i = 0; i < plots.waves.size(); ++i) {
        const ChannelWave& w = plots.waves[i];
        std::vector<double> x, y;
        for (size_t b = 0; b < w.uv.size(); ++b) {
            x.push_back((double(b) + 0.5) * periodMs / double(w.uv.size()));
            y.push_back(w.uv[b]);
        }
        SvgPlot plot(300, 170, 0, periodMs, lo, hi);
        plot.axes("ms", "µV");
        plot.title(w.channel);
        plot.line(x, y, colour(i), 2.0);
        out += plot.str();
    }
    return out + "</div>";
}

std::string steps(const Plots& plots)
{
    if (plots.stepSetUv.empty())
        return "<p>This model's test signal has one amplitude: there are no steps to compare.</p>";
    std::vector<std::vector<double>> all{plots.stepSetUv};
    for (const ChannelSteps& s : plots.steps) all.push_back(s.measuredUv);
    auto [lo, hi] = range_of(all, 0.05);
    lo = std::min(lo, 0.0);
    double xMax = *std::max_element(plots.stepSetUv.begin(), plots.stepSetUv.end()) * 1.05;
    SvgPlot plot(620, 340, 0, xMax, lo, hi);
    plot.axes("set, µV peak to peak", "measured, µV peak to peak (nominal scale)");
    plot.line({0, xMax}, {0, xMax}, "#9ca3af", 1.0, true);
    std::vector<std::pair<std::string, std::string>> legend;
    for (size_t i = 0; i < plots.steps.size(); ++i) {
        plot.line(plots.stepSetUv, plots.steps[i].measuredUv, colour(i), 1.0);
        plot.points(plots.stepSetUv, plots.steps[i].measuredUv, colour(i));
        legend.push_back({plots.steps[i].channel, colour(i)});
    }
    plot.legend(legend);
    return figure(plot.str(), "Each channel's calibration height at every amplitude step; dashed: equal to the set "
                              "height at the nominal scale.");
}

std::vector<double> decibels(const std::vector<double>& density)
{
    std::vector<double> out;
    for (double d : density) out.push_back(d > 0 ? 10 * std::log10(d) : std::numeric_limits<double>::quiet_NaN());
    return out;
}

std::string spectra(const Plots& plots, double noiseLowHz, double noiseHighHz)
{
    if (plots.spectra.empty()) return "<p>No EEG capture.</p>";
    std::vector<std::vector<double>> all;
    for (const ChannelSpectra& s : plots.spectra) {
        all.push_back(decibels(s.open.density));
        all.push_back(decibels(s.notched.density));
    }
    auto [lo, hi] = range_of(all, 0.05);
    lo = std::max(lo, hi - 90);  // a bin at the last bit's level would flatten the rest
    std::string out = "<div class=\"grid\">";
    for (const ChannelSpectra& s : plots.spectra) {
        double top = s.open.binHz * double(std::max<size_t>(s.open.density.size(), 2) - 1);
        SvgPlot plot(300, 190, 0, top, lo, hi);
        plot.band(noiseLowHz, noiseHighHz, "#f3f4f6");
        plot.axes("Hz", "dB µV²/Hz");
        plot.title(s.channel);
        plot.vertical(plots.mainsHz, "#9ca3af", std::to_string(plots.mainsHz) + " Hz");
        std::vector<double> x;
        for (size_t k = 0; k < s.open.density.size(); ++k) x.push_back(s.open.frequency(k));
        plot.line(x, decibels(s.open.density), "#c2410c", 1.0);
        std::vector<double> xn;
        for (size_t k = 0; k < s.notched.density.size(); ++k) xn.push_back(s.notched.frequency(k));
        plot.line(xn, decibels(s.notched.density), "#1f5fa8", 1.0);
        out += plot.str();
    }
    return out + "</div><p class=\"key\"><span style=\"color:#c2410c\">■</span> notch away from the mains &nbsp; "
                 "<span style=\"color:#1f5fa8\">■</span> notch on the mains &nbsp; "
                 "<span style=\"color:#9ca3af\">■</span> band where noise is compared</p>";
}

std::string impedances(const Plots& plots)
{
    if (plots.impedancesKohm.empty()) return "<p>No impedance capture.</p>";
    double top = plots.impedanceLimitKohm * 1.5;
    for (const auto& [name, kohm] : plots.impedancesKohm)
        if (std::isfinite(kohm)) top = std::max(top, kohm * 1.15);
    double n = double(plots.impedancesKohm.size());
    SvgPlot plot(420, 260, 0.4, n + 0.6, 0, top);
    plot.axes("electrode", "kΩ", false);
    for (size_t i = 0; i < plots.impedancesKohm.size(); ++i) {
        const auto& [name, kohm] = plots.impedancesKohm[i];
        char text[48];
        std::snprintf(text, sizeof text, "%g", kohm);
        bool ok = kohm <= plots.impedanceLimitKohm;
        plot.bar(double(i) + 1, 0.6, std::isfinite(kohm) ? kohm : 0, ok ? "#15803d" : "#b91c1c", text);
        plot.category(double(i) + 1, name);
    }
    char label[48];
    std::snprintf(label, sizeof label, "limit %g kΩ", plots.impedanceLimitKohm);
    plot.horizontal(plots.impedanceLimitKohm, "#b91c1c", label);
    return figure(plot.str(), "Each electrode's reading, with the limit.");
}

const char* kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; color: #111827; margin: 24px; max-width: 1100px; }
h1 { font-size: 22px; margin: 0 0 8px; }
h2 { font-size: 17px; margin: 24px 0 8px; border-bottom: 1px solid #d1d5db; padding-bottom: 3px; }
table { border-collapse: collapse; font-size: 13px; }
td, th { padding: 3px 8px; white-space: nowrap; text-align: left; border-bottom: 1px solid #e5e7eb; vertical-align: top; }
th { background: #f3f4f6; }
td.num { text-align: right; }
td.detail { white-space: normal; color: #374151; }
tr.fail td { background: #fee2e2; }
.verdict { display: inline-block; font-size: 20px; font-weight: bold; padding: 6px 16px; border-radius: 4px;
           color: white; margin: 8px 0; }
.verdict.pass { background: #15803d; } .verdict.fail { background: #b91c1c; }
.status.pass { color: #15803d; font-weight: bold; } .status.fail { color: #b91c1c; font-weight: bold; }
.identity td:first-child { color: #4b5563; }
ul.failed { color: #b91c1c; margin: 4px 0; padding-left: 20px; }
.grid { display: flex; flex-wrap: wrap; gap: 6px; }
figure { margin: 0; } figcaption, .key { font-size: 12px; color: #4b5563; }
svg { font-family: "DejaVu Sans", Arial, sans-serif; }
svg .grid { stroke: #e5e7eb; stroke-width: 1; } svg .frame { fill: none; stroke: #6b7280; }
svg .tick { font-size: 10px; fill: #374151; } svg .label { font-size: 11px; fill: #374151; }
svg .title { font-size: 12px; font-weight: bold; fill: #111827; }
@media print {
  body { margin: 0; max-width: none; }
  h2 { break-after: avoid; }
  svg, figure, tr { break-inside: avoid; }
  .verdict, tr.fail td, th { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)";

}  // namespace

std::string to_html(const Report& report)
{
    const Identity& a = report.amplifier;
    const bool pass = report.pass();
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" +
        html_escape(std::string("Acceptance test: ") + model_name(a.model) + " serial " + std::to_string(a.serial)) +
        "</title>\n<style>" + kStyle + "</style></head><body>\n";
    out += "<h1>Amplifier acceptance test</h1>\n<table class=\"identity\">";
    auto row = [&](const std::string& k, const std::string& v) {
        out += "<tr><td>" + k + "</td><td>" + html_escape(v) + "</td></tr>";
    };
    row("Model", model_name(a.model));
    row("Product", a.product);
    char versions[64];
    auto version = [&](int v) {
        std::snprintf(versions, sizeof versions, "%02d", v);
        return a.versionRead ? std::string(versions) : std::string("not read");
    };
    row("Serial number", a.versionRead ? std::to_string(a.serial) : "not read");
    row("Firmware", version(a.firmware));
    row("USB driver", version(a.usbDriver));
    row("Tested", report.date);
    row("Mains", std::to_string(report.mainsHz) + " Hz");
    row("Test program", "ampcheck " + report.version);
    out += "</table>\n";
    out += std::string("<div class=\"verdict ") + (pass ? "pass\">PASS" : "fail\">FAIL") + "</div> ";
    out += pass ? "<span>all " + std::to_string(report.checks.size()) + " checks passed</span>"
                : "<span>" + std::to_string(report.failures()) + " of " + std::to_string(report.checks.size()) +
                      " checks failed</span>";

    if (!pass) {
        out += "\n<ul class=\"failed\">";
        for (const Check& c : report.checks)
            if (!c.pass)
                out += "<li>" + html_escape(c.name) + (c.channel.empty() ? "" : " " + html_escape(c.channel)) + ": " +
                       value_text(c) + " (limit " + limit_text(c) + ")</li>";
        out += "</ul>";
    }
    out += "\n<h2>Checks</h2>\n<table><tr><th></th><th>Check</th><th>Channel</th><th>Value</th><th>Limit</th>"
           "<th>Measured</th></tr>\n";
    for (const Check& c : report.checks) {
        out += std::string("<tr") + (c.pass ? "" : " class=\"fail\"") + "><td class=\"status " +
               (c.pass ? "pass\">pass" : "fail\">FAIL") + "</td><td>" + html_escape(c.name) + "</td><td>" +
               html_escape(c.channel.empty() ? "–" : c.channel) + "</td><td class=\"num\">" + value_text(c) +
               "</td><td class=\"num\">" + limit_text(c) + "</td><td class=\"detail\">" + detail_text(c.detail) +
               "</td></tr>\n";
    }
    out += "</table>\n";

    const Plots& p = report.plots;
    char heading[96];
    std::snprintf(heading, sizeof heading, "<h2>Calibration wave, one period (%.3f Hz)</h2>\n", p.waveFrequencyHz);
    out += heading + waves(p);
    out += "\n<h2>Amplitude steps</h2>\n" + steps(p);
    out += "\n<h2>Spectra with and without the notch</h2>\n" +
           spectra(p, limits::kNoiseBandLowHz, limits::kNoiseBandHighHz);
    out += "\n<h2>Electrode impedances</h2>\n" + impedances(p);
    out += "\n</body></html>\n";
    return out;
}

}  // namespace ampcheck
