#include "pellion/resources.h"

#include "ui/resource.h"

void RegisterPellionResources()
{
    AfxRegisterDialogTemplate(IDD_MAIN, &PellionMainTemplate());
    AfxRegisterDialogTemplate(IDD_ABOUT, &PellionAboutTemplate());
    AfxRegisterIconArgb(IDR_MAINFRAME, PELLION_ICON_SIZE, PELLION_ICON_SIZE, PellionIconPixels());
}
