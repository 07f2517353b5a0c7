#include "pellion_fixture.h"

#include "amp/link.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

const char* const kNotConnected = "USB Driver failed to open.\n\nPlease verify Pellion is connected.";

// ---- no amplifier: the window stays and every reconnecting click tries again

class PellionMissing : public PellionTest {};

TEST_F(PellionMissing, StartUpShowsOneMessageAndTheWindowStays)
{
    CPellionDlg& dlg = OpenPellion();
    EXPECT_EQ(m_boxes->texts(), Texts{kNotConnected});
    EXPECT_NE(dlg.GetSafeHwnd(), nullptr);
    EXPECT_NE(dlg.m_nModalResult, IDOK);  // Shutdown did not run
    EXPECT_EQ(dlg.m_bDeviceOpen, 0);
    EXPECT_FALSE(LedState(dlg.m_powerSwitch));
}

TEST_F(PellionMissing, EachPowerClickRepeatsTheMessageUntilTheAmplifierIsPluggedIn)
{
    CPellionDlg& dlg = OpenPellion();
    // Each failed attempt must give its device object back (LeakSanitizer watches this).
    // Real clicks: the latching switch lights its LED on the press, and the window darkens it.
    for (int click = 1; click <= 5; ++click) {
        ClickWithMouse(IDC_POWER);
        EXPECT_EQ(m_boxes->texts().size(), size_t(1 + click));
        EXPECT_EQ(m_boxes->texts().back(), kNotConnected);
        EXPECT_EQ(dlg.m_bPowerOn, 0);
        EXPECT_FALSE(LedState(dlg.m_powerSwitch));
    }
    sim::Amplifier& amp = PlugPellion();
    ClickWithMouse(IDC_POWER);
    EXPECT_EQ(m_boxes->texts().size(), 6u);
    EXPECT_EQ(dlg.m_bDeviceOpen, 1);
    EXPECT_EQ(dlg.m_bPowerOn, 1);
    EXPECT_TRUE(LedState(dlg.m_powerSwitch));
    EXPECT_EQ(Sequence(), "1; wait 250; 4; 21");
    EXPECT_TRUE(amp.state().powered);
}

// One case for each handler with a reconnect step; a rotary is turned, a switch clicked.
struct RetryCase {
    const char* name;
    UINT id;
    int position;           // -1: a click
    const char* thenShown;  // what the click shows once the amplifier is there, or null
};

class PellionMissingRetry : public PellionTest, public testing::WithParamInterface<RetryCase> {
protected:
    void Act()
    {
        if (GetParam().position < 0) Click(GetParam().id);
        else TurnRotary(GetParam().id, GetParam().position);
    }
};

TEST_P(PellionMissingRetry, ClickTriesToOpenAgainAndTheAmplifierPluggedInLaterIsUsed)
{
    OpenPellion();
    Act();
    EXPECT_EQ(m_boxes->texts(), (Texts{kNotConnected, kNotConnected}));
    PlugPellion();
    Act();
    Texts expected{kNotConnected, kNotConnected};
    if (GetParam().thenShown) expected.push_back(GetParam().thenShown);
    EXPECT_EQ(m_boxes->texts(), expected);
    EXPECT_EQ(m_pellion->m_bDeviceOpen, 1);
}

