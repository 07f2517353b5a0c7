// The whole ampcheck program against a simulated amplifier in this process, through the capture
// engine, under the recording clock: what a technician runs, in a second or two.
#include "capture_fixture.h"
#include "edf_reader.h"
#include "tools/ampcheck/engine_source.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// Standard output that can act when a progress line appears, as a technician at the terminal would.
class WatchedOutput : public std::stringbuf {
public:
    std::string marker;
    std::function<void()> onMarker;

protected:
    int sync() override
    {
        if (onMarker && str().find(marker) != std::string::npos) {
            onMarker();
            onMarker = nullptr;
        }
        return 0;
    }
};

class AmpcheckProgram : public CaptureTest {
protected:
    struct Ran {
        int code = -1;
        std::string out, err;
    };

    void SetUp() override
    {
        CaptureTest::SetUp();
        m_dir = fs::temp_directory_path() / ("ampcheck_program_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        CaptureTest::TearDown();
        fs::remove_all(m_dir);
    }

    sim::Amplifier& Plugged(sim::Model model)
    {
        sim::Amplifier& amp = model == sim::Model::quorvex ? Plug() : PlugPellion();
        m_device->log().set_capacity(1000000);  // a whole run, every read
        return amp;
    }

    Ran Ampcheck(std::vector<std::string> args, WatchedOutput* watched = nullptr)
    {
        args.insert(args.begin(), "ampcheck");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        WatchedOutput own;
        WatchedOutput& buffer = watched ? *watched : own;
        std::ostream out(&buffer);
        std::ostringstream err;
        Ran ran;
        ran.code = ampcheck::program_main(int(argv.size()), argv.data(), ampcheck::open_amplifier, out, err);
        ran.out = buffer.str();
        ran.err = err.str();
        return ran;
    }

    // "FAIL  gain matching          ch3 ..." as {"gain matching", "ch3"}.
    static std::set<std::pair<std::string, std::string>> Failures(const std::string& out)
    {
        std::set<std::pair<std::string, std::string>> failed;
        std::regex line("^FAIL  (.+?) +(\\S+) +\\S+ \\S+ +limit");
        std::istringstream in(out);
        for (std::string text; std::getline(in, text);) {
            std::smatch m;
            if (std::regex_search(text, m, line)) failed.insert({m[1], m[2]});
        }
        return failed;
    }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

std::string Tail(const std::string& text, size_t n)
{
    return text.size() > n ? text.substr(text.size() - n) : text;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(AmpcheckProgram, AHealthyQuorvexPassesEveryCheckAndIsStoppedInOrder)
{
    Plugged(sim::Model::quorvex);
    Ran ran = Ampcheck({});
    EXPECT_EQ(ran.code, 0) << ran.out << ran.err;
    EXPECT_EQ(ran.err, "");
    EXPECT_EQ(ran.out.rfind("Quorvex \"QRVX-4 EEG Amplifier\", serial 1234, firmware 23, USB driver 11\n"
                            "[ 1/13] impedance (1.25 s)\n",
                            0),
              0u)
        << ran.out;
    EXPECT_EQ(Tail(ran.out, 27), "PASS: all 65 checks passed\n");

    // Power-on as at the panel's start-up; each capture's switches, then two starts and a stop;
    // power off last.
    std::string wire = Sequence();
    EXPECT_EQ(wire.rfind("1; wait 750; 21; wait 200; 9; 5; 7; 12; 14; 16; 19; 9; 10; 10; 11; 4; 7; 12; 14; 16; 19; 9; "
                         "10; 10; 11; 4; 6; ",
                         0),
              0u)
        << wire;
    EXPECT_TRUE(
        wire.ends_with("; 3; 7; 12; 14; 16; 18; 9; 10; 10; 11; 3; 7; 12; 14; 16; 19; 9; 10; 10; 11; 2; wait 500"))
        << wire;
    EXPECT_EQ(Count(wire, "10; 10; 11"), 13u);
    EXPECT_FALSE(m_amp->state().powered);
}

TEST_F(AmpcheckProgram, AHealthyPellionPassesAndItsJsonReportHasItsShape)
{
    Plugged(sim::Model::pellion);
    Ran ran = Ampcheck({"--json", Path("report.json")});
    EXPECT_EQ(ran.code, 0) << ran.out << ran.err;
    EXPECT_EQ(Tail(ran.out, 27), "PASS: all 36 checks passed\n");
    std::string wire = Sequence();
    EXPECT_EQ(wire.rfind("1; wait 250; 4; 21; 5; 7; 14; 20; 10; 10; 11; 4; 7; 14; 20; 10; 10; 11; 4; 6; 14; 20; ", 0),
              0u)
        << wire;
    EXPECT_TRUE(wire.ends_with("; 3; 7; 14; 20; 10; 10; 11; 3; 7; 14; 19; 10; 10; 11; 2")) << wire;

    std::ifstream file(Path("report.json"));
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(file);
    Texts keys;
    for (const auto& [key, value] : doc.items()) keys.push_back(key);
    EXPECT_EQ(keys, (Texts{"amplifier", "checks", "pass"}));
    EXPECT_EQ(doc["amplifier"], nlohmann::ordered_json::parse(R"({"model": "Pellion", "product": "PLLN-2 EEG Amplifier",
                                                                  "serial": 1234, "firmware": 23, "usbDriver": 11})"));
    EXPECT_EQ(doc["pass"], true);
    ASSERT_EQ(doc["checks"].size(), 36u);
    for (const auto& check : doc["checks"]) {
        Texts fields;
        for (const auto& [key, value] : check.items()) fields.push_back(key);
        EXPECT_EQ(fields, (Texts{"name", "channel", "value", "limit", "unit", "pass"})) << check.dump();
        EXPECT_TRUE(check["name"].is_string());
        EXPECT_TRUE(check["channel"].is_string() || check["channel"].is_null());
        EXPECT_TRUE(check["value"].is_number());
        EXPECT_TRUE(check["limit"].is_number());
        EXPECT_EQ(check["pass"], true);
    }
    EXPECT_EQ(doc["checks"][0]["name"], "sample rate error");
    EXPECT_TRUE(doc["checks"][0]["channel"].is_null());
    EXPECT_EQ(doc["checks"][0]["unit"], "%");
    EXPECT_EQ(doc["checks"][35]["name"], "impedance");
    EXPECT_EQ(doc["checks"][35]["channel"], "2+");
    EXPECT_EQ(doc["checks"][35]["value"], 6.0);
    EXPECT_EQ(doc["checks"][35]["unit"], "kOhm");
}

struct DefectCase {
    const char* label;
    sim::Model model;
    std::function<void(sim::Amplifier&)> set;
    std::pair<std::string, std::string> fails;  // the check it is for, and where
};

class AmpcheckDefect : public AmpcheckProgram, public testing::WithParamInterface<DefectCase> {};

TEST_P(AmpcheckDefect, ExitsOneFailingTheCheckItIsForOnThatChannelAlone)
{
    GetParam().set(Plugged(GetParam().model));
    Ran ran = Ampcheck({});
    EXPECT_EQ(ran.code, 1) << ran.out << ran.err;
    EXPECT_EQ(ran.err, "");
    auto failed = Failures(ran.out);
    EXPECT_TRUE(failed.count(GetParam().fails)) << ran.out;
    for (const auto& [check, where] : failed) EXPECT_EQ(where, GetParam().fails.second) << check;
}

INSTANTIATE_TEST_SUITE_P(Simulated, AmpcheckDefect,
                         testing::Values(DefectCase{"QuorvexGainPointNineOnCh3",
                                                    sim::Model::quorvex,
                                                    [](sim::Amplifier& a) { a.defect_gain(3, 0.9); },
                                                    {"gain matching", "ch3"}},
                                         DefectCase{"QuorvexDeadCh2",
                                                    sim::Model::quorvex,
                                                    [](sim::Amplifier& a) { a.defect_dead(2); },
                                                    {"dead or stuck", "ch2"}},
                                         // Packet channel 2 is the Quorvex's electrode "3".
                                         DefectCase{"QuorvexElectrodeThreeAtFortyKilohms",
                                                    sim::Model::quorvex,
                                                    [](sim::Amplifier& a) { a.set_impedance(2, 40); },
                                                    {"impedance", "3"}},
                                         DefectCase{"PellionDeadCh2",
                                                    sim::Model::pellion,
                                                    [](sim::Amplifier& a) { a.defect_dead(2); },
                                                    {"dead or stuck", "ch2"}},
                                         // Packet channel 3 is the Pellion's electrode 2+.
                                         DefectCase{"PellionElectrodeTwoPlusAtFortyKilohms",
                                                    sim::Model::pellion,
                                                    [](sim::Amplifier& a) { a.set_impedance(3, 40); },
                                                    {"impedance", "2+"}},
                                         // Two seconds of silence: the FIFO keeps one, the other is lost.
                                         DefectCase{"PellionStallOfTwoSecondsLosesPackets",
                                                    sim::Model::pellion,
                                                    [](sim::Amplifier& a) { a.defect_stall(2000); },
                                                    {"lost packets", "-"}},
                                         DefectCase{"QuorvexClockThreePercentSlow",
                                                    sim::Model::quorvex,
                                                    [](sim::Amplifier& a) { a.defect_rate(-3); },
                                                    {"sample rate error", "-"}}),
                         [](const testing::TestParamInfo<DefectCase>& info) { return std::string(info.param.label); });

// The amplifier's FIFO holds a second: a shorter silence (a packet held 0.3 s past its time) is
// made up by a burst, nothing is lost and the amplifier's clock reads true.
TEST_F(AmpcheckProgram, AStallTheFifoMakesUpLosesNothingAndLeavesTheRateAlone)
{
    Plugged(sim::Model::pellion).defect_stall(300);
    Ran ran = Ampcheck({});
    EXPECT_EQ(ran.code, 0) << ran.out;
    EXPECT_NE(ran.out.find("pass  sample rate error      -               0.00 %"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("pass  lost packets           -            0 packets"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("pass  longest gap            -              0.316 s"), std::string::npos) << ran.out;
}

TEST_F(AmpcheckProgram, TheRecordingHoldsEveryCaptureWithOneAnnotationNamingEachStep)
{
    Plugged(sim::Model::pellion);
    Ran ran = Ampcheck({"--record", Path("run.edf")});
    ASSERT_EQ(ran.code, 0) << ran.out << ran.err;

    EdfContents file = ReadWithEdflib(Path("run.edf"));
    ASSERT_TRUE(file.opened);
    // 1184 packets in six captures; the last runs on by 32 to fill its record of 64.
    EXPECT_EQ(file.records, 19);
    EXPECT_EQ(file.rates, std::vector<double>(8, 256.0));
    std::vector<LoggedPacket> wire = LoggedPackets();
    ASSERT_EQ(wire.size(), 19u * 64);
    for (size_t k = 0; k < 19 * 256; k += 97)
        ASSERT_EQ(file.physical[1][k], wire[k / 4].value(int(8 * (k % 4) + 1))) << "sample " << k;

    const Texts steps = {"impedance",      "test signal, range 100", "test signal, range 50", "test signal, range 500",
                         "EEG, notch OFF", "EEG, notch 50 Hz"};
    std::vector<double> onsets;
    for (const EdfAnnotation& a : file.annotations)
        if (std::find(steps.begin(), steps.end(), a.text) != steps.end()) onsets.push_back(a.onset);
    // In plan order, each where its capture's first sample lies: 80, 144, 80, 80 and 400 packets apart.
    EXPECT_EQ(onsets, (std::vector<double>{0.0, 1.25, 3.5, 4.75, 6.0, 12.25}));
    EXPECT_EQ(file.annotations[0].text, "Recorded by ampcheck 1.1.0");
    EXPECT_EQ(file.annotations.back().text, "Stream stop");
}

TEST_F(AmpcheckProgram, AStopRequestedBySignalEndsTheTestInOrderWithOneLineAndExitTwo)
{
    Plugged(sim::Model::quorvex);
    WatchedOutput out;
    out.marker = "[ 3/13]";
    out.onMarker = [] { RequestCaptureStop(SIGINT); };
    Ran ran = Ampcheck({"--json", Path("report.json")}, &out);
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: stopped at calibration 10 Hz 50 uV p-p, range 50: stopped by SIGINT\n");
    EXPECT_EQ(Count(Sequence(), "10; 10; 11"), 2u);
    EXPECT_TRUE(Sequence().ends_with("; 9; 10; 10; 11; 2; wait 500")) << Sequence();
    EXPECT_FALSE(fs::exists(Path("report.json")));
}

// Nothing but short packets: no capture can be measured, and the test does not wait for ever.
TEST_F(AmpcheckProgram, AnAmplifierThatSendsNoWholePacketStopsTheTestAtTheCapturesTimeLimit)
{
    Plugged(sim::Model::pellion).set_fault(sim::Fault::short_packets, true);
    Ran ran = Ampcheck({});
    EXPECT_EQ(ran.code, 2);
    // Twice the capture's 1.25 s and 3 s more; a short read every packet's time.
    EXPECT_EQ(ran.err, "ampcheck: stopped at impedance: the amplifier sent 0 of 80 packets in 5.5 s, and 352 reads "
                       "shorter than a packet\n");
    EXPECT_TRUE(Sequence().ends_with("; 10; 10; 11; 2")) << Sequence();
}

TEST_F(AmpcheckProgram, TheWrongModelIsRefusedBeforeAnythingIsSent)
{
    Plugged(sim::Model::pellion);
    Ran ran = Ampcheck({"--model", "quorvex"});
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: the connected amplifier is a Pellion, not a Quorvex\n");
    EXPECT_EQ(Sequence(), "");
}

TEST_F(AmpcheckProgram, NoAmplifierExitsTwoAtOnce)
{
    Ran ran = Ampcheck({"--record", Path("run.edf")});
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: no amplifier found\n");
    EXPECT_FALSE(fs::exists(Path("run.edf")));
}

}  // namespace
