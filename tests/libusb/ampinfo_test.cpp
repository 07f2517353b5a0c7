// ampinfo as a technician runs it, in a child process whose libusb reaches this process's
// umockdev testbed: the simulated amplifier stands in for a unit on the bench.
#include "sim/amplifier.h"
#include "tests/libusb/usb_testbed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // stdout and stderr
};

Outcome ampinfo(const std::string& arguments, const std::string& table = AMP_SOURCE_DATA_DIR "/amp-usb-ids")
{
    ::setenv("AMP_BUS", "libusb", 1);
    ::setenv("AMP_USB_IDS_FILE", table.c_str(), 1);
    ::unsetenv("AMP_USB_IDS");
    Outcome run;
    FILE* out = ::popen((std::string(AMPINFO_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    if (!out) return run;
    char chunk[512];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, out)) run.output.append(chunk, n);
    const int status = ::pclose(out);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class AmpinfoOverLibusb : public ::testing::Test {
protected:
    libusb_test::UsbTestbed m_testbed;
    std::shared_ptr<sim::Amplifier> m_amp = std::make_shared<sim::Amplifier>();
};

TEST_F(AmpinfoOverLibusb, ListShowsTheUnitWithBackendIdsAndProduct)
{
    m_testbed.plug(m_amp, 2, 4);
    const Outcome run = ampinfo("--list");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("0  libusb  1209:a404  \"QRVX-4 EEG Amplifier\"  \\\\?\\usb#vid_1209&pid_a404#libusb-1-4#"),
              std::string::npos)
        << run.output;
}

TEST_F(AmpinfoOverLibusb, DefaultRunOpensTheUnitAndPrintsWhatItRead)
{
    m_testbed.plug(m_amp, 2, 4);
    const Outcome run = ampinfo("");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("product          \"QRVX-4 EEG Amplifier\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("endpoint 0x81 bulk IN, direct"), std::string::npos) << run.output;
}

TEST_F(AmpinfoOverLibusb, UnitOutsideTheTableIsNotListed)
{
    m_testbed.plug(std::make_shared<sim::Amplifier>(sim::AmplifierOptions{.model = sim::Model::pellion}), 2, 4);
    const std::string table = ::testing::TempDir() + "/quorvex-only-ids";
    std::FILE* f = std::fopen(table.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("1209:a404 quorvex\nnot an entry\n", f);
    std::fclose(f);
    const Outcome run = ampinfo("--list", table);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(table + ":2: not a `VID:PID model` line, skipped"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ampinfo: no amplifier found"), std::string::npos) << run.output;
    std::remove(table.c_str());
}

}  // namespace
