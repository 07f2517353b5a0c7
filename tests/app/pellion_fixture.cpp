#include "pellion_fixture.h"

#include "pellion/resources.h"
#include "platform/bus/bus.h"

void PellionTest::SetUp()
{
    PanelTest::SetUp();
    RegisterPellionResources();
}

void PellionTest::TearDown()
{
    if (m_pellion) {
        if (m_pellion->GetSafeHwnd()) m_pellion->DestroyWindow();
        m_pellion.reset();
    }
    PanelTest::TearDown();
}

sim::Amplifier& PellionTest::PlugPellion(sim::AmplifierOptions options)
{
    options.model = sim::Model::pellion;
    return PlugAmplifier(std::move(options));
}

sim::UsbDevice& PellionTest::PlugScriptedPellion()
{
    m_device = std::make_shared<sim::UsbDevice>(sim::amplifier_descriptors(0xA402, "PLLN-2 EEG Amplifier", "PL01234"),
                                                "scripted-pellion");
    platform::bus::local::plug(m_device);
    return *m_device;
}

CPellionDlg& PellionTest::OpenPellion()
{
    m_pellion = std::make_unique<CPellionDlg>();
    m_pellion->Create(IDD_MAIN);
    m_chart = new RecordingChart;
    m_pellion->m_chart = platform::com::ComPtr<IStripChart>(m_chart);
    return *m_pellion;
}

std::vector<uint8_t> BadVersionReply()
{
    return std::vector<uint8_t>(AMP_PACKET_LENGTH, 'S');
}

std::vector<uint8_t> VersionReplyBytes(uint8_t usbDriver, uint8_t firmware, uint8_t serialLow, uint8_t serialHigh)
{
    std::vector<uint8_t> reply(AMP_PACKET_LENGTH, 0);
    reply[0] = 'c';
    reply[1] = usbDriver;
    reply[2] = firmware;
    reply[3] = serialLow;
    reply[4] = serialHigh;
    return reply;
}
