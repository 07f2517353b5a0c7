// amprecord as a technician runs it: against an ampsim process, in real time, its file read
// back with EDFlib and save2gdf and held against ampsim's own wire log.
#include "child_process.h"
#include "edf_reader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

struct WireItem {
    std::string dir;
    std::string ep;
    std::vector<uint8_t> bytes;
    bool ok = true;
};

class AmprecordE2e : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/amprecord-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("AMP_RUNTIME_DIR", m_dir.c_str(), 1);
        ::setenv("AMP_BUS", "ampsim", 1);
    }
    void TearDown() override
    {
        if (m_ampsim > 0) StopAmpsim();
        fs::remove_all(m_dir);
    }

    pid_t Spawn(const std::vector<std::string>& args, const std::string& name)
    {
        return child_process::Spawn(m_dir, args, name);
    }
    static int Wait(pid_t pid, std::chrono::seconds limit = 60s) { return child_process::Wait(pid, limit); }

    void StartAmpsim(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {AMPSIM_PATH, "--name", "e2e", "--log", (m_dir / "wire.jsonl").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        m_ampsim = Spawn(args, "ampsim");
        for (int i = 0; i < 250 && !fs::exists(m_dir / "e2e.sock"); ++i) std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::exists(m_dir / "e2e.sock")) << Slurp("ampsim.err");
    }
    void StopAmpsim()
    {
        ::kill(m_ampsim, SIGTERM);
        Wait(m_ampsim);
        m_ampsim = -1;
    }

    struct Run {
        int exitCode = -1;
        Texts errLines;
    };
    Run Amprecord(const std::vector<std::string>& options)
    {
        std::vector<std::string> args = {AMPRECORD_PATH};
        args.insert(args.end(), options.begin(), options.end());
        Run r;
        r.exitCode = Wait(Spawn(args, "amprecord"));
        r.errLines = Lines(Slurp("amprecord.err"));
        return r;
    }

    std::string Slurp(const std::string& name) const { return child_process::Slurp(m_dir / name); }
    static Texts Lines(const std::string& text)
    {
        Texts lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::vector<WireItem> Wire() const
    {
        std::vector<WireItem> items;
        std::ifstream in(m_dir / "wire.jsonl");
        for (std::string line; std::getline(in, line);) {
            auto j = nlohmann::json::parse(line, nullptr, false);
            if (j.is_discarded() || !j.contains("ep")) continue;
            WireItem item{j["dir"], j["ep"], {}, !j.contains("status")};
            std::istringstream hex(j.value("hex", ""));
            for (std::string b; hex >> b;) item.bytes.push_back(uint8_t(std::stoi(b, nullptr, 16)));
            items.push_back(std::move(item));
        }
        return items;
    }
    // The one-byte commands and the calibration packet's first byte, as the panels' tests write them.
    std::string Commands() const
    {
        std::string text;
        for (const WireItem& w : Wire())
            if (w.dir == "out" && w.ep == "0x01" && !w.bytes.empty())
                text += (text.empty() ? "" : "; ") + std::to_string(w.bytes[0]);
        return text;
    }
    std::vector<std::vector<uint8_t>> StreamPackets() const
    {
        std::vector<std::vector<uint8_t>> packets;
        bool streaming = false;
        for (const WireItem& w : Wire()) {
            if (w.dir == "out" && w.ep == "0x01" && w.bytes == std::vector<uint8_t>{10}) streaming = true;
            if (streaming && w.dir == "in" && w.ep == "0x81" && w.ok && w.bytes.size() == 68)
                packets.push_back(w.bytes);
        }
        return packets;
    }

    // Both readers see the file's samples as the first packets on the wire, value for value.
    void ExpectTheWire(const std::string& file, size_t packets)
    {
        std::vector<std::vector<uint8_t>> wire = StreamPackets();
        ASSERT_LE(packets, wire.size());
        auto value = [&](int c, size_t k) {
            const auto& p = wire[k / 4];
            size_t at = 4 + 2 * (8 * (k % 4) + size_t(c));
            return double(p[at] | p[at + 1] << 8);
        };
        EdfContents edf = ReadWithEdflib(file);
        ASSERT_TRUE(edf.opened);
        ASSERT_EQ(edf.signals, 8);
        GdfContents gdf = ReadWithSave2gdf(file, m_dir.string());
        ASSERT_TRUE(gdf.ran);
        ASSERT_EQ(gdf.values.size(), 8u);
        for (int c = 0; c < 8; ++c) {
            ASSERT_EQ(edf.physical[size_t(c)].size(), 4 * packets);
            ASSERT_EQ(gdf.values[size_t(c)].size(), 4 * packets);
            for (size_t k = 0; k < 4 * packets; ++k) {
                ASSERT_EQ(edf.physical[size_t(c)][k], value(c, k)) << "signal " << c << " sample " << k;
                ASSERT_EQ(gdf.values[size_t(c)][k], value(c, k)) << "signal " << c << " sample " << k;
            }
        }
    }

    fs::path m_dir;
    pid_t m_ampsim = -1;
};

