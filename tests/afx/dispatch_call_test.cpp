// Dispatch calls from wrappers and the automation driver: arguments arrive with the types the
// parameter string names, results are converted into the caller's variable, and failures leave
// the caller's value alone.
#include "fake_control.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <gtest/gtest.h>

using namespace platform::afx;
namespace afxt = platform::afx::testing;
using platform::com::Variant;

namespace {

constexpr UINT kTemplate = 540;

const DialogTemplate& Template()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Dispatch";
        d.cx = 100;
        d.cy = 50;
        d.controls = {EmbeddedControl(1001, afx_test::CLSID_FakeControl, 0, 0, 20, 10, {{"Position", int32_t(2)}}),
                      StaticText("plain", 0, 20, 20, 10, TextAlign::Left, 1002)};
        return d;
    }();
    return t;
}

class CSwitchCtrl : public CWnd {
public:
    void SetCaption(LPCTSTR text)
    {
        InvokeHelper(DISPID_CAPTION, DISPATCH_PROPERTYPUT, VT_EMPTY, NULL, VTS_BSTR, text);
    }
    void SetLedState(BOOL on) { InvokeHelper(14, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BOOL, on); }
    LONG GetPosition()
    {
        LONG result = -1;
        InvokeHelper(10, DISPATCH_PROPERTYGET, VT_I4, &result, NULL);
        return result;
    }
};

class DispatchCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        afx_test::RegisterFakeControl();
        AfxRegisterDialogTemplate(kTemplate, &Template());
        ASSERT_TRUE(m_dlg.Create(kTemplate));
        ASSERT_TRUE(m_switch.SubclassDlgItem(1001, &m_dlg));
        m_fake = afx_test::FakeOf(m_switch.GetControlUnknown());
    }
    CDialog m_dlg;
    CSwitchCtrl m_switch;
    afx_test::FakeControl* m_fake = nullptr;
};

TEST_F(DispatchCallTest, ArgumentsTakeTheTypesTheParameterStringNames)
{
    static BYTE parms[] = VTS_I4 VTS_R8 VTS_BOOL VTS_BSTR;
    std::string text = "std";
    m_switch.InvokeHelper(20, DISPATCH_METHOD, VT_EMPTY, NULL, parms, 7.9, 3, 2, text);
    m_switch.InvokeHelper(20, DISPATCH_METHOD, VT_EMPTY, nullptr, VTS_NONE);
    ASSERT_EQ(m_fake->calls.size(), 2u);
    EXPECT_EQ(m_fake->calls[0].args, (std::vector<Variant>{int32_t(7), 3.0, true, std::string("std")}));
    EXPECT_EQ(m_fake->calls[0].flags, DISPATCH_METHOD);
    EXPECT_TRUE(m_fake->calls[1].args.empty());
}

TEST_F(DispatchCallTest, WrapperCallsReachTheBoundControl)
{
    m_switch.SetCaption(" STOP");
    m_switch.SetLedState(TRUE);
    EXPECT_EQ(m_fake->Prop("Caption"), Variant(std::string(" STOP")));
    EXPECT_EQ(m_fake->calls[1].args, (std::vector<Variant>{true}));
    EXPECT_EQ(m_switch.GetPosition(), 2);
    EXPECT_EQ(m_switch.GetWindowText(), " STOP");
}

TEST_F(DispatchCallTest, ResultsAreConvertedToTheRequestedType)
{
    BOOL b = 5;
    double d = 0;
    std::string s;
    m_switch.InvokeHelper(10, DISPATCH_PROPERTYGET, VT_BOOL, &b, NULL);
    m_switch.InvokeHelper(10, DISPATCH_PROPERTYGET, VT_R8, &d, NULL);
    m_switch.InvokeHelper(10, DISPATCH_PROPERTYGET, VT_BSTR, &s, NULL);
    EXPECT_EQ(b, TRUE);
    EXPECT_EQ(d, 2.0);
    EXPECT_EQ(s, "2");
}

