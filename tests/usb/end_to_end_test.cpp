// The library over the real driver and a device model on the local bus.
#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "sim/descriptors.h"
#include "sim/usb_device.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <thread>

namespace {

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { platform::usbdriver::install(); }

    void SetUp() override
    {
        m_model = std::make_shared<sim::UsbDevice>(sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "0042"),
                                                   "usb-e2e");
        platform::bus::local::plug(m_model);
        ASSERT_TRUE(m_device.Open(0));
    }
    void TearDown() override
    {
        m_device.Close();
        platform::bus::detach(m_model);
    }

    std::shared_ptr<sim::UsbDevice> m_model;
    CUsbDevice m_device{nullptr, platform::usbdriver::kInterfaceClass, false};
};

}  // namespace

TEST_F(EndToEnd, OpensTheAmplifierAndMovesPacketsBothWays)
{
    EXPECT_EQ(m_device.productString[5], u'4');
    EXPECT_EQ(m_device.languageId, 0x0409);
    EXPECT_EQ(m_device.driverVersion, platform::usbdriver::kDriverVersion);
    ASSERT_NE(m_device.bulkOutEndPoint, nullptr);
    ASSERT_NE(m_device.bulkInEndPoint, nullptr);
    EXPECT_EQ(m_device.bulkInEndPoint->address, 0x81);
    EXPECT_EQ(m_device.bulkInEndPoint->directMode, 1u);

    BYTE command = 21;
    LONG length = 1;
    EXPECT_TRUE(m_device.bulkOutEndPoint->TransferData(&command, length));
    EXPECT_EQ(length, 1);
    EXPECT_EQ(m_model->log().commands(), (std::vector<std::vector<uint8_t>>{{21}}));

    std::vector<uint8_t> packet(68);
    for (size_t i = 0; i < packet.size(); ++i) packet[i] = uint8_t(3 * i);
    m_model->queue_in(packet);
    std::array<BYTE, 68> buffer{};
    length = 68;
    EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 68);
    EXPECT_TRUE(std::equal(packet.begin(), packet.end(), buffer.begin()));
}

TEST_F(EndToEnd, OldDriverVersionStillDeliversThroughTheRecord)
{
    m_model->set_driver_version(0x01050400);
    ASSERT_TRUE(m_device.Open(0));
    ASSERT_EQ(m_device.bulkInEndPoint->directMode, 0u);
    std::vector<uint8_t> packet(68, 0x5C);
    m_model->queue_in(packet);
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 68);
    EXPECT_EQ(buffer[67], 0x5C);
}

TEST_F(EndToEnd, UnplugDuringAPendingReadEndsItAsFailed)
{
    CBulkEndPoint* in = m_device.bulkInEndPoint;
    ASSERT_NE(in, nullptr);
    auto read = std::async(std::launch::async, [in] {
        std::array<BYTE, 68> buffer{};
        LONG length = 68;
        bool ok = in->TransferData(buffer.data(), length);
        return std::pair{ok, length};
    });
    while (m_model->pending_reads() == 0) std::this_thread::yield();
    platform::bus::detach(m_model);
    auto [ok, length] = read.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(length, 0);
    EXPECT_NE(in->status1, 0u);
    // The handle stays ours to close; nothing raises.
    EXPECT_NO_THROW(m_device.Close());
    EXPECT_EQ(m_device.DeviceCount(), 0);
}

TEST_F(EndToEnd, TimeoutOnASilentDeviceAbortsAndCompletes)
{
    m_device.bulkInEndPoint->timeoutMs = 20;
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_FALSE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(m_model->pending_reads(), 0u);
}
