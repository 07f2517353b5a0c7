#include "panel_fixture.h"

#include "amp/link.h"
#include "platform/instruments/rotary_switch.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kDefaultCalibration = {0x09, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x7E};

// A reply the window must not take: alternately 67 bytes that start with 'c' and 68 that do not.
Bytes BadReply(int n)
{
    Bytes reply(AMP_PACKET_LENGTH, 0);
    reply[0] = 'c';
    if (n % 2 == 0) reply.pop_back();
    else reply[0] = 'S';
    return reply;
}

struct StartUpCase {
    int failedQueries;
    const char* sequence;
    bool versionRead;
};

class StartUp : public PanelTest, public testing::WithParamInterface<StartUpCase> {};

TEST_P(StartUp, PowersOnQueriesAsOftenAsNeededAndSendsTheCalibration)
{
    const StartUpCase& c = GetParam();
    sim::Amplifier& amp = PlugAmplifier();
    for (int i = 0; i < c.failedQueries; ++i) amp.queue_in(BadReply(i));
    CQuorvexDlg& dlg = OpenPanel();

    EXPECT_EQ(Sequence(), c.sequence);
    EXPECT_EQ(Commands().back(), kDefaultCalibration);
    EXPECT_TRUE(m_boxes->texts().empty());
    EXPECT_TRUE(LedState(dlg.m_powerSwitch));
    EXPECT_EQ(Caption(dlg.m_calFrequencyLabel), "10.00");
    EXPECT_EQ(Caption(dlg.m_calAmplitudeLabel), "50");
    const int expected[4] = {11, 23, 1234 & 0xFF, 1234 >> 8};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.m_versionBytes[i], c.versionRead ? expected[i] : 0) << i;
    EXPECT_TRUE(amp.state().powered);
}

INSTANTIATE_TEST_SUITE_P(
    FailedVersionQueries, StartUp,
    testing::Values(StartUpCase{0, "1; wait 750; 21; wait 200; 9", true},
                    // After the first failure only the third query counts.
                    StartUpCase{1, "1; wait 750; 21; wait 500; 21; 21; wait 200; 9", true},
                    StartUpCase{2, "1; wait 750; 21; wait 500; 21; 21; wait 200; 9", true},
                    StartUpCase{3, "1; wait 750; 21; wait 500; 21; 21; wait 500; 21; wait 200; 9", true},
                    StartUpCase{4, "1; wait 750; 21; wait 500; 21; 21; wait 500; 21; wait 200; 9", false}));

class Identification : public PanelTest {};

TEST_F(Identification, NoAmplifierShowsOneMessageAndEndsTheProgram)
{
    m_dlg = std::make_unique<CQuorvexDlg>();
    EXPECT_EQ(m_dlg->DoModal(), IDOK);  // ends inside OnInitDialog: the modal loop never runs
    EXPECT_EQ(m_boxes->texts(),
              std::vector<std::string>{"USB Driver failed to open.\n\nPlease verify Quorvex is connected."});
    EXPECT_EQ(m_dlg->m_bDeviceOpen, 0);
    EXPECT_EQ(m_dlg->m_bPowerOn, 0);
}

TEST_F(Identification, AnotherModelIsRefusedAndNothingIsSentToIt)
{
    sim::AmplifierOptions pellion;
    pellion.model = sim::Model::pellion;
    PlugAmplifier(pellion);
    m_dlg = std::make_unique<CQuorvexDlg>();
    EXPECT_EQ(m_dlg->DoModal(), IDOK);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Connected device is not an Quorvex Amplifier"});
    EXPECT_TRUE(Commands().empty());
}

TEST_F(Identification, TheDigitAtUnitFiveIsAllThatCounts)
{
    sim::AmplifierOptions other;
    other.product = "ABCDE4 anything";
    PlugAmplifier(other);
    OpenPanel();
    EXPECT_TRUE(m_boxes->texts().empty());
    EXPECT_EQ(Commands().front(), Bytes{1});
}

TEST_F(Identification, DeviceWithoutBulkPipesIsRefusedNotUsed)
{
    sim::DescriptorSet set = sim::amplifier_descriptors(0xA404, "QRVX-4 EEG Amplifier", "QX01234");
    set.configurations[0] = sim::ConfigBuilder().interface(0, 0).endpoint(0x83, 3, 8, 1).build();
    PlugScripted(set);
    m_dlg = std::make_unique<CQuorvexDlg>();
    EXPECT_EQ(m_dlg->DoModal(), IDOK);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Connected device is not an Quorvex Amplifier"});
    EXPECT_TRUE(Commands().empty());
}

