// What both programs' application objects do before and around their main window: the
// user-interface services, control hosting, COM and the skin, then one modal main dialog.
#pragma once

#include "platform/afx/afxwin.h"

// Common controls, the framework's own start-up, control hosting, COM, and the skin set up from
// `skinFile` on `skin`. No result is looked at: without the component the panel keeps its own look.
void InitPanelServices(CWinApp& app, COleDispatchDriver& skin, const char* skinFile);

// Runs the main dialog modally as the application's main window; the result is not used.
template <class TMainDlg>
void RunMainDialog(CWinApp& app)
{
    TMainDlg dlg;
    app.m_pMainWnd = &dlg;
    dlg.DoModal();
    app.m_pMainWnd = nullptr;
}
