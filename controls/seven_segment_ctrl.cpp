#include "controls/seven_segment_ctrl.h"

IMPLEMENT_DYNCREATE(CSevenSegmentCtrl, CWnd)

static const CLSID clsidCSevenSegmentCtrl = platform::com::MakeGuid("{C5412E33-2E2F-11D3-85BF-00105AC8B715}");

BOOL CSevenSegmentCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                               CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCSevenSegmentCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CSevenSegmentCtrl::SetValue(double dValue)
{
    InvokeHelper(2, DISPATCH_PROPERTYPUT, VT_EMPTY, NULL, VTS_R8, dValue);
}
