#include "controls/rotary_switch_ctrl.h"

IMPLEMENT_DYNCREATE(CRotarySwitchCtrl, CWnd)

static const CLSID clsidCRotarySwitchCtrl = platform::com::MakeGuid("{46B4AAA4-2E6B-11D3-85BF-00105AC8B715}");

BOOL CRotarySwitchCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                               CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCRotarySwitchCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

long CRotarySwitchCtrl::GetPosition()
{
    LONG result = 0;
    InvokeHelper(10, DISPATCH_PROPERTYGET, VT_I4, &result, NULL);
    return result;
}

void CRotarySwitchCtrl::SetPointerPosition(long nPosition)
{
    InvokeHelper(28, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, nPosition);
}

void CRotarySwitchCtrl::Redraw()
{
    InvokeHelper(30, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_NONE);
}
