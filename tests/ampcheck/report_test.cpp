#include "tests/ampcheck/synthetic_amplifier.h"
#include "tools/ampcheck/report.h"
#include "tools/ampcheck/runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>

namespace {

using ampcheck::Compare;
using ampcheck::Model;
using nlohmann::json;

ampcheck::Report Tested(Model model, ampcheck_test::Defects defects = {})
{
    ampcheck_test::SyntheticAmplifier amp(model, 50, defects);
    ampcheck::Identity id;
    id.model = model;
    id.product = model == Model::quorvex ? "QRVX-4 <EEG> Amplifier" : "PLLN-2 EEG Amplifier";
    id.serial = 1234;
    id.firmware = 23;
    id.usbDriver = 11;
    ampcheck::RunResult result = ampcheck::run_checks(id, {}, amp);
    result.report.date = "2031-05-06 07:08:09 +0000";
    result.report.version = "9.8.7";
    return result.report;
}

ampcheck_test::Defects GainOnCh3()
{
    ampcheck_test::Defects d;
    d.gainChannel = 2;
    d.gain = 0.9;
    return d;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Judged, AValueOnTheLimitPassesAndOneNotMeasuredFails)
{
    EXPECT_TRUE(ampcheck::judged("a", "", 2.0, Compare::atMost, 2.0, "%").pass);
    EXPECT_FALSE(ampcheck::judged("a", "", 2.01, Compare::atMost, 2.0, "%").pass);
    EXPECT_TRUE(ampcheck::judged("a", "", 20.0, Compare::atLeast, 20.0, "dB").pass);
    EXPECT_FALSE(ampcheck::judged("a", "", 19.9, Compare::atLeast, 20.0, "dB").pass);
    EXPECT_TRUE(ampcheck::judged("a", "", -2.0, Compare::within, 2.0, "%").pass);
    EXPECT_FALSE(ampcheck::judged("a", "", -2.1, Compare::within, 2.0, "%").pass);
    for (Compare c : {Compare::atMost, Compare::atLeast, Compare::within})
        EXPECT_FALSE(ampcheck::judged("a", "", std::nan(""), c, 2.0, "%").pass);
}

TEST(TextReport, OneLineACheckThenTheVerdict)
{
    ampcheck::Report report = Tested(Model::pellion);
    std::ostringstream out;
    ampcheck::write_text(report, out);
    std::string text = out.str();
    EXPECT_EQ(Count(text, "\n"), 37u);
    EXPECT_NE(text.find("pass  sample rate error      -"), std::string::npos) << text;
    EXPECT_NE(text.find("pass  impedance              1+            8.0 kOhm   limit <= 10 kOhm\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.rfind("PASS")), "PASS: all 36 checks passed\n");
}

TEST(TextReport, AFailingLineSaysWhatWasMeasured)
{
    std::ostringstream out;
    ampcheck::write_text(Tested(Model::quorvex, GainOnCh3()), out);
    std::string text = out.str();
    // Its value and what was measured move with the noise: -9.99 % or so of 44.47 µV or so.
    size_t at = text.find("FAIL  gain matching");
    ASSERT_NE(at, std::string::npos) << text;
    std::string line = text.substr(at, text.find('\n', at) - at);
    EXPECT_EQ(line.substr(0, 34), "FAIL  gain matching          ch3  ") << line;
    EXPECT_NEAR(std::stod(line.substr(34)), -10.0, 0.3) << line;
    EXPECT_EQ(line.substr(line.find(" %   ")),
              " %   limit +/- 2 %   (44." + line.substr(line.find("(44.") + 4, 3) + " uV p-p)")
        << line;
    EXPECT_EQ(text.substr(text.rfind("FAIL:")), "FAIL: 1 of 65 checks failed\n");
}

TEST(FormatValue, RoundsToTheUnitsPlacesWithoutANegativeZero)
{
    EXPECT_EQ(ampcheck::format_value(-0.001, "%"), "0.00 %");
    EXPECT_EQ(ampcheck::format_value(32.94, "dB"), "32.9 dB");
    EXPECT_EQ(ampcheck::format_value(3.0, "reads"), "3 reads");
    EXPECT_EQ(ampcheck::format_value(std::nan(""), "%"), "not measured");
}

TEST(JsonReport, HasExactlyTheAmplifierTheChecksAndTheVerdict)
{
    json doc = json::parse(ampcheck::to_json(Tested(Model::quorvex, GainOnCh3())));
    std::vector<std::string> keys;
    for (auto& [key, value] : doc.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"amplifier", "checks", "pass"}));
    EXPECT_EQ(doc["pass"], false);
    EXPECT_EQ(doc["amplifier"], json::parse(R"({"model": "Quorvex", "product": "QRVX-4 <EEG> Amplifier",
                                                "serial": 1234, "firmware": 23, "usbDriver": 11})"));
    ASSERT_EQ(doc["checks"].size(), 65u);
    for (const json& check : doc["checks"]) {
        std::vector<std::string> fields;
        for (auto& [key, value] : check.items()) fields.push_back(key);
        std::sort(fields.begin(), fields.end());
        EXPECT_EQ(fields, (std::vector<std::string>{"channel", "limit", "name", "pass", "unit", "value"}));
    }
    EXPECT_EQ(doc["checks"][0],
              json::parse(R"({"name": "sample rate error", "channel": null,
                                                "value": )" +
                          doc["checks"][0]["value"].dump() + R"(, "limit": 1.0, "unit": "%", "pass": true})"));
    int failing = 0;
    for (const json& check : doc["checks"])
        if (!check["pass"]) {
            ++failing;
            EXPECT_EQ(check["name"], "gain matching");
            EXPECT_EQ(check["channel"], "ch3");
            EXPECT_NEAR(check["value"].get<double>(), -10.0, 0.1);
            EXPECT_EQ(check["limit"], 2.0);
            EXPECT_EQ(check["unit"], "%");
        }
    EXPECT_EQ(failing, 1);
}