class Ending : public StartedPanelTest {};

TEST_F(Ending, ExitPowersOffWaitsAndClosesTheDevice)
{
    ClickButton(IDOK);
    EXPECT_EQ(Sequence(), "2; wait 500");
    EXPECT_EQ(m_dlg->m_nModalResult, IDOK);
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

TEST_F(Ending, ExitWithPowerOffSendsNothing)
{
    Click(IDC_POWER);
    ClearLog();
    ClickButton(IDOK);
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

TEST_F(Ending, EscEndsTheDialogWithoutShutdown)
{
    platform::afx::testing::PressKey(m_dlg.get(), VK_ESCAPE);
    Pump();
    EXPECT_EQ(m_dlg->m_nModalResult, IDCANCEL);
    EXPECT_EQ(Sequence(), "");
    EXPECT_NE(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

class Painting : public StartedPanelTest {};

TEST_F(Painting, MinimisedWindowDrawsTheIconCentred)
{
    CQuorvexDlg& dlg = *m_dlg;
    dlg.ShowWindow(SW_MINIMIZE);
    platform::afx::testing::ClearDrawnIcons();
    dlg.SendMessage(WM_PAINT);
    ASSERT_EQ(platform::afx::testing::DrawnIcons().size(), 1u);
    const auto& icon = platform::afx::testing::DrawnIcons()[0];
    RECT rect;
    dlg.GetClientRect(&rect);
    EXPECT_EQ(icon.x, (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2);
    EXPECT_EQ(icon.y, (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2);
    EXPECT_EQ(icon.hIcon, dlg.m_hIcon);
    EXPECT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
}

// Which rotaries a paint asks to redraw: the window does it on every paint but the one their own
// Redraw brings back.
class RotaryRepaint : public StartedPanelTest {
protected:
    void SetUp() override
    {
        StartedPanelTest::SetUp();
        m_range = Rotary(m_dlg->m_rangeSwitch);
        m_mode = Rotary(m_dlg->m_modeSwitch);
        ASSERT_NE(m_range, nullptr);
        ASSERT_NE(m_mode, nullptr);
        Pump();
    }
    static platform::instruments::RotarySwitch* Rotary(CWnd& control)
    {
        return dynamic_cast<platform::instruments::RotarySwitch*>(platform::afx::testing::WidgetOf(control.m_hWnd));
    }
    // Paints `area` of the window, as an expose of just that area would.
    void PaintArea(const QRegion& area)
    {
        QWidget* window = platform::afx::testing::WidgetOf(m_dlg->m_hWnd);
        QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
        window->render(&image, QPoint(), area);
    }
    platform::instruments::RotarySwitch* m_range = nullptr;
    platform::instruments::RotarySwitch* m_mode = nullptr;
};

TEST_F(RotaryRepaint, EveryPaintAfterARestoreRedrawsRangeThenMode)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        m_dlg->ShowWindow(SW_MINIMIZE);
        Pump();
        m_dlg->ShowWindow(SW_RESTORE);
        Pump();
        int range = m_range->RedrawCount(), mode = m_mode->RedrawCount();
        ASSERT_TRUE(platform::afx::testing::PaintWindow(m_dlg.get()));
        EXPECT_EQ(m_range->RedrawCount(), range + 1);
        EXPECT_EQ(m_mode->RedrawCount(), mode + 1);
        EXPECT_LT(m_range->LastRedraw(), m_mode->LastRedraw());
    }
}

TEST_F(RotaryRepaint, PaintOfTheRotariesAloneRedrawsNothingAndAnyOtherPaintBoth)
{
    const QRect range = m_range->geometry(), mode = m_mode->geometry();
    const QRect scroll = platform::afx::testing::WidgetOf(m_dlg->m_scrollSwitch.m_hWnd)->geometry();
    struct Case {
        const char* name;
        QRegion area;
        int redraws;
    } cases[] = {
        {"Range", QRegion(range), 0},
        {"Mode", QRegion(mode), 0},
        {"both", QRegion(range).united(mode), 0},
        {"SCROLL", QRegion(scroll), 1},
        {"Range and SCROLL", QRegion(range).united(scroll), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int before = m_range->RedrawCount();
        PaintArea(c.area);
        EXPECT_EQ(m_range->RedrawCount(), before + c.redraws);
        EXPECT_EQ(m_mode->RedrawCount(), m_range->RedrawCount());
    }
}

}  // namespace
