// CSevenSegmentCtrl: the seven-segment display control (Value put).
#pragma once

#include "platform/afx/afxwin.h"

class CSevenSegmentCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CSevenSegmentCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    void SetValue(double dValue);
};
