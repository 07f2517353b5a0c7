#include "quorvex/quorvex_app.h"

#include "quorvex/resources.h"
#include "quorvex/system_services.h"
#include "ui/quorvex_dlg.h"

CQuorvexApp theApp;

BOOL CQuorvexApp::InitInstance()
{
    StartSystemServices();
    RegisterQuorvexResources();

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
    m_skin.InvokeHelper(2, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_BSTR, "c:\\Tavorin\\Tavorin.skf");
    m_skin.InvokeHelper(18, DISPATCH_METHOD, VT_EMPTY, NULL, VTS_NONE);

    {
        CQuorvexDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    StopSystemServices();
    return FALSE;
}
