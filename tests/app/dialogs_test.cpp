#include "panel_fixture.h"

#include "ui/cal_config_dlg.h"

namespace {

using Bytes = std::vector<uint8_t>;
using platform::afx::testing::ActiveModalDialog;
using platform::afx::testing::RunInNextModalLoop;

class CalibrationSettings : public StartedPanelTest {
protected:
    // Opens Configure and runs `act` on the dialog inside its modal loop.
    void Configure(const std::function<void(CCalConfig&)>& act)
    {
        bool ran = false;
        RunInNextModalLoop([&] {
            auto* dlg = dynamic_cast<CCalConfig*>(ActiveModalDialog());
            ASSERT_NE(dlg, nullptr);
            ran = true;
            act(*dlg);
        });
        ClickButton(IDC_CONFIGURE);
        EXPECT_TRUE(ran);
    }
    static double Shown(CCalConfig& dlg)
    {
        double value = -1;
        dlg.m_frequencyDisplay.GetProperty(2, VT_R8, &value);
        return value;
    }
    static void Press(CCalConfig& dlg, UINT key) { platform::afx::testing::RaiseControlEvent(&dlg, key, 5); }
    static void Ok(CCalConfig& dlg) { platform::afx::testing::ClickButton(&dlg, IDOK); }
};

TEST_F(CalibrationSettings, OpensWithTheWindowsSettingsAndCancelChangesNothing)
{
    Configure([&](CCalConfig& dlg) {
        EXPECT_EQ(Shown(dlg), 10.0);
        EXPECT_EQ(dlg.m_amplitudeSwitch.GetPosition(), 6);
        Press(dlg, 1119);
        platform::afx::testing::ClickButton(&dlg, IDCANCEL);
    });
    EXPECT_EQ(m_dlg->m_calFrequency, 10.0);
    EXPECT_EQ(Sequence(), "");
}

TEST_F(CalibrationSettings, StepsPinToTheNearerBound)
{
    struct Case {
        double from;
        UINT key;
        double to;
    } cases[] = {
        {950.0, 1098, 999.99}, {0.01, 1107, 0.01}, {5.0, 1104, 0.01}, {999.99, 1101, 999.99}, {1.0, 1105, 0.01}};
    Configure([&](CCalConfig& dlg) {
        for (const Case& c : cases) {
            dlg.m_frequency = c.from;
            Press(dlg, c.key);
            EXPECT_EQ(dlg.m_frequency, c.to) << c.from << " key " << c.key;
            EXPECT_EQ(Shown(dlg), c.to);
        }
        platform::afx::testing::ClickButton(&dlg, IDCANCEL);
    });
}

TEST_F(CalibrationSettings, OkStoresBothSettingsAndSendsThemAtOnce)
{
    Configure([&](CCalConfig& dlg) {
        Press(dlg, 1108);  // preset 2.00
        Press(dlg, 1100);  // +0.1
        dlg.m_amplitudeSwitch.SetProperty(10, VT_I4, 0);
        Ok(dlg);
    });
    EXPECT_DOUBLE_EQ(m_dlg->m_calFrequency, 2.1);
    EXPECT_EQ(m_dlg->m_calAmplitudeIndex, 0);
    ASSERT_EQ(Commands().size(), 1u);
    // 2.1 Hz: tuning word 2254 (0x08CE); amplitude step 0: code 0.
    EXPECT_EQ(Commands()[0], (Bytes{0x09, 0x30, 0xCE, 0x21, 0x08, 0x32, 0x00, 0x23, 0x00, 0x00}));
    EXPECT_EQ(Caption(m_dlg->m_calFrequencyLabel), "2.10");
    EXPECT_EQ(Caption(m_dlg->m_calAmplitudeLabel), "0");
}

TEST_F(CalibrationSettings, EveryPresetWithAnAmplitudeSendsItsPacketAtOk)
{
    struct Case {
        UINT key;
        int amplitude;  // rotary position
        Bytes packet;
        const char* frequencyShown;
        const char* amplitudeShown;
    } cases[] = {
        {1108, 0, {0x09, 0x30, 0x63, 0x21, 0x08, 0x32, 0x00, 0x23, 0x00, 0x00}, "2.00", "0"},
        {1109, 1, {0x09, 0x30, 0xC6, 0x21, 0x10, 0x32, 0x00, 0x23, 0x00, 0x0D}, "4.00", "5"},
        {1110, 2, {0x09, 0x30, 0x2A, 0x21, 0x19, 0x32, 0x00, 0x23, 0x00, 0x19}, "6.00", "10"},
        {1111, 3, {0x09, 0x30, 0x8D, 0x21, 0x21, 0x32, 0x00, 0x23, 0x00, 0x26}, "8.00", "15"},
        {1116, 4, {0x09, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x32}, "10.00", "20"},
        {1117, 5, {0x09, 0x30, 0x54, 0x21, 0x32, 0x32, 0x00, 0x23, 0x00, 0x3F}, "12.00", "25"},
        {1118, 7, {0x09, 0x30, 0xB8, 0x21, 0x3A, 0x32, 0x00, 0x23, 0x00, 0xC1}, "14.00", "75"},
        {1119, 8, {0x09, 0x30, 0xE2, 0x21, 0x53, 0x32, 0x00, 0x23, 0x00, 0xFF}, "20.00", "100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frequencyShown);
        ClearLog();
        Configure([&](CCalConfig& dlg) {
            Press(dlg, 1098);  // +100 first: the preset replaces whatever is dialled
            Press(dlg, c.key);
            dlg.m_amplitudeSwitch.SetProperty(10, VT_I4, c.amplitude);
            Ok(dlg);
        });
        EXPECT_EQ(Commands(), std::vector<Bytes>{c.packet});
        EXPECT_EQ(Caption(m_dlg->m_calFrequencyLabel), c.frequencyShown);
        EXPECT_EQ(Caption(m_dlg->m_calAmplitudeLabel), c.amplitudeShown);
    }
}

TEST_F(CalibrationSettings, OkWithoutChangesStillResendsThePacket)
{
    Configure([&](CCalConfig& dlg) { Ok(dlg); });
    EXPECT_EQ(Sequence(), "9");
}

class AboutBox : public PanelTest {};

TEST_F(AboutBox, ShowsTheVersionReplyAsTwoDigitsAndTheSerialNumber)
{
    PlugAmplifier({.serial = 0x04D2, .firmware = 12, .usbDriver = 3});
    OpenPanel();
    ClearLog();
    EXPECT_EQ(OpenAboutBox(), (AboutShown{"03", "12", "1234"}));
    EXPECT_EQ(Sequence(), "21");
}

TEST_F(AboutBox, FailedQueryIsRetriedOnceAfter750ms)
{
    PlugAmplifier();
    OpenPanel();
    ClearLog();
    m_amplifier->queue_in(Bytes(68, 'S'));  // taken for the first query's reply
    AboutShown shown = OpenAboutBox();
    EXPECT_EQ(Sequence(), "21; wait 750; 21");
    EXPECT_EQ(shown.firmware, "23");  // the values of the last valid reply
}

TEST_F(AboutBox, BothQueriesFailingShowTheValuesOfTheLastValidReply)
{
    PlugAmplifier({.serial = 0x04D2, .firmware = 12, .usbDriver = 3});
    OpenPanel();
    ClearLog();
    // Neither may count, though both carry other values: 68 bytes not starting with 'c', and
    // 67 that do.
    Bytes noMark(68, 0);
    noMark[0] = 'S';
    noMark[1] = 44;
    noMark[2] = 55;
    noMark[3] = 66;
    noMark[4] = 77;
    Bytes shortReply = noMark;
    shortReply[0] = 'c';
    shortReply.pop_back();
    m_amplifier->queue_in(noMark);
    m_amplifier->queue_in(shortReply);
    EXPECT_EQ(OpenAboutBox(), (AboutShown{"03", "12", "1234"}));
    EXPECT_EQ(Sequence(), "21; wait 750; 21");
    const int kept[4] = {3, 12, 0xD2, 0x04};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m_dlg->m_versionBytes[i], kept[i]) << i;
}

TEST_F(AboutBox, WithThePowerOffOnlyTheMessageIsShown)
{
    PlugAmplifier();
    OpenPanel();
    Click(IDC_POWER);
    ClearLog();
    ClickButton(IDC_ABOUT);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Please turn the POWER on first."});
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(platform::afx::testing::ModalDepth(), 0);
}

}  // namespace
