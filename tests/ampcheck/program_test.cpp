#include "ampbench/version.h"
#include "tests/ampcheck/synthetic_amplifier.h"
#include "tools/ampcheck/program.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using ampcheck::Model;
namespace fs = std::filesystem;

// Opens a synthetic amplifier (or none), remembering what the program asked for.
struct Bench {
    bool present = true;
    bool versionRead = true;
    Model model = Model::quorvex;
    ampcheck_test::Defects defects;
    int failAtStep = -1;
    int opened = 0;
    ampcheck::Options asked;
    std::vector<ampcheck::Step> steps;  // as the amplifier saw them, once it is closed

    ampcheck::OpenAmplifier opener()
    {
        return [this](const ampcheck::Options& options, ampcheck::Identity& id,
                      std::string& error) -> std::unique_ptr<ampcheck::CaptureSource> {
            ++opened;
            asked = options;
            if (!present) {
                error = "no amplifier found";
                return nullptr;
            }
            id.model = model;
            id.product = model == Model::quorvex ? "QRVX-4 EEG Amplifier" : "PLLN-2 EEG Amplifier";
            id.serial = 1234;
            id.firmware = 23;
            id.usbDriver = 11;
            id.versionRead = versionRead;
            return std::make_unique<Recorded>(*this, model, options.mainsHz, defects, failAtStep);
        };
    }

    struct Recorded : ampcheck_test::SyntheticAmplifier {
        Recorded(Bench& bench, Model model, int mains, ampcheck_test::Defects defects, int failAt)
            : SyntheticAmplifier(model, mains, defects), m_bench(bench)
        {
            failAtStep = failAt;
        }
        ~Recorded() override { m_bench.steps = steps; }
        Bench& m_bench;
    };
};

struct Ran {
    int code;
    std::string out, err;
};

