#include "panel_fixture.h"

#include "platform/bus/bus.h"

#include <span>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

class PowerSwitch : public StartedPanelTest {};

TEST_F(PowerSwitch, SecondClickPowersOnAgainAndResetsModeAndRange)
{
    CQuorvexDlg& dlg = *m_dlg;
    Click(IDC_POWER);
    EXPECT_EQ(dlg.m_bPowerOn, 0);
    dlg.m_modeSwitch.SetProperty(10, VT_I4, 2);
    dlg.m_rangeSwitch.SetProperty(10, VT_I4, 2);
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "2; 1; 9");
    EXPECT_EQ(Position(dlg.m_modeSwitch), 0);
    EXPECT_EQ(Position(dlg.m_rangeSwitch), 1);
    EXPECT_EQ(dlg.m_modeCode, 4);
    EXPECT_EQ(dlg.m_bPowerOn, 1);
}

TEST_F(PowerSwitch, MouseClicksTurnTheLedOverWithThePower)
{
    ASSERT_TRUE(LedState(m_dlg->m_powerSwitch));
    ClickWithMouse(IDC_POWER);
    EXPECT_EQ(Sequence(), "2");
    EXPECT_FALSE(LedState(m_dlg->m_powerSwitch));
    ClickWithMouse(IDC_POWER);
    EXPECT_EQ(Sequence(), "2; 1; 9");
    EXPECT_TRUE(LedState(m_dlg->m_powerSwitch));
    EXPECT_TRUE(m_boxes->texts().empty());
}

TEST_F(PowerSwitch, RefusedWhileStreaming)
{
    g_streaming.store(1);  // as SCROLL leaves it; no worker is needed to see the refusal
    ClickWithMouse(IDC_POWER);
    g_streaming.store(0);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Stop SCROLL before turning power off."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(m_dlg->m_bPowerOn, 1);
    EXPECT_TRUE(LedState(m_dlg->m_powerSwitch)) << "the power is still on";
}

TEST_F(PowerSwitch, ScrollWithPowerOffIsRefused)
{
    Click(IDC_POWER);
    ClearLog();
    Click(IDC_SCROLL);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Turn POWER ON before starting SCROLL."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), "SCROLL");
    EXPECT_EQ(g_streaming.load(), 0);
}

class SwitchCodes : public StartedPanelTest {};

TEST_F(SwitchCodes, EveryToggleSendsItsCodePair)
{
    struct Case {
        UINT id;
        bool active;
        BYTE code;
    } cases[] = {
        {IDC_CHANNELS, true, 12},  {IDC_CHANNELS, false, 13},  {IDC_AUX, true, 14},   {IDC_AUX, false, 15},
        {IDC_REFERENCE, true, 17}, {IDC_REFERENCE, false, 16}, {IDC_NOTCH, true, 19}, {IDC_NOTCH, false, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "toggle " << c.id << (c.active ? " up" : " down"));
        ClearLog();
        FlipToggle(c.id, c.active);
        EXPECT_EQ(Commands(), std::vector<Bytes>{{c.code}});
    }
}

TEST_F(SwitchCodes, RotaryPositionsSendTheirCodesAndOthersNothing)
{
    struct Case {
        UINT id;
        int position;
        std::vector<Bytes> sent;
    } cases[] = {
        {IDC_MODE, 0, {{4}}},  {IDC_MODE, 1, {{3}}},  {IDC_MODE, 2, {{5}}},
        {IDC_RANGE, 0, {{6}}}, {IDC_RANGE, 1, {{7}}}, {IDC_RANGE, 2, {{8}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotary " << c.id << " at " << c.position);
        ClearLog();
        TurnRotary(c.id, c.position);
        EXPECT_EQ(Commands(), c.sent);
    }
    EXPECT_EQ(m_dlg->m_modeCode, 5);

    // A fourth position, which no template gives either switch: nothing is sent, the mode stays.
    for (UINT id : {IDC_MODE, IDC_RANGE}) {
        SCOPED_TRACE(testing::Message() << "rotary " << id << " at 3");
        m_dlg->GetDlgItem(int(id))->SetProperty(11, VT_BSTR, "a, b, c, d");
        ClearLog();
        TurnRotary(id, 3);
        ASSERT_EQ(Position(id == IDC_MODE ? m_dlg->m_modeSwitch : m_dlg->m_rangeSwitch), 3);
        EXPECT_EQ(Commands(), std::vector<Bytes>{});
    }
    EXPECT_EQ(m_dlg->m_modeCode, 5);
}

TEST_F(SwitchCodes, RangeIsSentWithThePowerOff)
{
    Click(IDC_POWER);
    ClearLog();
    TurnRotary(IDC_RANGE, 2);
    EXPECT_EQ(Sequence(), "8");
}

// An amplifier model that lets the test look at the panel the moment a command arrives.
class WatchedAmplifier : public sim::Amplifier {
public:
    using sim::Amplifier::Amplifier;
    std::function<void(std::span<const uint8_t>)> onCommand;

    void on_out(uint8_t endpoint, std::span<const uint8_t> packet) override
    {
        if (onCommand) onCommand(packet);
        sim::Amplifier::on_out(endpoint, packet);
    }
};

class ImpedanceBarsOnModeChange : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        auto amplifier = std::make_shared<WatchedAmplifier>();
        m_watched = amplifier.get();
        m_amplifier = amplifier.get();
        m_device = amplifier;
        platform::bus::local::plug(m_device);
        OpenPanel();
        ClearLog();
        for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) bar.SetLevel(12.0);
    }
    WatchedAmplifier* m_watched = nullptr;
};

TEST_F(ImpedanceBarsOnModeChange, LeavingZtestEmptiesAllFiveBarsBeforeTheModeIsSent)
{
    TurnRotary(IDC_MODE, 2);
    EXPECT_EQ(Level(m_dlg->m_impedanceBars[0]), 12.0);  // entering Ztest leaves them
    ClearLog();
    // What the bars show when the amplifier receives the mode (the window's own thread sends it).
    std::vector<double> whenSent;
    const auto testThread = std::this_thread::get_id();
    m_watched->onCommand = [&](std::span<const uint8_t> packet) {
        if (packet.size() != 1 || packet[0] != 3 || std::this_thread::get_id() != testThread) return;
        for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) whenSent.push_back(Level(bar));
    };
    TurnRotary(IDC_MODE, 1);
    m_watched->onCommand = nullptr;
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) EXPECT_EQ(Level(bar), 0.0);
    EXPECT_EQ(Sequence(), "3");
    EXPECT_EQ(whenSent, std::vector<double>(5, 0.0));
}

TEST_F(ImpedanceBarsOnModeChange, CalToEegLeavesTheBarsAlone)
{
    TurnRotary(IDC_MODE, 1);
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) EXPECT_EQ(Level(bar), 12.0);
}

}  // namespace
