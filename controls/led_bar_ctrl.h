// CLedBarCtrl: the LED bar control. Level 0.0 empties it; its PositionMax (30.0 on the panels)
// fills it.
#pragma once

#include "platform/afx/afxwin.h"

class CLedBarCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CLedBarCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    void SetLevel(double dLevel);
};
