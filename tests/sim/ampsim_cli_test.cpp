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

    Outcome run(const std::string& args, const std::string& input = "")
    {
        std::ofstream(dir / "in") << input;
        std::string command = "AMP_RUNTIME_DIR='" + dir.string() + "' timeout 20 " AMPSIM_PATH " " +
                              args + " <'" + (dir / "in").string() + "' >'" +
                              (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
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
        EXPECT_NE(r.exitCode, 0) << args;
        ASSERT_EQ(r.errLines.size(), 1u) << args;
        EXPECT_EQ(r.errLines[0].rfind("ampsim: ", 0), 0u) << r.errLines[0];
    }
}

TEST_F(AmpsimCli, HelpListsOptionsAndStandardInputCommands)
{
    Outcome r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"--model", "--product", "--log", "--serial", "--firmware",
                             "--usb-driver", "--rate", "--name", "unplug", "plug", "quit",
                             "impedance CH KOHM", "fault NAME on|off", "no-answer", "garbled"})
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
