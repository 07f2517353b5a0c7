// CLedSwitchCtrl: the LED push-switch control. It raises Click (5) when the operator presses it;
// SetLedState raises nothing, so a click handler may set the LED itself.
#pragma once

#include "platform/afx/afxwin.h"

class CLedSwitchCtrl : public CWnd {
protected:
    DECLARE_DYNCREATE(CLedSwitchCtrl)

public:
    BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, CCreateContext* pContext = NULL) override;

    void SetCaption(LPCTSTR lpszNewValue);
    void SetLedState(BOOL bOn);
};