Ran Ampcheck(Bench& bench, std::vector<std::string> args)
{
    args.insert(args.begin(), "ampcheck");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int code = ampcheck::program_main(int(argv.size()), argv.data(), bench.opener(), out, err);
    return {code, out.str(), err.str()};
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("ampcheck_test_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    fs::path m_dir;
};

TEST_F(Program, AHealthyAmplifierExitsZeroAfterProgressAndOneLineACheck)
{
    Bench bench;
    Ran ran = Ampcheck(bench, {});
    EXPECT_EQ(ran.code, 0) << ran.err;
    EXPECT_EQ(ran.err, "");
    EXPECT_EQ(ran.out.rfind("Quorvex \"QRVX-4 EEG Amplifier\", serial 1234, firmware 23, USB driver 11\n"
                            "[ 1/13] impedance (1.25 s)\n"
                            "[ 2/13] calibration 10 Hz 50 uV p-p, range 100 (2.25 s)\n",
                            0),
              0u)
        << ran.out;
    EXPECT_NE(ran.out.find("[13/13] EEG, notch 50 Hz (6.25 s)\n"), std::string::npos);
    EXPECT_EQ(ran.out.substr(ran.out.rfind("PASS")), "PASS: all 65 checks passed\n");
}

TEST_F(Program, AnAmplifierThatGaveNoVersionIsStillTested)
{
    Bench bench;
    bench.model = Model::pellion;
    bench.versionRead = false;
    Ran ran = Ampcheck(bench, {});
    EXPECT_EQ(ran.code, 0);
    EXPECT_EQ(ran.out.rfind("Pellion \"PLLN-2 EEG Amplifier\", no version reply\n[ 1/6] impedance (1.25 s)\n", 0), 0u)
        << ran.out;
}

TEST_F(Program, AFailingCheckExitsOneAndStillWritesBothReports)
{
    Bench bench;
    bench.defects.deadChannel = 1;
    Ran ran = Ampcheck(bench, {"--json", Path("r.json"), "--html", Path("r.html")});
    EXPECT_EQ(ran.code, 1);
    std::ifstream json(Path("r.json"));
    nlohmann::json doc = nlohmann::json::parse(json);
    EXPECT_EQ(doc["pass"], false);
    std::ifstream html(Path("r.html"));
    std::stringstream page;
    page << html.rdbuf();
    EXPECT_NE(page.str().find("<div class=\"verdict fail\">FAIL</div>"), std::string::npos);
}

TEST_F(Program, NoAmplifierExitsTwoWithOneLineAndNoReport)
{
    Bench bench;
    bench.present = false;
    Ran ran = Ampcheck(bench, {"--json", Path("r.json")});
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: no amplifier found\n");
    EXPECT_FALSE(fs::exists(Path("r.json")));
}

TEST_F(Program, TheWrongModelExitsTwoBeforeAnyCapture)
{
    Bench bench;
    Ran ran = Ampcheck(bench, {"--model", "pellion"});
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: the amplifier is a Quorvex, not a Pellion\n");
    EXPECT_TRUE(bench.steps.empty());
    EXPECT_EQ(Ampcheck(bench, {"--model", "quorvex"}).code, 0);
}

TEST_F(Program, BadOptionsExitTwoWithoutTouchingTheAmplifier)
{
    Bench bench;
    for (std::vector<std::string> args : {std::vector<std::string>{"--mains", "55"},
                                          {"--model", "eeg"},
                                          {"--max-impedance", "-1"},
                                          {"--max-impedance", "ten"},
                                          {"--bogus"},
                                          {"--json"},
                                          {"stray"}}) {
        Ran ran = Ampcheck(bench, args);
        EXPECT_EQ(ran.code, 2) << args[0];
        EXPECT_FALSE(ran.err.empty()) << args[0];
    }
    EXPECT_EQ(bench.opened, 0);
}

TEST_F(Program, AReportThatCannotBeWrittenIsRefusedBeforeCapturing)
{
    Bench bench;
    Ran ran = Ampcheck(bench, {"--html", Path("missing/r.html")});
    EXPECT_EQ(ran.code, 2);
    EXPECT_NE(ran.err.find("ampcheck: cannot write " + Path("missing/r.html")), std::string::npos) << ran.err;
    EXPECT_EQ(Ampcheck(bench, {"--json", m_dir.string()}).code, 2);
    EXPECT_EQ(bench.opened, 0);
}

TEST_F(Program, HelpAndVersionExitZero)
{
    Bench bench;
    Ran help = Ampcheck(bench, {"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--model", "--mains", "--max-impedance", "--json", "--html", "--record", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    Ran version = Ampcheck(bench, {"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("ampcheck ") + AMPBENCH_VERSION + "\n");
    EXPECT_EQ(bench.opened, 0);
}

TEST_F(Program, HandsItsOptionsToTheAmplifierSideAndRunsOnTheirMains)
{
    Bench bench;
    bench.model = Model::pellion;
    Ran ran =
        Ampcheck(bench, {"--mains", "60", "--max-impedance", "7.5", "--record", Path("run.edf"), "--model", "Pellion"});
    EXPECT_EQ(ran.code, 1);  // electrode 1+ reads 8 kΩ
    EXPECT_NE(ran.out.find("FAIL  impedance              1+            8.0 kOhm   limit <= 7.5 kOhm"),
              std::string::npos);
    EXPECT_EQ(bench.asked.mainsHz, 60);
    EXPECT_EQ(bench.asked.recordPath, Path("run.edf"));
    ASSERT_EQ(bench.steps.size(), 6u);
    EXPECT_EQ(bench.steps.back().notchHz, 60);
    EXPECT_EQ(bench.steps.back().name, "EEG, notch 60 Hz");
}

TEST_F(Program, ACaptureThatFailsExitsTwoNamingTheStepAndWritesNoReport)
{
    Bench bench;
    bench.failAtStep = 4;
    Ran ran = Ampcheck(bench, {"--json", Path("r.json")});
    EXPECT_EQ(ran.code, 2);
    EXPECT_EQ(ran.err, "ampcheck: stopped at calibration 2 Hz 50 uV p-p, range 100: the amplifier stopped answering\n");
    EXPECT_EQ(bench.steps.size(), 5u);  // and the amplifier was closed
    EXPECT_FALSE(fs::exists(Path("r.json")));
}

}  // namespace
