// Message and event tables: a message reaches the handler its table names, unlisted ones fall
// through to the base's table, and control events reach only the handler listed for them.
#include "fake_control.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform::afx;
namespace afxt = platform::afx::testing;

namespace {

constexpr UINT kPanelTemplate = 510;
constexpr UINT WM_SAMPLES = WM_USER + 10;
constexpr UINT WM_BASE_ONLY = WM_USER + 11;
constexpr UINT WM_NOBODY = WM_USER + 12;

std::vector<std::string> g_log;

const DialogTemplate& PanelTemplate()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Tables";
        d.cx = 200;
        d.cy = 100;
        d.controls = {
            EmbeddedControl(1001, afx_test::CLSID_FakeControl, 0, 0, 20, 10),
            EmbeddedControl(1003, afx_test::CLSID_FakeControl, 30, 0, 20, 10),
            EmbeddedControl(1028, afx_test::CLSID_FakeControl, 60, 0, 20, 10),
            PushButton(1041, "About", 0, 50, 40, 14),
            PushButton(1034, "Configure", 50, 50, 40, 14),
            DefPushButton(IDOK, "EXIT", 100, 50, 40, 14),
            PushButton(IDCANCEL, "Cancel", 150, 50, 40, 14),
        };
        return d;
    }();
    return t;
}

class CBaseDlg : public CDialog {
public:
    CBaseDlg() : CDialog(kPanelTemplate) {}
    afx_msg LRESULT OnBaseOnly(WPARAM w, LPARAM l)
    {
        g_log.push_back("base message " + std::to_string(w) + "," + std::to_string(l));
        return 7;
    }
    afx_msg LRESULT OnBaseSamples(WPARAM, LPARAM)
    {
        g_log.push_back("base samples");
        return 0;
    }
    void OnBaseRange() { g_log.push_back("base range"); }
    void OnBasePower() { g_log.push_back("base power"); }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};

BEGIN_MESSAGE_MAP(CBaseDlg, CDialog)
ON_MESSAGE(WM_BASE_ONLY, &CBaseDlg::OnBaseOnly)
ON_MESSAGE(WM_SAMPLES, &CBaseDlg::OnBaseSamples)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CBaseDlg, CDialog)
ON_EVENT(CBaseDlg, 1028, 12, CBaseDlg::OnBaseRange, VTS_NONE)
ON_EVENT(CBaseDlg, 1001, 5, CBaseDlg::OnBasePower, VTS_NONE)
END_EVENTSINK_MAP()

class CPanelDlg : public CBaseDlg {
public:
    CWnd m_power;
    afx_msg void OnPaint() { g_log.push_back("paint"); }
    afx_msg LRESULT OnSamples(WPARAM w, LPARAM l)
    {
        g_log.push_back("samples " + std::to_string(w) + "," + std::to_string(l));
        return 42;
    }
    afx_msg void OnAbout() { g_log.push_back("about"); }
    afx_msg void OnConfigure() { g_log.push_back("configure"); }
    afx_msg void Shutdown()
    {
        g_log.push_back("shutdown");
        EndDialog(IDOK);
    }
    void OnPowerClick() { g_log.push_back("power click"); }
    void OnScrollClick() { g_log.push_back("scroll click"); }
    void OnCancel() override
    {
        g_log.push_back("cancel");
        CBaseDlg::OnCancel();
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1001, m_power); }
    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()
};

BEGIN_MESSAGE_MAP(CPanelDlg, CBaseDlg)
ON_WM_PAINT()
ON_MESSAGE(WM_SAMPLES, &CPanelDlg::OnSamples)
ON_BN_CLICKED(1041, &CPanelDlg::OnAbout)
ON_BN_CLICKED(1034, &CPanelDlg::OnConfigure)
ON_BN_CLICKED(IDOK, &CPanelDlg::Shutdown)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CPanelDlg, CBaseDlg)
ON_EVENT(CPanelDlg, 1001, 5, CPanelDlg::OnPowerClick, VTS_NONE)
ON_EVENT(CPanelDlg, 1003, 5, CPanelDlg::OnScrollClick, VTS_NONE)
END_EVENTSINK_MAP()

class MessageTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        afx_test::RegisterFakeControl();
        AfxRegisterDialogTemplate(kPanelTemplate, &PanelTemplate());
        g_log.clear();
        ASSERT_TRUE(m_dlg.Create(kPanelTemplate));
    }
    CPanelDlg m_dlg;
};

TEST_F(MessageTableTest, MessageReachesTheDerivedHandlerWithItsParameters)
{
    EXPECT_EQ(m_dlg.SendMessage(WM_SAMPLES, 3, 4), 42);
    EXPECT_EQ(g_log, (std::vector<std::string>{"samples 3,4"}));
}

