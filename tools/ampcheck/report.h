// The outcome of an acceptance test: one judged measurement a line, the data behind the plots,
// and the three ways of writing it (terminal, JSON, a self-contained HTML page).
#pragma once

#include "analysis/welch.h"
#include "tools/ampcheck/source.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace ampcheck {

enum class Compare {
    atMost,   // value ≤ limit
    atLeast,  // value ≥ limit
    within    // |value| ≤ limit
};

struct Check {
    std::string name;
    std::string channel;  // "ch1" to "ch8", an electrode ("1" to "4", "R"; "1-" to "2+"), or none
    double value = 0;     // NaN when it could not be measured, which fails
    double limit = 0;
    std::string unit;
    Compare compare = Compare::atMost;
    bool pass = false;
    std::string detail;  // the figures behind the value, for people
};

// Judges the value against the limit; a value that could not be measured fails.
Check judged(std::string name, std::string channel, double value, Compare compare, double limit, std::string unit,
             std::string detail = {});

struct ChannelWave {
    std::string channel;
    std::vector<double> uv;  // one period from a rising edge
};

struct ChannelSteps {
    std::string channel;
    std::vector<double> measuredUv;  // height at each of Plots::stepSetUv
};

struct ChannelSpectra {
    std::string channel;
    analysis::Spectrum open;     // µV²/Hz, notch away from the mains
    analysis::Spectrum notched;  // notch on the mains
};

struct Plots {
    double waveFrequencyHz = 0;
    std::vector<ChannelWave> waves;
    std::vector<double> stepSetUv;  // empty where the amplitude cannot be set
    std::vector<ChannelSteps> steps;
    int mainsHz = 50;
    std::vector<ChannelSpectra> spectra;
    std::vector<std::pair<std::string, double>> impedancesKohm;
    double impedanceLimitKohm = 0;
};

struct Report {
    Identity amplifier;
    std::string date;     // when it was tested, for the page
    std::string version;  // this program's
    int mainsHz = 50;
    std::vector<Check> checks;
    Plots plots;
    bool pass() const;
    int failures() const;
};

std::string format_value(double value, const std::string& unit);
std::string format_limit(const Check& check);

// One line a check and the verdict.
void write_text(const Report& report, std::ostream& out);
// {"amplifier": {...}, "checks": [{"name", "channel", "value", "limit", "unit", "pass"}], "pass"}
std::string to_json(const Report& report);
std::string to_html(const Report& report);

}  // namespace ampcheck
