#include "ui/about_dlg.h"

#include "ui/resource.h"

#include <cstdio>

IMPLEMENT_DYNAMIC(CAbout, CDialog)

CAbout::CAbout() : CDialog(IDD_ABOUT) {}

void CAbout::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_USB_DRIVER_VERSION, m_usbDriverLabel);
    DDX_Control(pDX, IDC_FIRMWARE_VERSION, m_firmwareLabel);
    DDX_Control(pDX, IDC_SERIAL_NUMBER, m_serialLabel);
}

void CAbout::SetVersion(const int versionBytes[4])
{
    std::snprintf(m_firmwareText, sizeof m_firmwareText, "%02d", versionBytes[1]);
    std::snprintf(m_usbDriverText, sizeof m_usbDriverText, "%02d", versionBytes[0]);
    std::snprintf(m_serialText, sizeof m_serialText, "%d", versionBytes[3] * 256 + versionBytes[2]);
}

BOOL CAbout::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_firmwareLabel.SetCaption(m_firmwareText);
    m_usbDriverLabel.SetCaption(m_usbDriverText);
    m_serialLabel.SetCaption(m_serialText);
    return TRUE;
}
