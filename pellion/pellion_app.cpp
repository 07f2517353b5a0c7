#include "pellion/pellion_app.h"

#include "pellion/resources.h"
#include "quorvex/system_services.h"
#include "ui/pellion_dlg.h"

CPellionApp theApp;

BOOL CPellionApp::InitInstance()
{
    StartSystemServices();
    RegisterPellionResources();

    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    AfxEnableControlContainer();
    CoInitialize(NULL);

    // No result is looked at: without the component the panel keeps its own look.
    m_skin.CreateDispatch("PanelSkin.Skin3");
    m_skin.InvokeHelper(17, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, 0);
    m_skin.InvokeHelper(1, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_I4, 1);
    m_skin.InvokeHelper(2, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BSTR, "C:\\Tavorin\\Tavorin.skf");
    m_skin.InvokeHelper(18, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_NONE);

    {
        CPellionDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    StopSystemServices();
    return FALSE;
}
