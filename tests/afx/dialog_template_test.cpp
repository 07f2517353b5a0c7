// Dialogs built from templates: where controls land in pixels, what the window frame offers,
// and what the template's texts become.
#include "fake_control.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace platform::afx;
namespace afxt = platform::afx::testing;
using afx_test::CLSID_FakeControl;

namespace {

constexpr UINT kTemplateId = 500;
constexpr UINT kNoSysMenuId = 501;

const DialogTemplate& Template()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Geometry";
        d.cx = 561;
        d.cy = 281;
        d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        d.controls = {
            EmbeddedControl(1000, CLSID_FakeControl, 8, 5, 541, 185, {{"Caption", std::string("chart")}}),
            GroupBox("Range", 116, 193, 75, 81),
            PushButton(1041, "About", 490, 228, 60, 17),
            DefPushButton(IDOK, "EXIT", 490, 251, 60, 17),
            StaticText("USB Driver Version: ", 61, 41, 142, 15, TextAlign::Right, 1018),
            EmbeddedControl(1077, afx_test::CLSID_Unregistered, 1, 1, 3, 3),
        };
        return d;
    }();
    return t;
}

const DialogTemplate& NoSysMenuTemplate()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Panel";
        d.cx = 100;
        d.cy = 50;
        d.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;
        return d;
    }();
    return t;
}

class DialogTemplateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        afx_test::RegisterFakeControl();
        AfxRegisterDialogTemplate(kTemplateId, &Template());
        AfxRegisterDialogTemplate(kNoSysMenuId, &NoSysMenuTemplate());
    }
    QRect Geometry(CDialog& dlg, int id) { return afxt::WidgetOf(dlg.GetDlgItem(id)->m_hWnd)->geometry(); }
};

TEST(DialogUnits, ConvertAtOneAndAHalfAcrossAndOneAndFiveEighthsDown)
{
    struct Case {
        int du;
        int x, y;
    } cases[] = {{0, 0, 0}, {1, 2, 2}, {2, 3, 3}, {8, 12, 13}, {17, 26, 28}, {281, 422, 457}, {-5, -8, -8}};
    for (const Case& c : cases) {
        EXPECT_EQ(DluToPixelsX(c.du), c.x) << c.du;
        EXPECT_EQ(DluToPixelsY(c.du), c.y) << c.du;
    }
    RECT r = DluToPixels(490, 251, 60, 17);
    EXPECT_EQ(r.left, 735);
    EXPECT_EQ(r.top, 408);
    EXPECT_EQ(r.right, 735 + 90);
    EXPECT_EQ(r.bottom, 408 + 28);
}

TEST_F(DialogTemplateTest, ControlsLandAtTheirPixelRectangles)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(kTemplateId));
    EXPECT_EQ(Geometry(dlg, 1000), QRect(12, 8, 812, 301));
    EXPECT_EQ(Geometry(dlg, 1041), QRect(735, 371, 90, 28));
    EXPECT_EQ(Geometry(dlg, IDOK), QRect(735, 408, 90, 28));
    EXPECT_EQ(Geometry(dlg, 1018), QRect(92, 67, 213, 24));
    RECT client;
    dlg.GetClientRect(&client);
    EXPECT_EQ(client.right, 842);
    EXPECT_EQ(client.bottom, 457);
}

// Dialog units come from the font's base units, 6 by 13 px for the 8 pt shell dialog font: the
// letters' average width rounded to whole pixels, and the line height. A wider stand-in font
// makes every template's captions wrap or run into each other.
TEST_F(DialogTemplateTest, DialogFontHasTheBaseUnitsOfTheDialogUnits)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(kTemplateId));
    const QFont font = afxt::WidgetOf(dlg.m_hWnd)->font();
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ((letters / 26 + 1) / 2, 6) << QFontInfo(font).family().toStdString() << ": letters " << letters << " px";
    EXPECT_EQ(fm.height(), 13);
    EXPECT_EQ(DluToPixelsX(4), 6);
    EXPECT_EQ(DluToPixelsY(8), 13);
}

