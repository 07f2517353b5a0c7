#include "capture_fixture.h"

#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "sim/descriptors.h"

void CaptureTest::SetUp()
{
    static bool once = [] {
        platform::usbdriver::install();
        return true;
    }();
    (void)once;
    ClearCaptureStop();
    m_clock.on_sleep = [this](uint32_t ms) {
        if (m_device) m_device->log().wait(ms);
    };
    platform::win32::install_clock(&m_clock);
    m_session = std::make_unique<CCaptureSession>();
}

void CaptureTest::TearDown()
{
    m_session.reset();
    Unplug();
    platform::win32::install_clock(nullptr);
    ClearCaptureStop();
}

sim::Amplifier& CaptureTest::Plug(sim::AmplifierOptions options)
{
    auto amplifier = std::make_shared<sim::Amplifier>(std::move(options));
    m_amp = amplifier.get();
    m_device = amplifier;
    platform::bus::local::plug(m_device);
    return *amplifier;
}

sim::Amplifier& CaptureTest::PlugPellion(sim::AmplifierOptions options)
{
    options.model = sim::Model::pellion;
    return Plug(std::move(options));
}

sim::UsbDevice& CaptureTest::PlugScripted()
{
    m_device = std::make_shared<sim::UsbDevice>(sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "QX01234"),
                                                "scripted-quorvex");
    std::vector<uint8_t> reply(68, 0);
    reply[0] = 'c';
    reply[1] = 11;
    reply[2] = 23;
    reply[3] = 0xD2;
    reply[4] = 0x04;
    m_device->queue_in(reply);
    platform::bus::local::plug(m_device);
    return *m_device;
}

void CaptureTest::Unplug()
{
    if (m_device) platform::bus::detach(m_device);
}

void CaptureTest::Start(const AmplifierModel* model)
{
    ASSERT_TRUE(m_session->Open(model)) << m_session->LastError();
    ASSERT_TRUE(m_session->PowerOn()) << m_session->LastError();
    m_device->log().clear();
}

std::vector<LoggedPacket> CaptureTest::LoggedPackets() const
{
    std::vector<LoggedPacket> packets;
    bool streaming = false;
    for (const sim::WireEntry& e : m_device->log().entries()) {
        if (e.kind == sim::WireEntry::Kind::out && e.endpoint == 0x01 && e.bytes == std::vector<uint8_t>{10})
            streaming = true;
        if (streaming && e.kind == sim::WireEntry::Kind::in && e.endpoint == 0x81 &&
            e.status == platform::bus::Status::ok && e.bytes.size() == 68)
            packets.push_back({e.bytes, e.t_ms});
    }
    return packets;
}

std::vector<uint8_t> PacketBytes(uint8_t n, const std::vector<uint16_t>& values)
{
    std::vector<uint8_t> packet(68, 0);
    packet[0] = 'S';
    packet[1] = n;
    for (size_t i = 0; i < values.size() && i < 32; ++i) {
        packet[4 + 2 * i] = uint8_t(values[i] & 0xFF);
        packet[5 + 2 * i] = uint8_t(values[i] >> 8);
    }
    return packet;
}
