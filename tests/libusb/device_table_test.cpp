// The device table: which ids count as amplifiers, and how bad entries are reported.
#include "platform/bus/libusb/device_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace lb = platform::bus::libusb;

TEST(UsbIdParse, AcceptsOnlyFourHexDigitsEachSide)
{
    struct Case {
        const char* text;
        bool ok;
        uint16_t vendor, product;
    };
    const Case cases[] = {
        {"1209:a404", true, 0x1209, 0xA404},
        {"ABCD:00ff", true, 0xABCD, 0x00FF},
        {"1209:a40", false, 0, 0},
        {"0x1209:a404", false, 0, 0},
        {"1209a404", false, 0, 0},
        {"1209:a404:1", false, 0, 0},
        {"12g9:a404", false, 0, 0},
        {":", false, 0, 0},
        {"", false, 0, 0},
        {"12 9:a404", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto id = lb::parse_usb_id(c.text);
        EXPECT_EQ(id.has_value(), c.ok) << c.text;
        if (id && c.ok) {
            EXPECT_EQ(id->vendor, c.vendor) << c.text;
            EXPECT_EQ(id->product, c.product) << c.text;
        }
    }
}

TEST(DeviceTableLines, MalformedLinesAreReportedWithTheirNumberAndSkipped)
{
    std::istringstream in("# amplifiers\n"
                          "1209:a404 quorvex\n"
                          "\n"
                          "1209:a402   pellion   # second model\n"
                          "1209-a403 broken\n"
                          "dead:beef\n"
                          "1111:2222 one two\n");
    std::ostringstream err;
    lb::DeviceTable table;
    table.add_lines(in, "amp-usb-ids", err);

    ASSERT_EQ(table.ids().size(), 3u);
    EXPECT_EQ(table.find(0x1209, 0xA404)->model, "quorvex");
    EXPECT_EQ(table.find(0x1209, 0xA402)->model, "pellion");
    EXPECT_EQ(table.find(0xDEAD, 0xBEEF)->model, "");
    EXPECT_FALSE(table.contains(0x1209, 0xA403));
    EXPECT_FALSE(table.contains(0x1111, 0x2222));
    EXPECT_EQ(err.str(), "amp-usb-ids:5: not a `VID:PID model` line, skipped: 1209-a403 broken\n"
                         "amp-usb-ids:7: not a `VID:PID model` line, skipped: 1111:2222 one two\n");
}

TEST(DeviceTableLines, EnvironmentListSkipsBadEntriesAndKeepsTheRest)
{
    std::ostringstream err;
    lb::DeviceTable table;
    table.add_list("1234:5678, nonsense ,abcd:ef01,", "AMP_USB_IDS", err);
    EXPECT_TRUE(table.contains(0x1234, 0x5678));
    EXPECT_TRUE(table.contains(0xABCD, 0xEF01));
    EXPECT_EQ(table.ids().size(), 2u);
    EXPECT_EQ(err.str(), "AMP_USB_IDS: entry 2 is not VID:PID, skipped: nonsense\n");
}

TEST(DeviceTableLines, DuplicatesCountOnce)
{
    std::ostringstream err;
    lb::DeviceTable table;
    table.add_list("1234:5678,1234:5678", "AMP_USB_IDS", err);
    table.add({0x1234, 0x5678, "later"});
    EXPECT_EQ(table.ids().size(), 1u);
}

TEST(DeviceTableLoad, InstalledFilePlusEnvironment)
{
    const auto path = std::filesystem::temp_directory_path() / ("amp-usb-ids-" + std::to_string(::getpid()));
    std::ofstream(path) << "1209:a404 quorvex\nbad line here\n";
    ::setenv("AMP_USB_IDS_FILE", path.c_str(), 1);
    ::setenv("AMP_USB_IDS", "4242:0001", 1);
    std::ostringstream err;
    const auto table = lb::load_device_table(err);
    ::unsetenv("AMP_USB_IDS_FILE");
    ::unsetenv("AMP_USB_IDS");
    std::filesystem::remove(path);

    EXPECT_TRUE(table.contains(0x1209, 0xA404));
    EXPECT_TRUE(table.contains(0x4242, 0x0001));
    EXPECT_EQ(err.str(), path.string() + ":2: not a `VID:PID model` line, skipped: bad line here\n");
}

TEST(DeviceTableLoad, ShippedTableListsBothModels)
{
    ::unsetenv("AMP_USB_IDS_FILE");
    std::ostringstream err;
    const auto table = lb::load_device_table(err);
    EXPECT_TRUE(err.str().empty()) << err.str();
    ASSERT_EQ(table.ids().size(), 2u);
    EXPECT_EQ(table.ids()[0].model, "quorvex");
    EXPECT_EQ(table.ids()[1].model, "pellion");
}

TEST(DeviceTableLoad, MissingFileIsReportedAndEnvironmentStillCounts)
{
    ::setenv("AMP_USB_IDS_FILE", "/nonexistent/amp-usb-ids", 1);
    ::setenv("AMP_USB_IDS", "4242:0001", 1);
    std::ostringstream err;
    const auto table = lb::load_device_table(err);
    ::unsetenv("AMP_USB_IDS_FILE");
    ::unsetenv("AMP_USB_IDS");
    EXPECT_TRUE(table.contains(0x4242, 0x0001));
    EXPECT_NE(err.str().find("/nonexistent/amp-usb-ids"), std::string::npos);
}

}  // namespace
