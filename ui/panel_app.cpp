#include "ui/panel_app.h"

void InitPanelServices(CWinApp& app, COleDispatchDriver& skin, const char* skinFile)
{
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);

    app.CWinApp::InitInstance();
    AfxEnableControlContainer();
    CoInitialize(NULL);

    skin.CreateDispatch("PanelSkin.Skin3");
    skin.InvokeHelper(17, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, 0);
    skin.InvokeHelper(1, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, 1);
    skin.InvokeHelper(2, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BSTR, skinFile);
    skin.InvokeHelper(18, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_NONE);
}
