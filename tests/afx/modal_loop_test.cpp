// Modal loops: the code EndDialog gives is what DoModal returns, loops nest (a dialog or a
// message box inside a modal dialog), and Esc, Enter and the close box end a dialog as the
// operator expects.
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <QApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace platform::afx;
namespace afxt = platform::afx::testing;

namespace {

constexpr UINT kOuterTemplate = 520;
constexpr UINT kInnerTemplate = 521;
constexpr UINT kNoDefaultTemplate = 522;

const DialogTemplate& OuterTemplate()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Outer";
        d.cx = 200;
        d.cy = 100;
        d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        d.controls = {PushButton(1041, "About", 0, 50, 40, 14), DefPushButton(1050, "Go", 100, 50, 40, 14)};
        return d;
    }();
    return t;
}

const DialogTemplate& InnerTemplate()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Inner";
        d.x = 35;
        d.y = -5;
        d.cx = 100;
        d.cy = 50;
        d.controls = {DefPushButton(IDOK, "OK", 0, 30, 40, 14), PushButton(IDCANCEL, "Cancel", 50, 30, 40, 14)};
        return d;
    }();
    return t;
}

const DialogTemplate& NoDefaultTemplate()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Plain";
        d.cx = 100;
        d.cy = 50;
        return d;
    }();
    return t;
}

class COuterDlg : public CDialog {
public:
    COuterDlg() : CDialog(kOuterTemplate) {}
    int m_goClicks = 0;
    INT_PTR m_innerResult = 0;
    CWnd* m_innerParent = nullptr;
    int m_boxAnswer = 0;
    bool m_endInInit = false;
    bool m_initRan = false;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_initRan = true;
        if (m_endInInit) EndDialog(77);
        return TRUE;
    }
    afx_msg void OnGo() { ++m_goClicks; }
    afx_msg void OnAbout();
    DECLARE_MESSAGE_MAP()
};

class CInnerDlg : public CDialog {
public:
    CInnerDlg() : CDialog(kInnerTemplate) {}
    CWnd* m_parentSeen = nullptr;
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_parentSeen = GetParent();
        return TRUE;
    }
};

BEGIN_MESSAGE_MAP(COuterDlg, CDialog)
ON_BN_CLICKED(1050, &COuterDlg::OnGo)
ON_BN_CLICKED(1041, &COuterDlg::OnAbout)
END_MESSAGE_MAP()

void COuterDlg::OnAbout()
{
    CInnerDlg inner;
    m_innerResult = inner.DoModal();
    m_innerParent = inner.m_parentSeen;
}

class ModalLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxRegisterDialogTemplate(kOuterTemplate, &OuterTemplate());
        AfxRegisterDialogTemplate(kInnerTemplate, &InnerTemplate());
        AfxRegisterDialogTemplate(kNoDefaultTemplate, &NoDefaultTemplate());
    }
    void TearDown() override { EXPECT_EQ(afxt::ModalDepth(), 0); }
};

