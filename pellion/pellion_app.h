// The Pellion program: prepares the user-interface services, skins the panel and runs the main
// window modally; when it ends, the program ends.
#pragma once

#include "platform/afx/afxwin.h"

class CPellionApp : public CWinApp {
public:
    BOOL InitInstance() override;

    COleDispatchDriver m_skin;
};

extern CPellionApp theApp;
