// Runs the built ampsim as a user would, through the shell.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::vector<std::string> errLines;
};

class AmpsimCli : public ::testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        char pattern[] = "/tmp/ampsim-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static std::string slurp(const std::filesystem::path& p)
    {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    Outcome run(const std::string& args, const std::string& input = "", std::string runtimeDir = "")
    {
        if (runtimeDir.empty()) runtimeDir = dir.string();
        std::ofstream(dir / "in") << input;
        std::string command = "AMP_RUNTIME_DIR='" + runtimeDir + "' timeout 20 " AMPSIM_PATH " " + args + " <'" +
                              (dir / "in").string() + "' >'" + (dir / "out").string() + "' 2>'" +
                              (dir / "err").string() + "'";
        int status = std::system(command.c_str());
        Outcome r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(dir / "out");
        std::istringstream err(slurp(dir / "err"));
        for (std::string line; std::getline(err, line);) r.errLines.push_back(line);
        return r;
    }
};

TEST_F(AmpsimCli, BadOptionsGiveOneLineAndANonZeroExit)
{
    for (std::string args : {"--model foo", "--rate 0", "--serial 70000", "--bogus", "--rate"}) {
        Outcome r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        ASSERT_EQ(r.errLines.size(), 1u) << args;
        EXPECT_EQ(r.errLines[0].rfind("ampsim: ", 0), 0u) << r.errLines[0];
    }
}

TEST_F(AmpsimCli, EachBadValueIsNamedInOneShortLineWithExitTwo)
{
    struct Case {
        std::string args;
        std::string line;
    };
    for (const Case& c :
         {Case{"--rate nan", "ampsim: --rate: 'nan' is not a number from 1 to 100000"},
          Case{"--rate -1", "ampsim: --rate: '-1' is not a number from 1 to 100000"},
          Case{"--rate inf", "ampsim: --rate: 'inf' is not a number from 1 to 100000"},
          Case{"--rate 100001", "ampsim: --rate: '100001' is not a number from 1 to 100000"},
          Case{"--serial 12.5", "ampsim: --serial: '12.5' is not a whole number from 0 to 65535"},
          Case{"--firmware x", "ampsim: --firmware: 'x' is not a whole number from 0 to 255"},
          Case{"--usb-driver 256", "ampsim: --usb-driver: '256' is not a whole number from 0 to 255"},
          Case{"--mains 55", "ampsim: --mains: '55' is not 50 or 60"},
          Case{"--seed -1", "ampsim: --seed: '-1' is not a whole number from 0 to 4294967295"},
          Case{"--product \"$(printf 'QRVX-4 \\377')\"", "ampsim: --product: not valid UTF-8"},
          Case{"--name ../x", "ampsim: --name: a socket name has no '/' and does not start with '.'"},
          Case{"--log /nonexistent/wire.jsonl",
               "ampsim: cannot write the log file /nonexistent/wire.jsonl: No such file or directory"}}) {
        Outcome r = run(c.args, "quit\n");
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_EQ(r.errLines, std::vector<std::string>{c.line}) << c.args;
    }
}

TEST_F(AmpsimCli, ARuntimeFolderThatIsNotAFolderIsNamedWithExitTwo)
{
    Outcome r = run("", "quit\n", "/dev/null");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errLines, std::vector<std::string>{"ampsim: the runtime folder /dev/null is not a folder"});
}

TEST_F(AmpsimCli, ANonAsciiProductInUtf8IsTaken)
{
    Outcome r = run("--product 'QRVX-4 Verstärker Ω'", "quit\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.errLines.empty());
}

TEST_F(AmpsimCli, DefectCommandsAreTakenAndBadOnesNamed)
{
    Outcome r = run("--name defects",
                    "defect gain 3 0.9\ndefect dead 2\ndefect noise 4 5\ndefect stuck 5\ndefect mains 100\n"
                    "defect rate 1\ndefect stall 100\ndefect off\ndefect gain 9 1\ndefect\nquit\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errLines, (std::vector<std::string>{
                              "ampsim: out of range: defect gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)",
                              "ampsim: unknown defect '': gain, dead, noise, stuck, mains, rate, stall or off"}));
}

TEST_F(AmpsimCli, HelpListsOptionsAndStandardInputCommands)
{
    Outcome r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"--model",
                             "--product",
                             "--log",
                             "--serial",
                             "--firmware",
                             "--usb-driver",
                             "--rate",
                             "--name",
                             "unplug",
                             "plug",
                             "quit",
                             "--seed",
                             "impedance CH KOHM",
                             "fault NAME on|off",
                             "no-answer",
                             "garbled",
                             "defect gain CH FACTOR",
                             "defect dead CH",
                             "defect noise CH UV",
                             "defect stuck CH [COUNT]",
                             "defect mains UV",
                             "defect rate PERCENT",
                             "defect stall MS",
                             "defect off"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST_F(AmpsimCli, BadCommandsAreReportedAndQuitEndsCleanly)
{
    Outcome r = run("--model pellion --name cli-test --log '" + (dir / "wire.jsonl").string() + "'",
                    "bogus\nfault loud on\nimpedance 9 3\nfault short on\nunplug\nplug\nquit\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errLines.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(dir / "cli-test.sock"));  // unplugged on the way out
    EXPECT_TRUE(std::filesystem::exists(dir / "wire.jsonl"));
}

}  // namespace
