// The wrappers drive real instrument controls in a dialog built from a template, and the
// controls' events reach the dialog's event-sink table.
#include "controls/instrument_controls.h"
#include "platform/afx/testing.h"
#include "platform/instruments/led_bar.h"
#include "platform/instruments/led_switch.h"
#include "platform/instruments/register.h"
#include "platform/instruments/rotary_switch.h"
#include "platform/instruments/seven_segment.h"
#include "platform/instruments/toggle_switch.h"
#include "platform/instruments/label.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace afx = platform::afx;
namespace ins = platform::instruments;

constexpr UINT kTemplateId = 950;

const afx::DialogTemplate& PanelTemplate()
{
    static const afx::DialogTemplate t = [] {
        afx::DialogTemplate d;
        d.caption = "Wrappers";
        d.cx = 300;
        d.cy = 150;
        d.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
        d.controls = {
            afx::EmbeddedControl(1039, ins::CLSID_PanelLabel, 5, 5, 38, 13, {{"Caption", std::string("10.00")}}),
            afx::EmbeddedControl(1003, ins::CLSID_PanelLedSwitch, 5, 25, 60, 17, {{"Caption", std::string("SCROLL")}}),
            afx::EmbeddedControl(1028, ins::CLSID_PanelRotarySwitch, 80, 5, 68, 64,
                                 {{"PositionLabels", std::string("50, 100, 500")}, {"Position", int32_t(1)}}),
            afx::EmbeddedControl(1046, ins::CLSID_PanelToggleSwitch, 160, 5, 14, 25),
            afx::EmbeddedControl(1009, ins::CLSID_PanelLedBar, 190, 5, 10, 54, {{"PositionMax", 30.0}}),
            afx::EmbeddedControl(1097, ins::CLSID_PanelSevenSegment, 5, 80, 153, 46,
                                 {{"DigitCount", int32_t(5)}, {"Value", 10.0}, {"ShowSign", false}}),
        };
        return d;
    }();
    return t;
}

class CWrapperDlg : public CDialog {
public:
    CWrapperDlg() : CDialog(kTemplateId) {}

    CLabelCtrl m_label;
    CLedSwitchCtrl m_scroll;
    CRotarySwitchCtrl m_range;
    CToggleSwitchCtrl m_aux;
    CLedBarCtrl m_bar;
    CSevenSegmentCtrl m_display;
    std::vector<std::string> m_events;

    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, 1039, m_label);
        DDX_Control(pDX, 1003, m_scroll);
        DDX_Control(pDX, 1028, m_range);
        DDX_Control(pDX, 1046, m_aux);
        DDX_Control(pDX, 1009, m_bar);
        DDX_Control(pDX, 1097, m_display);
    }

    // As the programs' click handlers do: the LED is set from inside the click.
    void OnScrollClick()
    {
        m_events.push_back("click");
        m_scroll.SetLedState(TRUE);
        m_scroll.SetCaption(" STOP");
    }
    void OnRangeChange() { m_events.push_back("position " + std::to_string(m_range.GetPosition())); }
    void OnRangeTurned() { m_events.push_back("change"); }
    void OnAuxToggle() { m_events.push_back(m_aux.GetActive() ? "aux on" : "aux off"); }

    template <class W>
    W* Widget(UINT id)
    {
        return dynamic_cast<W*>(afx::testing::WidgetOf(GetDlgItem(int(id))->m_hWnd));
    }

    DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(CWrapperDlg, CDialog)
ON_EVENT(CWrapperDlg, 1003, 5, CWrapperDlg::OnScrollClick, VTS_NONE)
ON_EVENT(CWrapperDlg, 1028, 12, CWrapperDlg::OnRangeChange, VTS_NONE)
ON_EVENT(CWrapperDlg, 1028, 1, CWrapperDlg::OnRangeTurned, VTS_NONE)
ON_EVENT(CWrapperDlg, 1046, 1, CWrapperDlg::OnAuxToggle, VTS_NONE)
END_EVENTSINK_MAP()

class WrapperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "controls_test";
        static char* argv[] = {name, nullptr};
        static QApplication* app = new QApplication(argc, argv);
        (void)app;
        ins::RegisterControls();
        AfxRegisterDialogTemplate(kTemplateId, &PanelTemplate());
    }
    void SetUp() override { ASSERT_TRUE(dlg.Create(kTemplateId)); }
    void TearDown() override { dlg.DestroyWindow(); }

    CWrapperDlg dlg;
};

TEST_F(WrapperTest, OperationsReachTheBoundControls)
{
    dlg.m_label.SetCaption("12.50");
    EXPECT_EQ(dlg.Widget<ins::PanelLabel>(1039)->Caption(), "12.50");

    dlg.m_scroll.SetCaption(" STOP");
    dlg.m_scroll.SetLedState(TRUE);
    EXPECT_EQ(dlg.Widget<ins::LedSwitch>(1003)->Caption(), " STOP");
    EXPECT_TRUE(dlg.Widget<ins::LedSwitch>(1003)->LedState());

    EXPECT_EQ(dlg.m_range.GetPosition(), 1);
    dlg.m_range.SetPointerPosition(0);
    EXPECT_EQ(dlg.m_range.GetPosition(), 0);
    EXPECT_EQ(dlg.Widget<ins::RotarySwitch>(1028)->CurrentLabel(), "50");
    dlg.m_range.Redraw();

    EXPECT_FALSE(dlg.m_aux.GetActive());

    dlg.m_bar.SetLevel(30.0);
    auto* bar = dlg.Widget<ins::LedBar>(1009);
    EXPECT_EQ(bar->LitSegments(), bar->SegmentCount());
    dlg.m_bar.SetLevel(0.0);
    EXPECT_EQ(bar->LitSegments(), 0);

    dlg.m_display.SetValue(4.0);
    EXPECT_EQ(dlg.Widget<ins::SevenSegment>(1097)->Text(), "  4.00");
    EXPECT_TRUE(dlg.m_events.empty()) << "no operation raises an event";
}

TEST_F(WrapperTest, AClickReachesItsHandlerOnceEvenWhenTheHandlerSetsTheLed)
{
    auto* scroll = dlg.Widget<ins::LedSwitch>(1003);
    QTest::mouseClick(scroll, Qt::LeftButton, {}, scroll->rect().center());
    EXPECT_EQ(dlg.m_events, std::vector<std::string>{"click"});
    EXPECT_TRUE(scroll->LedState());
}

TEST_F(WrapperTest, TurningTheRotaryRaisesPositionChangeThenChange)
{
    auto* range = dlg.Widget<ins::RotarySwitch>(1028);
    QTest::mouseClick(range, Qt::LeftButton, {}, range->LabelRect(2).center().toPoint());
    EXPECT_EQ(dlg.m_events, (std::vector<std::string>{"position 2", "change"}));
}

TEST_F(WrapperTest, FlippingTheToggleRaisesChangeWithTheNewState)
{
    auto* aux = dlg.Widget<ins::ToggleSwitch>(1046);
    QTest::mouseClick(aux, Qt::LeftButton, {}, aux->rect().center());
    QTest::mouseClick(aux, Qt::LeftButton, {}, aux->rect().center());
    EXPECT_EQ(dlg.m_events, (std::vector<std::string>{"aux on", "aux off"}));
}

TEST(WrapperClasses, AreDynamicallyCreatable)
{
    for (const CRuntimeClass* rc :
         {RUNTIME_CLASS(CLabelCtrl), RUNTIME_CLASS(CLedSwitchCtrl), RUNTIME_CLASS(CRotarySwitchCtrl),
          RUNTIME_CLASS(CToggleSwitchCtrl), RUNTIME_CLASS(CLedBarCtrl), RUNTIME_CLASS(CSevenSegmentCtrl)}) {
        CObject* obj = rc->CreateObject();
        ASSERT_NE(obj, nullptr) << rc->m_lpszClassName;
        EXPECT_TRUE(obj->IsKindOf(RUNTIME_CLASS(CWnd)));
        EXPECT_EQ(CRuntimeClass::FromName(rc->m_lpszClassName), rc);
        delete obj;
    }
}

}  // namespace
