// CToggleSwitchCtrl: the toggle switch control, Active when its bat is up. It raises Change (1)
// when the operator flips it.
#pragma once

#include "platform/afx/afxwin.h"

class CToggleSwitchCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CToggleSwitchCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    BOOL GetActive();
};