TEST_F(DialogTemplateTest, TemplateTextsBecomeCaptionsAndFont)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(kTemplateId));
    QWidget* window = afxt::WidgetOf(dlg.m_hWnd);
    EXPECT_EQ(window->windowTitle(), "Geometry");
    EXPECT_EQ(window->font().pointSize(), 8);
    auto* exit = qobject_cast<QPushButton*>(afxt::WidgetOf(dlg.GetDlgItem(IDOK)->m_hWnd));
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), "EXIT");
    EXPECT_TRUE(exit->isDefault());
    auto* label = qobject_cast<QLabel*>(afxt::WidgetOf(dlg.GetDlgItem(1018)->m_hWnd));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "USB Driver Version: ");
    EXPECT_TRUE(label->alignment() & Qt::AlignRight);
    EXPECT_EQ(dlg.GetDlgItem(1041)->GetWindowText(), "About");
}

TEST_F(DialogTemplateTest, EmbeddedControlGetsItsPropertiesAndIsReachableById)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(kTemplateId));
    IUnknown* unknown = dlg.GetDlgItem(1000)->GetControlUnknown();
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(afx_test::FakeOf(unknown)->Prop("Caption"), platform::com::Variant(std::string("chart")));
    EXPECT_EQ(afx_test::FakeOf(unknown)->Widget()->parentWidget(), afxt::WidgetOf(dlg.m_hWnd));
    // An unregistered class keeps its id but hosts nothing.
    ASSERT_NE(dlg.GetDlgItem(1077), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(1077)->GetControlUnknown(), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
}

TEST_F(DialogTemplateTest, DestroyingTheDialogReleasesItsControls)
{
    int before = afx_test::FakeControl::s_alive;
    {
        CDialog dlg;
        ASSERT_TRUE(dlg.Create(kTemplateId));
        EXPECT_EQ(afx_test::FakeControl::s_alive, before + 1);
    }
    EXPECT_EQ(afx_test::FakeControl::s_alive, before);
}

TEST_F(DialogTemplateTest, ControlStillReferencedOutlivesItsDialog)
{
    platform::com::ComPtr<IUnknown> kept;
    {
        CDialog dlg;
        ASSERT_TRUE(dlg.Create(kTemplateId));
        IUnknown* unknown = dlg.GetDlgItem(1000)->GetControlUnknown();
        unknown->AddRef();
        kept = platform::com::ComPtr<IUnknown>(unknown);
    }
    // Its widget was taken out of the dialog rather than deleted with it.
    EXPECT_NE(afx_test::FakeOf(kept.get())->Widget(), nullptr);
    EXPECT_EQ(afx_test::FakeOf(kept.get())->Widget()->parentWidget(), nullptr);
}

TEST_F(DialogTemplateTest, CloseBoxOnlyWithSystemMenu)
{
    CDialog withMenu, withoutMenu;
    ASSERT_TRUE(withMenu.Create(kTemplateId));
    ASSERT_TRUE(withoutMenu.Create(kNoSysMenuId));
    EXPECT_TRUE(afxt::WidgetOf(withMenu.m_hWnd)->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(afxt::WidgetOf(withoutMenu.m_hWnd)->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(afxt::ClickCloseBox(&withoutMenu));
    EXPECT_NE(withoutMenu.m_hWnd, nullptr);
}

TEST_F(DialogTemplateTest, VisibleStyleShowsAModelessDialog)
{
    CDialog hidden, shown;
    ASSERT_TRUE(hidden.Create(kTemplateId));
    ASSERT_TRUE(shown.Create(kNoSysMenuId));
    EXPECT_FALSE(hidden.IsWindowVisible());
    EXPECT_TRUE(shown.IsWindowVisible());
}

TEST_F(DialogTemplateTest, MissingTemplateFailsBothWays)
{
    CDialog modal(9999), modeless;
    EXPECT_EQ(modal.DoModal(), -1);
    EXPECT_FALSE(modeless.Create(9999));
    EXPECT_EQ(modeless.m_hWnd, nullptr);
}

}  // namespace
