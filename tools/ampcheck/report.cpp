#include "tools/ampcheck/report.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <ostream>

namespace ampcheck {

Check judged(std::string name, std::string channel, double value, Compare compare, double limit, std::string unit,
             std::string detail)
{
    Check check{std::move(name), std::move(channel), value, limit, std::move(unit), compare, false, std::move(detail)};
    switch (compare) {
    case Compare::atMost: check.pass = value <= limit; break;
    case Compare::atLeast: check.pass = value >= limit; break;
    case Compare::within: check.pass = std::abs(value) <= limit; break;
    }
    return check;  // NaN compares false: not measured is not passed
}

bool Report::pass() const
{
    return !checks.empty() && failures() == 0;
}

int Report::failures() const
{
    int n = 0;
    for (const Check& c : checks) n += c.pass ? 0 : 1;
    return n;
}

namespace {
int decimals(const std::string& unit)
{
    if (unit == "reads" || unit == "packets") return 0;
    if (unit == "dB" || unit == "kOhm") return 1;
    if (unit == "s") return 3;
    return 2;
}
}  // namespace

std::string format_value(double value, const std::string& unit)
{
    if (std::isnan(value)) return "not measured";
    const int places = decimals(unit);
    if (std::abs(value) < 0.5 * std::pow(10.0, -places)) value = 0;  // no "-0.00"
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", places, value, unit.c_str());
    return text;
}

std::string format_limit(const Check& check)
{
    const char* sense = check.compare == Compare::atMost ? "<= " : check.compare == Compare::atLeast ? ">= " : "+/- ";
    char text[64];
    std::snprintf(text, sizeof text, "%s%g %s", sense, check.limit, check.unit.c_str());
    return text;
}

void write_text(const Report& report, std::ostream& out)
{
    char line[512];
    for (const Check& c : report.checks) {
        std::snprintf(line, sizeof line, "%s  %-22s %-5s %16s   limit %s", c.pass ? "pass" : "FAIL", c.name.c_str(),
                      c.channel.empty() ? "-" : c.channel.c_str(), format_value(c.value, c.unit).c_str(),
                      format_limit(c).c_str());
        out << line;
        if (!c.pass && !c.detail.empty()) out << "   (" << c.detail << ")";
        out << '\n';
    }
    const int failed = report.failures();
    if (report.pass()) out << "PASS: all " << report.checks.size() << " checks passed\n";
    else out << "FAIL: " << failed << " of " << report.checks.size() << " checks failed\n";
}

std::string to_json(const Report& report)
{
    using json = nlohmann::ordered_json;
    json checks = json::array();
    for (const Check& c : report.checks) {
        checks.push_back({{"name", c.name},
                          {"channel", c.channel.empty() ? json(nullptr) : json(c.channel)},
                          {"value", std::isfinite(c.value) ? json(c.value) : json(nullptr)},
                          {"limit", c.limit},
                          {"unit", c.unit},
                          {"pass", c.pass}});
    }
    const Identity& a = report.amplifier;
    json document = {{"amplifier",
                      {{"model", model_name(a.model)},
                       {"product", a.product},
                       {"serial", a.versionRead ? json(a.serial) : json(nullptr)},
                       {"firmware", a.versionRead ? json(a.firmware) : json(nullptr)},
                       {"usbDriver", a.versionRead ? json(a.usbDriver) : json(nullptr)}}},
                     {"checks", checks},
                     {"pass", report.pass()}};
    return document.dump(2) + "\n";
}

}  // namespace ampcheck
