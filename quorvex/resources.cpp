#include "quorvex/resources.h"

#include "ui/resource.h"

void RegisterQuorvexResources()
{
    AfxRegisterDialogTemplate(IDD_MAIN, &QuorvexMainTemplate());
    AfxRegisterDialogTemplate(IDD_ABOUT, &QuorvexAboutTemplate());
    AfxRegisterDialogTemplate(IDD_CALCONFIG, &QuorvexCalConfigTemplate());
    AfxRegisterIconArgb(IDR_MAINFRAME, QUORVEX_ICON_SIZE, QUORVEX_ICON_SIZE, QuorvexIconPixels());
}