TEST_F(AmprecordE2e, ThreeSecondsAgainstAmpsimMakeAFileBothReadersReadValueForValue)
{
    StartAmpsim();
    std::string file = (m_dir / "rec.edf").string();
    Run r = Amprecord({"--seconds", "3", file});
    EXPECT_EQ(r.exitCode, 0) << Slurp("amprecord.err");
    EXPECT_TRUE(r.errLines.empty()) << Slurp("amprecord.err");  // not a terminal: quiet
    ExpectTheWire(file, 192);
    EdfContents edf = ReadWithEdflib(file);
    EXPECT_EQ(edf.rates, std::vector<double>(8, 256.0));
    EXPECT_EQ(edf.equipment, "Quorvex SN1234 FW23 USB11 DRV1.5.7.0");
    EXPECT_EQ(edf.annotations.back().text, "Stream stop");
    StopAmpsim();
    EXPECT_EQ(Commands(), "1; 21; 9; 3; 10; 10; 11; 2");
}

TEST_F(AmprecordE2e, CtrlCEndsTheRecordingInOrderAndLeavesAValidFile)
{
    StartAmpsim({"--model", "pellion"});
    std::string file = (m_dir / "rec.edf").string();
    pid_t pid = Spawn({AMPRECORD_PATH, "--mode", "test", "--notch", "off", file}, "amprecord");
    // Until the stream has run for a while.
    for (int i = 0; i < 500 && StreamPackets().size() < 100; ++i) std::this_thread::sleep_for(20ms);
    ASSERT_GE(StreamPackets().size(), 100u);
    ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 0) << Slurp("amprecord.err");  // no time was asked for: Ctrl-C is the end

    EdfContents edf = ReadWithEdflib(file);
    ASSERT_TRUE(edf.opened);
    ASSERT_GE(edf.records, 1);
    ExpectTheWire(file, size_t(edf.records) * 64);
    EXPECT_EQ(edf.annotations.back().text, "Stream stop: SIGINT");
    EXPECT_EQ(edf.annotations[2].text, "Mode Test, Mode Test, Notch OFF");
    StopAmpsim();
    EXPECT_EQ(Commands(), "1; 4; 21; 4; 20; 10; 10; 11; 2");
}

TEST_F(AmprecordE2e, TheAmplifierUnpluggedMidWayEndsEarlyWithWhatArrived)
{
    StartAmpsim();
    std::string file = (m_dir / "rec.edf").string();
    pid_t pid = Spawn({AMPRECORD_PATH, "--seconds", "30", file}, "amprecord");
    for (int i = 0; i < 500 && StreamPackets().size() < 150; ++i) std::this_thread::sleep_for(20ms);
    StopAmpsim();
    EXPECT_EQ(Wait(pid), 1);
    Texts err = Lines(Slurp("amprecord.err"));
    ASSERT_EQ(err.size(), 1u) << Slurp("amprecord.err");
    EXPECT_EQ(err[0].rfind("amprecord: the amplifier went away; ", 0), 0u) << err[0];
    EdfContents edf = ReadWithEdflib(file);
    ASSERT_TRUE(edf.opened);
    ASSERT_GE(edf.records, 2);
    ExpectTheWire(file, size_t(edf.records) * 64);
    bool lost = false;
    for (const auto& a : edf.annotations) lost = lost || a.text == "Stream stop: amplifier lost";
    EXPECT_TRUE(lost);
}

TEST_F(AmprecordE2e, BadOptionsAndAMissingAmplifierGiveOneLineAndExitTwo)
{
    std::string file = (m_dir / "rec.edf").string();
    const std::vector<std::vector<std::string>> cases = {
        {file},  // no amplifier
        {"--mode", "sleep", file},
        {"--range", "200", file},
        {"--cal-frequency", "1000", file},
        {"--cal-amplitude", "30", file},
        {"--seconds", "-1", file},
        {"--bogus", file},
        {},
    };
    for (const auto& options : cases) {
        Run r = Amprecord(options);
        std::string shown = options.empty() ? "(none)" : options[0];
        EXPECT_EQ(r.exitCode, 2) << shown;
        ASSERT_EQ(r.errLines.size(), 1u) << shown << ": " << Slurp("amprecord.err");
        EXPECT_EQ(r.errLines[0].rfind("amprecord: ", 0), 0u) << r.errLines[0];
    }
    EXPECT_EQ(Amprecord({file}).errLines, Texts{"amprecord: no amplifier found"});
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(AmprecordE2e, ASwitchTheModelLacksIsRefusedBeforeAnythingIsSent)
{
    StartAmpsim({"--model", "pellion"});
    std::string file = (m_dir / "rec.edf").string();
    Run r = Amprecord({"--channels", "2", file});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errLines, Texts{"amprecord: the Pellion has no channel count switch"});
    r = Amprecord({"--model", "quorvex", file});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errLines, Texts{"amprecord: the connected amplifier is a Pellion, not a Quorvex"});
    StopAmpsim();
    EXPECT_EQ(Commands(), "");
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(AmprecordE2e, HelpAndVersion)
{
    Run r = Amprecord({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Slurp("amprecord.out"), "amprecord 1.1.0\n");
    r = Amprecord({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word :
         {"--seconds", "--mode", "--range", "--channels", "--aux", "--reference", "--notch", "--cal-frequency",
          "--cal-amplitude", "--sample-rate", "--microvolts-per-count", "--model"})
        EXPECT_NE(Slurp("amprecord.out").find(word), std::string::npos) << word;
}

}  // namespace
