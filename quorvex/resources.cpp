#include "quorvex/resources.h"

#include "ui/resource.h"

void RegisterQuorvexResources()
{
    AfxRegisterDialogTemplate(IDD_MAIN, &QuorvexMainTemplate());
    AfxRegisterIconArgb(IDR_MAINFRAME, QUORVEX_ICON_SIZE, QUORVEX_ICON_SIZE, QuorvexIconPixels());
}
