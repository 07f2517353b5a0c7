// ampcheck as a technician runs it: against ampsim processes, in real time. The five whole runs
// (a healthy unit of each model and three defects) go side by side, each amplifier in a runtime
// folder of its own, so together they take one run's time.
#include "child_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Texts = std::vector<std::string>;
using Named = std::set<std::pair<std::string, std::string>>;  // check, channel or electrode

using child_process::Slurp;
using child_process::Wait;

// "FAIL  gain matching          ch3 ..." as {"gain matching", "ch3"}.
Named Failures(const std::string& out)
{
    Named failed;
    std::regex line("^FAIL  (.+?) +(\\S+) +\\S+ \\S+ +limit");
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (std::regex_search(text, m, line)) failed.insert({m[1], m[2]});
    }
    return failed;
}

// One amplifier and the programs run against it, in a runtime folder of their own.
struct Bench {
    fs::path dir;
    pid_t ampsim = -1;

    // Starts a program with AMP_RUNTIME_DIR at this bench's folder, its output in files there.
    pid_t Spawn(const std::vector<std::string>& args, const std::string& name, const std::string& input = "/dev/null")
    {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "AMP_RUNTIME_DIR=", 16) != 0 && std::strncmp(*e, "AMP_BUS=", 8) != 0)
                env.push_back(*e);
        env.push_back("AMP_RUNTIME_DIR=" + dir.string());
        env.push_back("AMP_BUS=ampsim");
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        return child_process::Spawn(dir, args, name, input, envp.data());
    }

    // ampsim with these lines on its standard input (defects), and its wire log.
    void StartAmpsim(const std::string& model, const std::string& commands = "")
    {
        std::ofstream(dir / "commands") << commands;
        ampsim = Spawn({AMPSIM_PATH, "--model", model, "--name", "e2e", "--log", (dir / "wire.jsonl").string()},
                       "ampsim", (dir / "commands").string());
        for (int i = 0; i < 250 && !fs::exists(dir / "e2e.sock"); ++i) std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::exists(dir / "e2e.sock")) << Slurp(dir / "ampsim.err");
        // The commands are read once the amplifier is plugged in; give the reader its moment.
        std::this_thread::sleep_for(100ms);
    }
    void StopAmpsim()
    {
        if (ampsim <= 0) return;
        ::kill(ampsim, SIGTERM);
        int status = 0;
        ::waitpid(ampsim, &status, 0);
        ampsim = -1;
    }

    std::string Out(const std::string& name) const { return Slurp(dir / (name + ".out")); }
    std::string Err(const std::string& name) const { return Slurp(dir / (name + ".err")); }

    // The commands on bulk OUT in order, the calibration packet as its first byte.
    std::string Commands() const
    {
        std::string text;
        std::ifstream in(dir / "wire.jsonl");
        for (std::string line; std::getline(in, line);) {
            auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_discarded() || j.value("dir", "") != "out" || j.value("ep", "") != "0x01") continue;
            std::string hex = j.value("hex", "");
            if (!hex.empty())
                text += (text.empty() ? "" : "; ") + std::to_string(std::stoi(hex.substr(0, 2), nullptr, 16));
        }
        return text;
    }
    // Sample packets delivered so far.
    size_t StreamedPackets() const
    {
        size_t n = 0;
        std::ifstream in(dir / "wire.jsonl");
        for (std::string line; std::getline(in, line);)
            if (line.find("\"dir\":\"in\"") != std::string::npos && line.find("\"hex\":\"53 ") != std::string::npos)
                ++n;
        return n;
    }
};

class AmpcheckE2e : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ampcheck-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        for (Bench& b : m_benches) b.StopAmpsim();
        fs::remove_all(m_dir);
    }

    Bench& NewBench(const std::string& name)
    {
        Bench& b = m_benches.emplace_back();
        b.dir = m_dir / name;
        fs::create_directories(b.dir);
        fs::permissions(b.dir, fs::perms::owner_all, fs::perm_options::replace);
        return b;
    }

    fs::path m_dir;
    std::deque<Bench> m_benches;
};

struct WholeRun {
    const char* name;
    const char* model;
    const char* commands;  // on ampsim's standard input
    int exitCode;
    std::string verdict;  // the last line
    Named failures;
};

