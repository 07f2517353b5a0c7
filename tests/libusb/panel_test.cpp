// The Quorvex panel against a unit "on the bench": the real window, the real driver and the
// libusb backend, with the simulated amplifier behind a umockdev testbed in place of hardware.
#include "../app/panel_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/commands.h"
#include "amp/link.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "sim/descriptors.h"
#include "tests/libusb/usb_testbed.h"

namespace {

namespace lb = platform::bus::libusb;

class QuorvexOverLibusb : public PanelTest {
protected:
    void PlugOverLibusb(std::shared_ptr<sim::UsbDevice> device)
    {
        m_device = device;
        m_testbed.plug(device, 2, 4);
        lb::DeviceTable table;
        table.add({0x1209, 0xA404, "quorvex"});
        ASSERT_TRUE(lb::start(table));
    }
    void TearDown() override
    {
        PanelTest::TearDown();
        lb::stop();
    }

    libusb_test::UsbTestbed m_testbed;  // before libusb starts
};

TEST_F(QuorvexOverLibusb, StartUpPowersOnReadsTheVersionAndCalibrates)
{
    auto amp = std::make_shared<sim::Amplifier>();
    m_amplifier = amp.get();
    PlugOverLibusb(amp);
    CQuorvexDlg& dlg = OpenPanel();

    EXPECT_EQ(Sequence(), "1; wait 750; 21; wait 200; 9");
    EXPECT_TRUE(m_boxes->texts().empty());
    EXPECT_TRUE(LedState(dlg.m_powerSwitch));
    EXPECT_EQ(dlg.m_versionBytes[0], 11);
    EXPECT_EQ(dlg.m_versionBytes[1], 23);
    EXPECT_TRUE(amp->state().powered);
}

TEST_F(QuorvexOverLibusb, ScrollDrawsThePacketsTheUnitSends)
{
    auto device = std::make_shared<sim::UsbDevice>(
        sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "QX01234"), "scripted-quorvex");
    std::vector<uint8_t> reply(AMP_PACKET_LENGTH, 0);
    reply[0] = 'c';
    device->queue_in(reply);
    PlugOverLibusb(device);
    OpenPanel();
    ClearLog();

    Click(IDC_SCROLL);
    PumpUntil([&] { return Commands().size() >= 2; });
    FeedPackets(0, 3);
    Click(IDC_SCROLL);
    m_device->queue_in(SamplePacketBytes(uint16_t(0)));
    PumpUntil([&] { return !StreamWorkerAlive(); });
    Pump();

    EXPECT_EQ(Sequence({.reads = true}), "10; 10; in 68 x4; 11");
    ASSERT_GE(m_chart->PacketsDrawn(), 3u);  // the packet that lets the worker leave may be drawn too
    EXPECT_EQ(m_chart->columns[4].values.size(), 7u);
}

}  // namespace
