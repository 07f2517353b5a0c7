#include "panel_fixture.h"

#include "amp/commands.h"

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
    EXPECT_EQ(dlg.m_modeCode, CMD_MODE_CAL);
    EXPECT_EQ(dlg.m_bPowerOn, 1);
}

TEST_F(PowerSwitch, RefusedWhileStreaming)
{
    g_streaming.store(1);  // as SCROLL leaves it; no worker is needed to see the refusal
    Click(IDC_POWER);
    g_streaming.store(0);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Stop SCROLL before turning power off."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(m_dlg->m_bPowerOn, 1);
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
        {IDC_CHANNELS, true, CMD_CHANNELS_4}, {IDC_CHANNELS, false, CMD_CHANNELS_2},
        {IDC_AUX, true, CMD_AUX_ON},          {IDC_AUX, false, CMD_AUX_OFF},
        {IDC_REFERENCE, true, CMD_REF_UNLINK}, {IDC_REFERENCE, false, CMD_REF_LINK},
        {IDC_NOTCH, true, CMD_NOTCH_50HZ},     {IDC_NOTCH, false, CMD_NOTCH_60HZ},
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
        {IDC_MODE, 0, {{CMD_MODE_CAL}}},   {IDC_MODE, 1, {{CMD_MODE_EEG}}},   {IDC_MODE, 2, {{CMD_MODE_ZTEST}}},
        {IDC_RANGE, 0, {{CMD_RANGE_50}}},  {IDC_RANGE, 1, {{CMD_RANGE_100}}}, {IDC_RANGE, 2, {{CMD_RANGE_500}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotary " << c.id << " at " << c.position);
        ClearLog();
        TurnRotary(c.id, c.position);
        EXPECT_EQ(Commands(), c.sent);
    }
    EXPECT_EQ(m_dlg->m_modeCode, CMD_MODE_ZTEST);
}

TEST_F(SwitchCodes, RangeIsSentWithThePowerOff)
{
    Click(IDC_POWER);
    ClearLog();
    TurnRotary(IDC_RANGE, 2);
    EXPECT_EQ(Sequence(), "8");
}

class ImpedanceBarsOnModeChange : public StartedPanelTest {
protected:
    void SetUp() override
    {
        StartedPanelTest::SetUp();
        for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) bar.SetLevel(12.0);
    }
};

TEST_F(ImpedanceBarsOnModeChange, LeavingZtestEmptiesAllFiveBarsBeforeTheModeIsSent)
{
    TurnRotary(IDC_MODE, 2);
    EXPECT_EQ(Level(m_dlg->m_impedanceBars[0]), 12.0);  // entering Ztest leaves them
    ClearLog();
    TurnRotary(IDC_MODE, 1);
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) EXPECT_EQ(Level(bar), 0.0);
    EXPECT_EQ(Sequence(), "3");
}

TEST_F(ImpedanceBarsOnModeChange, CalToEegLeavesTheBarsAlone)
{
    TurnRotary(IDC_MODE, 1);
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) EXPECT_EQ(Level(bar), 12.0);
}

}  // namespace