TEST_F(ModalLoopTest, EndDialogCodeIsWhatDoModalReturns)
{
    COuterDlg dlg;
    bool ran = false;
    afxt::RunInNextModalLoop([&] {
        ran = true;
        EXPECT_EQ(afxt::ActiveModalDialog(), &dlg);
        EXPECT_TRUE(dlg.IsWindowVisible());
        dlg.EndDialog(1234);
    });
    EXPECT_EQ(dlg.DoModal(), 1234);
    EXPECT_TRUE(ran);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(ModalLoopTest, EndDialogInsideOnInitDialogMeansTheLoopNeverRuns)
{
    COuterDlg dlg;
    dlg.m_endInInit = true;
    bool hookRan = false;
    afxt::RunInNextModalLoop([&] {
        hookRan = true;
        afxt::EndModalLoop(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), 77);
    EXPECT_TRUE(dlg.m_initRan);
    EXPECT_FALSE(hookRan);  // still queued for the next loop: this one never started
    COuterDlg next;
    EXPECT_EQ(next.DoModal(), IDCANCEL);
    EXPECT_TRUE(hookRan);
}

TEST_F(ModalLoopTest, DialogInsideAModalDialogIsOwnedByItAndNests)
{
    COuterDlg outer;
    afxt::RunInNextModalLoop([&] {
        EXPECT_TRUE(afxt::ClickButton(&outer, 1041));  // runs the inner dialog to its end
        EXPECT_EQ(outer.m_innerResult, IDOK);
        EXPECT_EQ(outer.m_innerParent, &outer);
        EXPECT_EQ(afxt::ModalDepth(), 1);
        outer.EndDialog(9);
    });
    afxt::RunInNextModalLoop([&] {
        EXPECT_EQ(afxt::ModalDepth(), 2);
        CDialog* inner = afxt::ActiveModalDialog();
        ASSERT_NE(inner, &outer);
        // Placed in dialog units from the owner's client origin.
        QPoint origin = afxt::WidgetOf(outer.m_hWnd)->mapToGlobal(QPoint(0, 0));
        EXPECT_EQ(afxt::WidgetOf(inner->m_hWnd)->pos(), origin + QPoint(53, -8));
        afxt::EndModalLoop(IDOK);
    });
    EXPECT_EQ(outer.DoModal(), 9);
}

TEST_F(ModalLoopTest, MessageBoxInsideAModalDialogReturnsToIt)
{
    COuterDlg dlg;
    int answer = 0;
    std::string text;
    afxt::RunInNextModalLoop([&] {
        answer = AfxMessageBox("Please turn the POWER on first.");
        EXPECT_EQ(afxt::ActiveModalDialog(), &dlg);
        dlg.EndDialog(5);
    });
    afxt::RunInNextModalLoop([&] {
        EXPECT_EQ(afxt::ModalDepth(), 2);
        EXPECT_EQ(afxt::ActiveModalDialog(), nullptr);  // a box, not a dialog
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        afxt::EndModalLoop(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), 5);
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(text, "Please turn the POWER on first.");
}

TEST_F(ModalLoopTest, EscapeAndCloseBoxCancel)
{
    {
        COuterDlg dlg;
        afxt::RunInNextModalLoop([&] { afxt::PressKey(&dlg, VK_ESCAPE); });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
    {
        COuterDlg dlg;
        afxt::RunInNextModalLoop([&] { EXPECT_TRUE(afxt::ClickCloseBox(&dlg)); });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
}

TEST_F(ModalLoopTest, EnterPressesTheDefaultButton)
{
    COuterDlg dlg;
    afxt::RunInNextModalLoop([&] {
        afxt::PressKey(&dlg, VK_RETURN);
        afxt::PressKey(&dlg, VK_RETURN);
        EXPECT_EQ(dlg.m_goClicks, 2);
        dlg.EndDialog(33);
    });
    EXPECT_EQ(dlg.DoModal(), 33);
}

TEST_F(ModalLoopTest, EnterWithoutADefaultButtonIsOk)
{
    CDialog dlg(kNoDefaultTemplate);
    afxt::RunInNextModalLoop([&] { afxt::PressKey(&dlg, VK_RETURN); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(MessageBoxProvider, RecorderTakesTheTextsAndAnswers)
{
    MessageBoxRecorder boxes;
    EXPECT_EQ(AfxMessageBox("USB Driver failed to open.\n\nPlease verify Quorvex is connected."), IDOK);
    EXPECT_EQ(::MessageBox(nullptr, "second", "Caption", MB_OK), IDOK);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "USB Driver failed to open.\n\nPlease verify Quorvex is connected.", "second"}));
    EXPECT_EQ(boxes.captions().back(), "Caption");
}

TEST(MessageBoxProvider, ScopedProviderPutsThePreviousBack)
{
    MessageBoxRecorder outer;
    {
        ScopedMessageBoxProvider inner([](const std::string&, const std::string&, UINT) { return IDCANCEL; });
        EXPECT_EQ(AfxMessageBox("inner"), IDCANCEL);
    }
    EXPECT_EQ(AfxMessageBox("outer"), IDOK);
    EXPECT_EQ(outer.texts(), (std::vector<std::string>{"outer"}));
}

}  // namespace
