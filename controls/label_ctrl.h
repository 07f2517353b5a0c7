// CLabelCtrl: the panel label control (Caption put).
#pragma once

#include "platform/afx/afxwin.h"

class CLabelCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CLabelCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    void SetCaption(LPCTSTR lpszNewValue);
};
