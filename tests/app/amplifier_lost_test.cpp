// An amplifier that goes away (unplugged, its simulator ended) and comes back: the window shows it
// closed and unpowered, and the next click opens it again with the usual sequences.
#include "pellion_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/commands.h"
#include "amp/link.h"
#include "platform/bus/bus.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char* const kQuorvexMissing = "USB Driver failed to open.\n\nPlease verify Quorvex is connected.";
const char* const kPellionMissing = "USB Driver failed to open.\n\nPlease verify Pellion is connected.";

// An amplifier whose transfers start answering "no device" while it stays on the bus: only the
// transfers tell the window, no device notice does.
class VanishingAmplifier : public sim::Amplifier {
public:
    using sim::Amplifier::Amplifier;
    using sim::UsbDevice::set_gone;
};

class AmplifierLost : public StartedPanelTest {
protected:
    void Unplug() { platform::bus::detach(m_device); }

    // The window has taken the amplifier for gone: worker ended, POWER dark.
    void PumpUntilClosed()
    {
        PumpUntil([&] { return !StreamWorkerAlive() && m_dlg->m_bDeviceOpen == 0; });
        Pump();
    }

    void ExpectClosedAndUnpowered(bool wasStreaming)
    {
        EXPECT_EQ(m_dlg->m_bDeviceOpen, 0);
        EXPECT_EQ(m_dlg->m_bPowerOn, 0);
        EXPECT_FALSE(LedState(m_dlg->m_powerSwitch));
        if (wasStreaming) {
            EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), "SCROLL");
            EXPECT_TRUE(LedState(m_dlg->m_scrollSwitch));
        }
        EXPECT_EQ(g_streaming.load(), 0);
        EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(m_boxes->texts().empty());
    }

    void StartDrawing()
    {
        size_t drawn = m_chart->PacketsDrawn();
        Click(IDC_SCROLL);
        PumpUntil([&] { return m_chart->PacketsDrawn() >= drawn + 4; });
    }
};

TEST_F(AmplifierLost, UnplugWhileStreamingThenPlugInAgainStreamsAgain)
{
    StartDrawing();
    Unplug();
    PumpUntilClosed();
    ExpectClosedAndUnpowered(true);

    PlugAmplifier();
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "1; 9");
    EXPECT_EQ(m_dlg->m_bPowerOn, 1);
    StartDrawing();
    EXPECT_EQ(Sequence(), "1; 9; 10; 10");
    EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), " STOP");
    EXPECT_TRUE(m_amplifier->state().streaming);
}

TEST_F(AmplifierLost, UnplugWhileIdleThenScrollOpensAgainAndAsksForPower)
{
    Unplug();
    PumpUntilClosed();
    ExpectClosedAndUnpowered(false);

    PlugAmplifier();
    Click(IDC_SCROLL);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Turn POWER ON before starting SCROLL."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(m_dlg->m_bDeviceOpen, 1);
}

TEST_F(AmplifierLost, AClickWithTheAmplifierStillMissingShowsTheMessage)
{
    Unplug();
    PumpUntilClosed();
    TurnRotary(IDC_RANGE, 2);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{kQuorvexMissing});
    EXPECT_EQ(Sequence(), "") << "nothing reached the old amplifier";
    EXPECT_EQ(m_dlg->m_nModalResult, IDOK) << "a failed reconnect ends the Quorvex program";
}

// The window after start-up against an amplifier that can stop answering "no device".
class AmplifierVanishes : public AmplifierLost {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_vanishing = std::make_shared<VanishingAmplifier>();
        m_device = m_vanishing;
        m_amplifier = m_vanishing.get();
        platform::bus::local::plug(m_device);
        OpenPanel();
        ClearLog();
    }
    std::shared_ptr<VanishingAmplifier> m_vanishing;
};

TEST_F(AmplifierVanishes, TransfersThatFindNoDeviceCloseItWithoutANotice)
{
    StartDrawing();
    m_vanishing->set_gone(true);
    PumpUntilClosed();
    ExpectClosedAndUnpowered(true);

    m_vanishing->set_gone(false);
    ClearLog();
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "1; 9");
    EXPECT_EQ(m_dlg->m_bPowerOn, 1);
}

// Start-up's first wait after power-on is where the amplifier goes.
class AmplifierLostAtStartUp : public PanelTest {};

TEST_F(AmplifierLostAtStartUp, UnplugDuringThePowerOnWaitStopsStartUpAndShowsItClosed)
{
    PlugAmplifier();
    m_clock.on_sleep = [this](uint32_t ms) {
        m_device->log().wait(ms);
        if (ms == 750) platform::bus::detach(m_device);
    };
    OpenPanel();
    EXPECT_EQ(Sequence(), "1; wait 750");
    Pump();
    EXPECT_EQ(m_dlg->m_bDeviceOpen, 0);
    EXPECT_EQ(m_dlg->m_bPowerOn, 0);
    EXPECT_FALSE(LedState(m_dlg->m_powerSwitch));
    EXPECT_TRUE(m_boxes->texts().empty());

    m_clock.on_sleep = [this](uint32_t ms) { m_device->log().wait(ms); };
    PlugAmplifier();
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "1; 9");
    EXPECT_TRUE(m_amplifier->state().powered);
}

class PellionLost : public PellionTest {
protected:
    void SetUp() override
    {
        PellionTest::SetUp();
        PlugPellion();
        OpenPellion();
        Click(IDC_POWER);
        m_pellion->m_powerSwitch.SetLedState(TRUE);  // as the pressed switch shows it
        ClearLog();
    }
};

TEST_F(PellionLost, UnplugWhileStreamingThenPowerOpensAgainAndStreams)
{
    Click(IDC_SCROLL);
    PumpUntil([&] { return m_chart->PacketsDrawn() >= 4; });
    platform::bus::detach(m_device);
    PumpUntil([&] { return !StreamWorkerAlive() && m_pellion->m_bDeviceOpen == 0; });
    Pump();
    EXPECT_EQ(m_pellion->m_bPowerOn, 0);
    EXPECT_FALSE(LedState(m_pellion->m_powerSwitch));
    EXPECT_EQ(Caption(m_pellion->m_scrollSwitch), "SCROLL");
    EXPECT_TRUE(LedState(m_pellion->m_scrollSwitch));
    for (int b : m_pellion->m_versionBytes) EXPECT_EQ(b, 0) << "the values of an amplifier that lost its power";
    ClickButton(IDC_ABOUT);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Please turn the POWER on first."});

    PlugPellion();
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "1; wait 250; 4; 21");
    EXPECT_EQ(m_pellion->m_versionBytes[1], 23);
    Click(IDC_SCROLL);
    PumpUntil([&] { return Commands().size() >= 5; });
    EXPECT_EQ(Sequence(), "1; wait 250; 4; 21; 10; 10");
    Click(IDC_SCROLL);
    PumpUntil([&] { return !StreamWorkerAlive(); });
}

TEST_F(PellionLost, PowerWithTheAmplifierStillMissingShowsTheMessageAndTheWindowStays)
{
    platform::bus::detach(m_device);
    PumpUntil([&] { return m_pellion->m_bDeviceOpen == 0; });
    Click(IDC_POWER);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{kPellionMissing});
    EXPECT_FALSE(LedState(m_pellion->m_powerSwitch));
    EXPECT_NE(m_pellion->m_nModalResult, IDOK);
}

}  // namespace