TEST_F(DispatchCallTest, FailedCallsAreIgnoredAndLeaveTheResultAlone)
{
    LONG untouched = 99;
    m_switch.InvokeHelper(999, DISPATCH_PROPERTYGET, VT_I4, &untouched, NULL);
    EXPECT_EQ(untouched, 99);
    EXPECT_EQ(m_switch.InvokeHelperV(999, DISPATCH_METHOD, VT_EMPTY, nullptr, {}), DISP_E_MEMBERNOTFOUND);
    // A caption given as a number does not fit the string parameter.
    EXPECT_EQ(m_switch.InvokeHelperV(DISPID_CAPTION, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, {int32_t(3)}),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(m_switch.InvokeHelperV(14, DISPATCH_METHOD, VT_EMPTY, nullptr, {}), DISP_E_BADPARAMCOUNT);
    // Mismatched argument and parameter type: the control sees an empty value and refuses it.
    m_switch.InvokeHelper(14, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BOOL, "yes");
    EXPECT_EQ(m_fake->calls.back().args, (std::vector<Variant>{std::monostate{}}));
    // Windows without a control answer nothing and do not crash.
    CWnd* plain = m_dlg.GetDlgItem(1002);
    LONG r = 5;
    plain->InvokeHelper(10, DISPATCH_PROPERTYGET, VT_I4, &r, NULL);
    EXPECT_EQ(r, 5);
    CWnd unbound;
    unbound.InvokeHelper(10, DISPATCH_PROPERTYGET, VT_I4, &r, NULL);
    EXPECT_EQ(r, 5);
}

TEST(DispatchDriver, CreatesByProgIdAndReleasesOnce)
{
    afx_test::RegisterFakeControl();
    int before = afx_test::FakeControl::s_alive;
    {
        COleDispatchDriver driver;
        EXPECT_FALSE(driver.CreateDispatch("No.Such.Class"));
        EXPECT_EQ(driver.m_lpDispatch, nullptr);
        driver.InvokeHelper(20, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, 1);  // harmless without an object
        ASSERT_TRUE(driver.CreateDispatch("test.fakecontrol"));
        EXPECT_EQ(afx_test::FakeControl::s_alive, before + 1);
        LONG pos = -1;
        driver.InvokeHelper(10, DISPATCH_PROPERTYGET, VT_I4, &pos, NULL);
        EXPECT_EQ(pos, 0);
        ASSERT_TRUE(driver.CreateDispatch("Test.FakeControl"));  // replaces, releasing the first
        EXPECT_EQ(afx_test::FakeControl::s_alive, before + 1);
    }
    EXPECT_EQ(afx_test::FakeControl::s_alive, before);

    COleDispatchDriver released;
    ASSERT_TRUE(released.CreateDispatch("Test.FakeControl"));
    released.ReleaseDispatch();
    released.ReleaseDispatch();
    EXPECT_EQ(afx_test::FakeControl::s_alive, before);
}

TEST(ControlCreation, WrapperCreatesItsControlInAParent)
{
    afx_test::RegisterFakeControl();
    AfxRegisterDialogTemplate(kTemplate, &Template());
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(kTemplate));
    CWnd made, missing;
    ASSERT_TRUE(
        made.CreateControl(afx_test::CLSID_FakeControl, "Caption!", WS_VISIBLE, RECT{1, 2, 31, 22}, &dlg, 1500));
    EXPECT_FALSE(missing.CreateControl(afx_test::CLSID_Unregistered, "", WS_VISIBLE, RECT{0, 0, 1, 1}, &dlg, 1501));
    EXPECT_EQ(dlg.GetDlgItem(1500), &made);
    EXPECT_EQ(afxt::WidgetOf(made.m_hWnd)->geometry(), QRect(1, 2, 30, 20));
    EXPECT_EQ(afx_test::FakeOf(made.GetControlUnknown())->Prop("Caption"), Variant(std::string("Caption!")));
    int alive = afx_test::FakeControl::s_alive;
    made.DestroyWindow();
    EXPECT_EQ(afx_test::FakeControl::s_alive, alive - 1);
    EXPECT_EQ(dlg.GetDlgItem(1500), nullptr);
}

}  // namespace
