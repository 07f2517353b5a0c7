#include "quorvex/quorvex_app.h"

#include "platform/afx/entry.h"
#include "quorvex/resources.h"
#include "ui/panel_app.h"
#include "ui/quorvex_dlg.h"

CQuorvexApp theApp;

const platform::afx::ProgramInfo theProgramInfo = {
    "The front panel of the Quorvex EEG amplifier: opens the first Quorvex found, switches it on and\n"
    "shows its signals, with its range, mode, calibration and switches as on the unit.",
    &QuorvexMainTemplate};

BOOL CQuorvexApp::InitInstance()
{
    RegisterQuorvexResources();
    InitPanelServices(*this, m_skin, "c:\\Tavorin\\Tavorin.skf");
    RunMainDialog<CQuorvexDlg>(*this);
    return FALSE;
}
