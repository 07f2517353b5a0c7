#include "pellion/pellion_app.h"

#include "pellion/resources.h"
#include "ui/panel_app.h"
#include "ui/pellion_dlg.h"

CPellionApp theApp;

BOOL CPellionApp::InitInstance()
{
    RegisterPellionResources();
    InitPanelServices(*this, m_skin, "C:\\Tavorin\\Tavorin.skf");
    RunMainDialog<CPellionDlg>(*this);
    return FALSE;
}
