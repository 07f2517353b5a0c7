// CRotarySwitchCtrl: the rotary switch control, positions counted from 0. It raises
// PositionChange (12) and then Change (1) when the operator turns it; SetPointerPosition raises
// nothing.
#pragma once

#include "platform/afx/afxwin.h"

class CRotarySwitchCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CRotarySwitchCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    long GetPosition();
    void SetPointerPosition(long nPosition);
    void Redraw();
};
