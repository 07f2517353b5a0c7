// The whole USB path over real-hardware plumbing: CUsbDevice -> driver -> libusb backend ->
// umockdev -> the simulated amplifier. What the panel does on a real unit, without one.
#include "platform/bus/bus.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "platform/usbdriver/driver.h"
#include "sim/amplifier.h"
#include "tests/libusb/usb_testbed.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

namespace lb = platform::bus::libusb;

std::u16string text(const WCHAR* units)
{
    std::u16string s;
    for (; *units; ++units) s.push_back(char16_t(*units));
    return s;
}

lb::DeviceTable amplifier_table()
{
    lb::DeviceTable table;
    table.add({0x1209, 0xA404, "quorvex"});
    table.add({0x1209, 0xA402, "pellion"});
    return table;
}

class LibusbOpen : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_testbed.plug(m_amp, 2, 4);
        ASSERT_TRUE(lb::start(amplifier_table()));
        platform::usbdriver::install();
    }
    void TearDown() override
    {
        m_usb.Close();
        lb::stop();
    }

    libusb_test::UsbTestbed m_testbed;
    std::shared_ptr<sim::Amplifier> m_amp = std::make_shared<sim::Amplifier>();
    std::string m_path;
    CUsbDevice m_usb{nullptr, platform::usbdriver::kInterfaceClass, false};
};

TEST_F(LibusbOpen, OpenReadsEveryDescriptorThroughLibusb)
{
    ASSERT_EQ(m_usb.DeviceCount(), 1);
    ASSERT_TRUE(m_usb.Open(0));
    EXPECT_NE(std::string(m_usb.devicePath).find("libusb-1-4"), std::string::npos) << m_usb.devicePath;
    EXPECT_EQ(m_usb.vendorId, 0x1209);
    EXPECT_EQ(m_usb.productId, 0xA404);
    EXPECT_EQ(m_usb.languageId, 0x0409);
    EXPECT_EQ(text(m_usb.manufacturerString), u"Tavorin");
    EXPECT_EQ(text(m_usb.productString), u"QRVX-4 EEG Amplifier");
    EXPECT_EQ(m_usb.productString[5], 0x0034);
    EXPECT_EQ(text(m_usb.serialNumberString), u"QX01234");
    ASSERT_NE(m_usb.bulkInEndPoint, nullptr);
    ASSERT_NE(m_usb.bulkOutEndPoint, nullptr);
    EXPECT_EQ(m_usb.bulkInEndPoint->address, 0x81);
    EXPECT_EQ(m_usb.bulkOutEndPoint->address, 0x01);
    EXPECT_EQ(m_usb.interruptInEndPoint, nullptr);
}

// Commands travel one byte a transfer on the bulk OUT endpoint.
bool Send(CUsbDevice& usb, BYTE code)
{
    LONG length = 1;
    return usb.bulkOutEndPoint->TransferData(&code, length) && length == 1;
}

TEST_F(LibusbOpen, VersionQueryOnBulkOutIsAnsweredWith68BytesOnBulkIn)
{
    ASSERT_TRUE(m_usb.Open(0));
    ASSERT_TRUE(Send(m_usb, 1));  // power on
    ASSERT_TRUE(Send(m_usb, 21));
    LONG length = 0;

    BYTE reply[68] = {};
    length = sizeof reply;
    ASSERT_TRUE(m_usb.bulkInEndPoint->TransferData(reply, length));
    EXPECT_EQ(length, 68);
    EXPECT_EQ(reply[0], 'c');
    EXPECT_EQ(std::vector<BYTE>(reply, reply + 68), m_amp->version_reply());
    EXPECT_EQ(m_amp->log().commands(), (std::vector<std::vector<uint8_t>>{{1}, {21}}));
}

TEST_F(LibusbOpen, TimedOutReadIsAbortedAndTheNextReadStillWorks)
{
    ASSERT_TRUE(m_usb.Open(0));
    m_usb.bulkInEndPoint->timeoutMs = 50;
    BYTE room[68];
    LONG length = sizeof room;
    EXPECT_FALSE(m_usb.bulkInEndPoint->TransferData(room, length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(m_amp->pending_reads(), 0u) << "the abort reached the amplifier";

    m_usb.bulkInEndPoint->timeoutMs = 5000;
    ASSERT_TRUE(Send(m_usb, 1));
    ASSERT_TRUE(Send(m_usb, 21));
    length = sizeof room;
    EXPECT_TRUE(m_usb.bulkInEndPoint->TransferData(room, length));
    EXPECT_EQ(length, 68);
}

TEST_F(LibusbOpen, UnplugDuringAPendingReadFailsItAtOnceAndWithdrawsTheInterface)
{
    ASSERT_TRUE(m_usb.Open(0));
    auto read = std::async(std::launch::async, [this] {
        BYTE room[68];
        LONG length = sizeof room;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = m_usb.bulkInEndPoint->TransferData(room, length);
        return std::make_pair(ok, std::chrono::steady_clock::now() - start);
    });
    while (m_testbed.pending_urbs(m_path) == 0) std::this_thread::yield();
    m_testbed.unplug(m_path);
    const auto [ok, took] = read.get();
    EXPECT_FALSE(ok);
    EXPECT_LT(took, std::chrono::seconds(5)) << "not left to the 10 s time limit";
    for (int i = 0; i < 500 && m_usb.DeviceCount() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(m_usb.DeviceCount(), 0);
}

TEST_F(LibusbOpen, ClosingGivesTheInterfaceBack)
{
    ASSERT_TRUE(m_usb.Open(0));
    m_usb.Close();
    const auto requests = m_testbed.requests(m_path);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), "CLAIMINTERFACE");
    EXPECT_EQ(requests.back(), "RELEASEINTERFACE");
}

}  // namespace
