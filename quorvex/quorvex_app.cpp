#include "quorvex/quorvex_app.h"

#include "quorvex/resources.h"
#include "ui/panel_app.h"
#include "ui/quorvex_dlg.h"

CQuorvexApp theApp;

BOOL CQuorvexApp::InitInstance()
{
    RegisterQuorvexResources();
    InitPanelServices(*this, m_skin, "c:\\Tavorin\\Tavorin.skf");
    RunMainDialog<CQuorvexDlg>(*this);
    return FALSE;
}
