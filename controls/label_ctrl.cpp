#include "controls/label_ctrl.h"

IMPLEMENT_DYNCREATE(CLabelCtrl, CWnd)

static const CLSID clsidCLabelCtrl = platform::com::MakeGuid("{EBF31E97-980B-4C2B-9645-8FEBD518356B}");

BOOL CLabelCtrl::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, CCreateContext* pContext)
{
    return CreateControl(clsidCLabelCtrl, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CLabelCtrl::SetCaption(LPCTSTR lpszNewValue)
{
    InvokeHelper(DISPID_CAPTION, DISPATCH_PROPERTYPUT, VT_EMPTY, NULL, VTS_BSTR, lpszNewValue);
}
