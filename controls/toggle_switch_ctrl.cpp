#include "controls/toggle_switch_ctrl.h"

IMPLEMENT_DYNCREATE(CToggleSwitchCtrl, CWnd)

static const CLSID clsidCToggleSwitchCtrl = platform::com::MakeGuid("{0A362397-2E5E-11D3-85BF-00105AC8B715}");

BOOL CToggleSwitchCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                               CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCToggleSwitchCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

BOOL CToggleSwitchCtrl::GetActive()
{
    BOOL result = FALSE;
    InvokeHelper(1, DISPATCH_PROPERTYGET, VT_BOOL, &result, NULL);
    return result;
}