TEST(JsonReport, VersionsThatWereNotReadAreNull)
{
    ampcheck::Report report;
    report.amplifier.model = Model::pellion;
    report.amplifier.product = "PLLN-2 EEG Amplifier";
    report.amplifier.versionRead = false;
    json doc = json::parse(ampcheck::to_json(report));
    EXPECT_EQ(doc["amplifier"], json::parse(R"({"model": "Pellion", "product": "PLLN-2 EEG Amplifier",
                                                "serial": null, "firmware": null, "usbDriver": null})"));
    EXPECT_EQ(doc["pass"], false);  // no checks: nothing passed
    EXPECT_NE(ampcheck::to_html(report).find("<td>Firmware</td><td>not read</td>"), std::string::npos);
}

TEST(JsonReport, AValueThatCouldNotBeMeasuredIsNull)
{
    ampcheck::Report report;
    report.checks.push_back(ampcheck::judged("calibration frequency", "ch2", std::nan(""), Compare::within, 1.0, "%"));
    json doc = json::parse(ampcheck::to_json(report));
    EXPECT_TRUE(doc["checks"][0]["value"].is_null());
    EXPECT_EQ(doc["checks"][0]["channel"], "ch2");
    EXPECT_EQ(doc["pass"], false);
}

TEST(HtmlReport, IsOnePageWithNothingFetchedFromOutside)
{
    std::string html = ampcheck::to_html(Tested(Model::quorvex));
    for (const char* outside : {"<script", "<link", "src=", "url(", "@import", "<img", "<iframe"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("@media print"), std::string::npos);
}

TEST(HtmlReport, ShowsTheIdentityTheDateTheVerdictAndEveryCheck)
{
    std::string html = ampcheck::to_html(Tested(Model::quorvex, GainOnCh3()));
    EXPECT_NE(html.find("QRVX-4 &lt;EEG&gt; Amplifier"), std::string::npos);
    EXPECT_EQ(html.find("<EEG>"), std::string::npos);
    EXPECT_NE(html.find("2031-05-06 07:08:09 +0000"), std::string::npos);
    EXPECT_NE(html.find("ampcheck 9.8.7"), std::string::npos);
    EXPECT_NE(html.find("<div class=\"verdict fail\">FAIL</div>"), std::string::npos);
    EXPECT_EQ(Count(html, "<tr class=\"fail\">"), 1u);
    EXPECT_NE(html.find("<ul class=\"failed\"><li>gain matching ch3: -"), std::string::npos);
    EXPECT_NE(html.find(" % (limit ± 2 %)</li></ul>"), std::string::npos);
    EXPECT_EQ(Count(html, "<td class=\"status pass\">pass</td>"), 64u);
}

TEST(HtmlReport, PlotsEachChannelsWaveTheStepsEachSpectrumAndTheImpedances)
{
    // Seven live channels: a folded wave and a spectrum each, one steps plot, one impedance plot.
    std::string quorvex = ampcheck::to_html(Tested(Model::quorvex));
    EXPECT_EQ(Count(quorvex, "<svg "), 16u);
    for (const char* heading : {"Calibration wave, one period", "Amplitude steps", "Spectra with and without the notch",
                                "Electrode impedances"})
        EXPECT_NE(quorvex.find(heading), std::string::npos) << heading;
    EXPECT_EQ(Count(quorvex, "<circle "), 7u * 6u);  // every channel at six steps

    // Four live channels and no amplitude steps to plot.
    std::string pellion = ampcheck::to_html(Tested(Model::pellion));
    EXPECT_EQ(Count(pellion, "<svg "), 9u);
    EXPECT_NE(pellion.find("no steps to compare"), std::string::npos);
    EXPECT_NE(pellion.find(">1+</text>"), std::string::npos);
}

}  // namespace