TEST_F(AmpcheckE2e, HealthyUnitsPassAndEachDefectFailsItsCheckOnItsChannel)
{
    const std::vector<WholeRun> runs = {
        {"quorvex", "quorvex", "", 0, "PASS: all 65 checks passed", {}},
        {"pellion", "pellion", "", 0, "PASS: all 36 checks passed", {}},
        {"gain", "quorvex", "defect gain 3 0.9\n", 1, "FAIL: 1 of 65 checks failed", {{"gain matching", "ch3"}}},
        // A dead input has no wave to time or step either, and no mains for the notch to take down.
        {"dead",
         "quorvex",
         "defect dead 2\n",
         1,
         "FAIL: 6 of 65 checks failed",
         {{"dead or stuck", "ch2"},
          {"gain matching", "ch2"},
          {"calibration frequency", "ch2"},
          {"amplitude linearity", "ch2"},
          {"range ratio", "ch2"},
          {"notch rejection", "ch2"}}},
        // Packet channel 2 is electrode "3".
        {"electrode", "quorvex", "impedance 2 40\n", 1, "FAIL: 1 of 65 checks failed", {{"impedance", "3"}}},
    };
    std::vector<pid_t> checks;
    auto started = std::chrono::steady_clock::now();
    for (const WholeRun& run : runs) {
        Bench& b = NewBench(run.name);
        b.StartAmpsim(run.model, run.commands);
        checks.push_back(b.Spawn({AMPCHECK_PATH, "--json", (b.dir / "report.json").string()}, "ampcheck"));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const WholeRun& run = runs[i];
        Bench& b = m_benches[i];
        EXPECT_EQ(Wait(checks[i], 120s), run.exitCode) << run.name << "\n" << b.Out("ampcheck") << b.Err("ampcheck");
        std::string out = b.Out("ampcheck");
        EXPECT_TRUE(out.ends_with("\n" + run.verdict + "\n")) << run.name << "\n" << out;
        EXPECT_EQ(Failures(out), run.failures) << run.name << "\n" << out;
        EXPECT_EQ(b.Err("ampcheck"), "") << run.name;
        nlohmann::json report = nlohmann::json::parse(Slurp(b.dir / "report.json"), nullptr, false);
        EXPECT_EQ(report["pass"], run.exitCode == 0) << run.name;
    }
    std::printf("five runs side by side: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    for (Bench& b : m_benches) b.StopAmpsim();

    // Each model powered on as its panel does, every capture started twice and stopped, power off last.
    std::string quorvex = m_benches[0].Commands(), pellion = m_benches[1].Commands();
    EXPECT_EQ(quorvex.rfind("1; 21; 9; 5; 7; 12; 14; 16; 19; 9; 10; 10; 11; 4; 7; ", 0), 0u) << quorvex;
    EXPECT_TRUE(quorvex.ends_with("; 3; 7; 12; 14; 16; 19; 9; 10; 10; 11; 2")) << quorvex;
    EXPECT_EQ(pellion.rfind("1; 4; 21; 5; 7; 14; 20; 10; 10; 11; 4; 7; 14; 20; ", 0), 0u) << pellion;
    EXPECT_TRUE(pellion.ends_with("; 3; 7; 14; 19; 10; 10; 11; 2")) << pellion;
}

TEST_F(AmpcheckE2e, ASignalMidCaptureStopsTheAmplifierInOrderAndExitsTwoWithOneLine)
{
    Bench& b = NewBench("signal");
    b.StartAmpsim("pellion");
    std::string edf = (b.dir / "run.edf").string();
    pid_t pid = b.Spawn({AMPCHECK_PATH, "--json", (b.dir / "report.json").string(), "--record", edf}, "ampcheck");
    // Into the second capture: more than the impedance step's 80 packets.
    for (int i = 0; i < 500 && b.StreamedPackets() < 120; ++i) std::this_thread::sleep_for(20ms);
    ASSERT_GE(b.StreamedPackets(), 120u);
    auto sent = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid, 10s), 2);
    // The recording finishes the data record it is in (at most a second), then 11 and 2.
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 3s);
    EXPECT_EQ(b.Err("ampcheck"), "ampcheck: stopped at test signal, range 100: stopped by SIGINT\n");
    EXPECT_FALSE(fs::exists(b.dir / "report.json"));
    EXPECT_TRUE(fs::exists(edf));  // what was captured is kept
    b.StopAmpsim();
    EXPECT_EQ(b.Commands(), "1; 4; 21; 5; 7; 14; 20; 10; 10; 11; 4; 7; 14; 20; 10; 10; 11; 2");
}

TEST_F(AmpcheckE2e, AnAmplifierUnpluggedMidTestEndsItWithExitTwoAndOneLine)
{
    Bench& b = NewBench("unplug");
    b.StartAmpsim("pellion");
    pid_t pid = b.Spawn({AMPCHECK_PATH}, "ampcheck");
    for (int i = 0; i < 500 && b.StreamedPackets() < 120; ++i) std::this_thread::sleep_for(20ms);
    b.StopAmpsim();
    EXPECT_EQ(Wait(pid, 10s), 2);
    EXPECT_EQ(b.Err("ampcheck"), "ampcheck: stopped at test signal, range 100: the amplifier went away\n");
}

TEST_F(AmpcheckE2e, NoAmplifierTheWrongModelOrABadOptionExitTwoAtOnce)
{
    Bench& empty = NewBench("empty");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Wait(empty.Spawn({AMPCHECK_PATH}, "ampcheck"), 10s), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(empty.Err("ampcheck"), "ampcheck: no amplifier found\n");

    Bench& b = NewBench("pellion");
    b.StartAmpsim("pellion");
    EXPECT_EQ(Wait(b.Spawn({AMPCHECK_PATH, "--model", "quorvex"}, "ampcheck"), 10s), 2);
    EXPECT_EQ(b.Err("ampcheck"), "ampcheck: the connected amplifier is a Pellion, not a Quorvex\n");
    EXPECT_EQ(Wait(b.Spawn({AMPCHECK_PATH, "--mains", "55"}, "ampcheck"), 10s), 2);
    EXPECT_NE(b.Err("ampcheck"), "");
    b.StopAmpsim();
    EXPECT_EQ(b.Commands(), "");
}

}  // namespace
