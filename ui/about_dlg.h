// The About box of both panels: the program's title and the amplifier's USB driver version,
// firmware version and serial number, which the main window fills in before it runs the box.
#pragma once

#include "controls/instrument_controls.h"
#include "platform/afx/afxwin.h"

class CAbout : public CDialog {
    DECLARE_DYNAMIC(CAbout)

public:
    CAbout();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    // Fills the three texts from a version reply's values.
    void SetVersion(const int versionBytes[4]);

    char m_firmwareText[5] = {};
    char m_usbDriverText[5] = {};
    char m_serialText[6] = {};  // one more than the versions: a serial number may have five digits
    CLabelCtrl m_usbDriverLabel;
    CLabelCtrl m_firmwareLabel;
    CLabelCtrl m_serialLabel;
};
