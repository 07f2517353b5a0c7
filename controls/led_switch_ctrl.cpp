#include "controls/led_switch_ctrl.h"

IMPLEMENT_DYNCREATE(CLedSwitchCtrl, CWnd)

static const CLSID clsidCLedSwitchCtrl = platform::com::MakeGuid("{0A36238C-2E5E-11D3-85BF-00105AC8B715}");

BOOL CLedSwitchCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                            CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCLedSwitchCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CLedSwitchCtrl::SetCaption(LPCTSTR lpszNewValue)
{
    InvokeHelper(DISPID_CAPTION, DISPATCH_PROPERTYPUT, VT_EMPTY, NULL, VTS_BSTR, lpszNewValue);
}

void CLedSwitchCtrl::SetLedState(BOOL bOn)
{
    InvokeHelper(14, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BOOL, bOn);
}
