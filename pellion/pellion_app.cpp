#include "pellion/pellion_app.h"

#include "platform/afx/entry.h"
#include "pellion/resources.h"
#include "ui/panel_app.h"
#include "ui/pellion_dlg.h"

CPellionApp theApp;

const platform::afx::ProgramInfo theProgramInfo = {
    "The front panel of the Pellion EEG amplifier: opens the first Pellion found and shows its\n"
    "signals, with its power, range, mode and switches as on the unit.",
    &PellionMainTemplate};

BOOL CPellionApp::InitInstance()
{
    RegisterPellionResources();
    InitPanelServices(*this, m_skin, "C:\\Tavorin\\Tavorin.skf");
    RunMainDialog<CPellionDlg>(*this);
    return FALSE;
}
