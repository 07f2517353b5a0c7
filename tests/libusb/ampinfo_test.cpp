// ampinfo as a technician runs it, in a child process whose libusb reaches this process's
// umockdev testbed: the simulated amplifier stands in for a unit on the bench.
#include "sim/amplifier.h"
#include "sim/descriptors.h"
#include "sim/usb_device.h"
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
    EXPECT_NE(
        run.output.find("0  libusb  1209:a404  \"QRVX-4 EEG Amplifier\"  \\\\?\\usb#vid_1209&pid_a404#libusb-1-4#"),
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

// A device of ids 1234:5678 with one configuration built by `interface`.
std::shared_ptr<sim::UsbDevice> stranger(const sim::ConfigBuilder& interface)
{
    sim::DescriptorSet set;
    set.device = sim::device_descriptor(sim::DeviceFields{.vendorId = 0x1234, .productId = 0x5678});
    set.configurations = {interface.build()};
    set.strings[0] = sim::language_table({0x0409});
    return std::make_shared<sim::UsbDevice>(std::move(set), "stranger");
}

sim::ConfigBuilder vendor_bulk(uint8_t cls, uint8_t out, uint8_t in, uint8_t type = 2)
{
    sim::ConfigBuilder c;
    c.interface(0, 0, cls).endpoint(out, type).endpoint(in, type);
    return c;
}

constexpr const char* kLookAlikeLine =
    "-  libusb  1234:5678  not in the table: a vendor-specific interface with bulk OUT 0x01 and IN 0x81 at 1-6; "
    "add the line \"1234:5678\" to " AMP_SOURCE_DATA_DIR "/amp-usb-ids\n";

TEST_F(AmpinfoOverLibusb, ListAllShowsALookAlikeAfterTheAmplifiersWithTheLineToAddWithoutOpeningIt)
{
    const std::string ampPath = m_testbed.plug(m_amp, 2, 4);
    const std::string path = m_testbed.plug(stranger(vendor_bulk(0xFF, 0x01, 0x81)), 3, 6);
    const Outcome run = ampinfo("--list --all");
    EXPECT_EQ(run.status, 0) << run.output;
    const size_t amplifier = run.output.find("0  libusb  1209:a404  \"QRVX-4 EEG Amplifier\"");
    const size_t lookAlike = run.output.find(kLookAlikeLine);
    EXPECT_NE(amplifier, std::string::npos) << run.output;
    EXPECT_NE(lookAlike, std::string::npos) << run.output;
    EXPECT_LT(amplifier, lookAlike) << run.output;
    EXPECT_GT(m_testbed.opens(ampPath), 0u) << "the table's unit is opened to read its product string";
    EXPECT_EQ(m_testbed.opens(path), 0u) << "the look-alike's node was opened";
    EXPECT_TRUE(m_testbed.requests(path).empty());
}

TEST_F(AmpinfoOverLibusb, ListAllWithOnlyALookAlikeShowsItAndFindsNoAmplifier)
{
    m_testbed.plug(stranger(vendor_bulk(0xFF, 0x01, 0x81)), 3, 6);
    const Outcome run = ampinfo("--list --all");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(kLookAlikeLine), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ampinfo: no amplifier found"), std::string::npos) << run.output;
}

TEST_F(AmpinfoOverLibusb, ListWithoutAllLeavesTheLookAlikeOut)
{
    m_testbed.plug(m_amp, 2, 4);
    m_testbed.plug(stranger(vendor_bulk(0xFF, 0x01, 0x81)), 3, 6);
    const Outcome run = ampinfo("--list");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("not in the table"), std::string::npos) << run.output;
}

TEST_F(AmpinfoOverLibusb, ListAllLeavesOutDevicesThatDoNotLookLikeAnAmplifier)
{
    struct Case {
        const char* what;
        sim::ConfigBuilder config;
    } cases[] = {
        {"a HID interface with bulk 0x01 and 0x81", vendor_bulk(0x03, 0x01, 0x81)},
        {"a vendor interface with bulk 0x02 and 0x82", vendor_bulk(0xFF, 0x02, 0x82)},
        {"a vendor interface with interrupt 0x01 and 0x81", vendor_bulk(0xFF, 0x01, 0x81, 3)},
        {"a vendor interface with bulk OUT 0x01 only", vendor_bulk(0xFF, 0x01, 0x02)},
    };
    int devnum = 3;
    for (const Case& c : cases) {
        m_testbed.plug(stranger(c.config), devnum, devnum);
        ++devnum;
    }
    const Outcome run = ampinfo("--list --all");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.find("not in the table"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("ampinfo: no amplifier found"), std::string::npos) << run.output;
}

TEST(AmpinfoOptions, AllWithoutListIsRefused)
{
    const Outcome run = ampinfo("--all");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("--all requires --list"), std::string::npos) << run.output;
}

}  // namespace