TEST_F(MessageTableTest, UnlistedMessagesFallThroughToTheBaseTables)
{
    EXPECT_EQ(m_dlg.SendMessage(WM_BASE_ONLY, 1, 2), 7);
    EXPECT_EQ(m_dlg.SendMessage(WM_NOBODY, 0, 0), 0);
    // IDCANCEL is only in the framework's table, which calls the virtual OnCancel.
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"base message 1,2", "cancel"}));
    EXPECT_EQ(m_dlg.m_nModalResult, IDCANCEL);
}

TEST_F(MessageTableTest, ButtonClicksArriveAsCommandsById)
{
    EXPECT_TRUE(afxt::ClickButton(&m_dlg, 1034));
    EXPECT_TRUE(afxt::ClickButton(&m_dlg, 1041));
    EXPECT_TRUE(afxt::ClickButton(&m_dlg, IDOK));
    EXPECT_EQ(g_log, (std::vector<std::string>{"configure", "about", "shutdown"}));
    EXPECT_EQ(m_dlg.m_nModalResult, IDOK);
}

TEST_F(MessageTableTest, CommandWithAnotherNotificationCodeIsNotAClick)
{
    m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1041, 5), 0);
    EXPECT_TRUE(g_log.empty());
}

TEST_F(MessageTableTest, PaintEventRunsTheTableHandler)
{
    m_dlg.ShowWindow(SW_SHOW);
    EXPECT_TRUE(afxt::PaintWindow(&m_dlg));
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(g_log.back(), "paint");
}

TEST_F(MessageTableTest, ControlEventsReachOnlyTheHandlerTheirTableNames)
{
    struct Case {
        UINT control;
        DISPID event;
        std::vector<std::string> expected;
    } cases[] = {
        {1001, 5, {"power click"}},  // the derived entry wins over the base's
        {1003, 5, {"scroll click"}},
        {1028, 12, {"base range"}},  // only the base lists it
        {1003, 12, {}},              // right control, event not listed
        {1028, 5, {}},
    };
    for (const Case& c : cases) {
        g_log.clear();
        EXPECT_TRUE(afxt::RaiseControlEvent(&m_dlg, c.control, c.event));
        EXPECT_EQ(g_log, c.expected) << c.control << "/" << c.event;
    }
    EXPECT_FALSE(afxt::RaiseControlEvent(&m_dlg, 4242, 5));
}

TEST_F(MessageTableTest, EventRaisedByTheControlGoesThroughTheAdvisedSink)
{
    afx_test::FakeOf(m_dlg.GetDlgItem(1003)->GetControlUnknown())->Fire(5);
    EXPECT_EQ(g_log, (std::vector<std::string>{"scroll click"}));
}

TEST_F(MessageTableTest, BoundWrapperIsTheDialogItem)
{
    EXPECT_EQ(m_dlg.GetDlgItem(1001), &m_dlg.m_power);
    EXPECT_NE(m_dlg.m_power.GetControlUnknown(), nullptr);
    EXPECT_EQ(m_dlg.m_power.GetDlgCtrlID(), 1001);
    EXPECT_EQ(m_dlg.m_power.GetParent(), &m_dlg);
    m_dlg.DestroyWindow();
    EXPECT_EQ(m_dlg.m_power.m_hWnd, nullptr);
}

TEST_F(MessageTableTest, EventsAfterTheDialogIsGoneDoNothing)
{
    platform::com::ComPtr<IUnknown> kept;
    IUnknown* unknown = m_dlg.GetDlgItem(1003)->GetControlUnknown();
    unknown->AddRef();
    kept = platform::com::ComPtr<IUnknown>(unknown);
    m_dlg.DestroyWindow();
    afx_test::FakeOf(kept.get())->Fire(5);
    EXPECT_TRUE(g_log.empty());
}

}  // namespace

// ---- run-time class records ----

class CCreatable : public CWnd {
    DECLARE_DYNCREATE(CCreatable)
};
IMPLEMENT_DYNCREATE(CCreatable, CWnd)

class CNamedOnly : public CDialog {
    DECLARE_DYNAMIC(CNamedOnly)
};
IMPLEMENT_DYNAMIC(CNamedOnly, CDialog)

namespace {

TEST(RuntimeClass, RecordsNameBaseAndFactory)
{
    EXPECT_STREQ(RUNTIME_CLASS(CCreatable)->m_lpszClassName, "CCreatable");
    EXPECT_TRUE(RUNTIME_CLASS(CCreatable)->IsDerivedFrom(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(RUNTIME_CLASS(CCreatable)->IsDerivedFrom(RUNTIME_CLASS(CDialog)));
    EXPECT_TRUE(RUNTIME_CLASS(CNamedOnly)->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_EQ(RUNTIME_CLASS(CNamedOnly)->CreateObject(), nullptr);

    std::unique_ptr<CObject> made(CRuntimeClass::FromName("CCreatable")->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CCreatable)));
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(made->IsKindOf(RUNTIME_CLASS(CDialog)));
}

}  // namespace