INSTANTIATE_TEST_SUITE_P(Clicks, PellionMissingRetry,
                         testing::Values(RetryCase{"Power", IDC_POWER, -1, nullptr},
                                         RetryCase{"Mode", IDC_MODE, 1, nullptr},
                                         RetryCase{"Range", IDC_RANGE, 2, nullptr},
                                         RetryCase{"Scroll", IDC_SCROLL, -1, "Turn POWER ON before starting SCROLL."}),
                         [](const testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

// ---- start-up and identity

class PellionStartUp : public PellionTest {};

TEST_F(PellionStartUp, SendsNothingAndLeavesThePowerOff)
{
    sim::Amplifier& amp = PlugPellion();
    CPellionDlg& dlg = OpenPellion();
    EXPECT_TRUE(m_boxes->texts().empty());
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(dlg.m_bDeviceOpen, 1);
    EXPECT_EQ(dlg.m_bPowerOn, 0);
    EXPECT_FALSE(LedState(dlg.m_powerSwitch));
    EXPECT_FALSE(amp.state().powered);
    EXPECT_EQ(Caption(dlg.m_modelLabel), "Pellion");
}

TEST_F(PellionStartUp, WrongModelDigitEndsTheProgramWithNothingSent)
{
    PlugAmplifier();  // a Quorvex: "4" at unit 5
    m_pellion = std::make_unique<CPellionDlg>();
    EXPECT_EQ(m_pellion->DoModal(), IDOK);
    EXPECT_EQ(m_boxes->texts(), Texts{"Connected device is not an Pellion Amplifier"});
    EXPECT_TRUE(Commands().empty());
}

TEST_F(PellionStartUp, ExitWhenPoweredSendsPowerOffWithNoWaitAfterIt)
{
    PlugPellion();
    CPellionDlg& dlg = OpenPellion();
    Click(IDC_POWER);
    ClearLog();
    ClickButton(IDOK);
    EXPECT_EQ(Sequence(), "2");
    EXPECT_EQ(dlg.m_nModalResult, IDOK);
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

// ---- POWER and the version values

struct PowerOnCase {
    int badReplies;
    const char* sequence;
    bool versionRead;
};

class PellionPowerOn : public PellionTest, public testing::WithParamInterface<PowerOnCase> {};

TEST_P(PellionPowerOn, SendsOnThenTestModeThenQueriesRetryingOnceOnABadReply)
{
    const PowerOnCase& c = GetParam();
    sim::UsbDevice& device = PlugScriptedPellion();
    for (int i = 0; i < c.badReplies; ++i) device.queue_in(BadVersionReply());
    device.queue_in(VersionReplyBytes(11, 23, 0xD2, 0x04));
    CPellionDlg& dlg = OpenPellion();
    TurnRotary(IDC_MODE, 2);
    TurnRotary(IDC_RANGE, 0);
    ClearLog();

    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), c.sequence);
    EXPECT_EQ(Position(dlg.m_modeSwitch), 0);
    EXPECT_EQ(Position(dlg.m_rangeSwitch), 1);
    EXPECT_EQ(dlg.m_modeCode, 4);
    const int read[4] = {11, 23, 0xD2, 0x04};
    const int start[4] = {1, 1, 0, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.m_versionBytes[i], c.versionRead ? read[i] : start[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(BadReplies, PellionPowerOn,
                         testing::Values(PowerOnCase{0, "1; wait 250; 4; 21", true},
                                         PowerOnCase{1, "1; wait 250; 4; 21; wait 500; 21", true},
                                         PowerOnCase{2, "1; wait 250; 4; 21; wait 500; 21", false}));

class PellionPower : public PellionTest {
protected:
    // Power on against a Pellion that answers neither version query.
    void PowerOnWithoutReplies()
    {
        m_device->queue_in(BadVersionReply());
        m_device->queue_in(BadVersionReply());
        Click(IDC_POWER);
    }
};

TEST_F(PellionPower, OffWaitsThenSendsTwoAndZeroesTheVersions)
{
    PlugPellion();
    CPellionDlg& dlg = OpenPellion();
    ClickWithMouse(IDC_POWER);
    EXPECT_TRUE(LedState(dlg.m_powerSwitch));
    ClearLog();
    ClickWithMouse(IDC_POWER);
    EXPECT_FALSE(LedState(dlg.m_powerSwitch));
    EXPECT_EQ(Sequence(), "wait 100; 2");
    EXPECT_EQ(dlg.m_bPowerOn, 0);
    for (int b : dlg.m_versionBytes) EXPECT_EQ(b, 0);
    EXPECT_FALSE(m_amplifier->state().powered);
}

TEST_F(PellionPower, AboutShowsTheStoredValuesWithoutAskingTheAmplifier)
{
    PlugPellion({.serial = 1234, .firmware = 12, .usbDriver = 3});
    OpenPellion();
    Click(IDC_POWER);
    ClearLog();
    EXPECT_EQ(OpenAboutBox(), (AboutShown{"03", "12", "1234"}));
    EXPECT_EQ(Sequence(), "");
}

TEST_F(PellionPower, AboutAfterFailedQueriesShowsTheStartValuesUntilTheFirstPowerOff)
{
    PlugScriptedPellion();
    OpenPellion();
    PowerOnWithoutReplies();
    EXPECT_EQ(OpenAboutBox(), (AboutShown{"01", "01", "0"}));

    Click(IDC_POWER);
    PowerOnWithoutReplies();
    EXPECT_EQ(OpenAboutBox(), (AboutShown{"00", "00", "0"}));
}

TEST_F(PellionPower, AboutWithThePowerOffShowsOnlyTheMessage)
{
    PlugPellion();
    OpenPellion();
    ClickButton(IDC_ABOUT);
    EXPECT_EQ(m_boxes->texts(), Texts{"Please turn the POWER on first."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(platform::afx::testing::ModalDepth(), 0);
}

// ---- switches

class PellionSwitches : public PellionTest {
protected:
    void SetUp() override
    {
        PellionTest::SetUp();
        PlugPellion();
        OpenPellion();
    }
    // The Notch Filter answers the rotary's Change event, the other two rotaries PositionChange.
    void TurnNotch(int position)
    {
        m_pellion->m_notchSwitch.SetProperty(10, VT_I4, position);
        RaiseEvent(IDC_NOTCH_SWITCH, 1);
    }
    void SetAllBars(double level)
    {
        for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) m_pellion->m_impedanceBars[k].SetLevel(level);
    }
    void ExpectAllBars(double level)
    {
        for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), level) << k;
    }
};

struct RotaryCase {
    UINT id;
    int position;
    BYTE code;
};

class PellionRotaries : public PellionSwitches, public testing::WithParamInterface<RotaryCase> {};

TEST_P(PellionRotaries, EachPositionSendsItsCode)
{
    const RotaryCase& c = GetParam();
    ClearLog();
    if (c.id == IDC_NOTCH_SWITCH) TurnNotch(c.position);
    else TurnRotary(c.id, c.position);
    EXPECT_EQ(Commands(), std::vector<Bytes>{Bytes{c.code}});
}

INSTANTIATE_TEST_SUITE_P(Positions, PellionRotaries,
                         testing::Values(RotaryCase{IDC_NOTCH_SWITCH, 0, 18}, RotaryCase{IDC_NOTCH_SWITCH, 1, 19},
                                         RotaryCase{IDC_NOTCH_SWITCH, 2, 20}, RotaryCase{IDC_MODE, 0, 4},
                                         RotaryCase{IDC_MODE, 1, 3}, RotaryCase{IDC_MODE, 2, 5},
                                         RotaryCase{IDC_RANGE, 0, 6}, RotaryCase{IDC_RANGE, 1, 7},
                                         RotaryCase{IDC_RANGE, 2, 8}));

TEST_F(PellionSwitches, AuxUpSendsFourteenAndDownFifteen)
{
    ClearLog();
    FlipToggle(IDC_AUX, true);
    FlipToggle(IDC_AUX, false);
    EXPECT_EQ(Sequence(), "14; 15");
}

TEST_F(PellionSwitches, EveryModeTurnEmptiesAllFourBarsZtestToo)
{
    for (int position : {2, 1, 0, 2}) {
        SetAllBars(12.0);
        TurnRotary(IDC_MODE, position);
        ExpectAllBars(0.0);
    }
    EXPECT_EQ(m_pellion->m_modeCode, 5);
}

TEST_F(PellionSwitches, RepaintStepWithTheChartMarkedBusyStillGoesOn)
{
    // g_chartBusy is cleared only by this thread: the repaint step must not wait for it for ever.
    g_streaming.store(1);
    g_chartBusy.store(1);
    ClearLog();
    TurnNotch(1);
    FlipToggle(IDC_AUX, true);
    m_pellion->SendMessage(WM_PAINT);
    g_chartBusy.store(0);
    g_streaming.store(0);
    EXPECT_EQ(Sequence(), "19; 14");
}

}  // namespace
