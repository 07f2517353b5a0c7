#include "controls/led_bar_ctrl.h"

IMPLEMENT_DYNCREATE(CLedBarCtrl, CWnd)

static const CLSID clsidCLedBarCtrl = platform::com::MakeGuid("{C5412E14-2E2F-11D3-85BF-00105AC8B715}");

BOOL CLedBarCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                         CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCLedBarCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CLedBarCtrl::SetLevel(double dLevel)
{
    InvokeHelper(19, DISPATCH_PROPERTYPUT, VT_EMPTY, NULL, VTS_R8, dLevel);
}
