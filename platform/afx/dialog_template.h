// Dialog templates as C++ data: what a resource script's DIALOGEX block says, one object a window.
// Positions and sizes are in dialog units; a program registers each template under its id before
// the dialog that uses it is created, and CDialog(id) finds it there.
#pragma once

#include "platform/afx/winuser.h"
#include "platform/com/com.h"

#include <string>
#include <vector>

namespace platform::afx {

enum class ControlKind {
    PushButton,
    DefPushButton,  // the button Enter presses
    GroupBox,
    Static,    // static text
    Embedded,  // an embedded control created by CLSID
};

enum class TextAlign { Left, Center, Right };

struct ControlTemplate {
    int id = -1;  // -1 (IDC_STATIC) for texts and frames no code looks at
    ControlKind kind = ControlKind::Static;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units, relative to the client area
    std::string caption;
    TextAlign align = TextAlign::Left;      // static text only
    CLSID clsid{};                          // embedded control only
    platform::com::PropertyBag properties;  // embedded control's initial properties
    DWORD style = WS_VISIBLE;               // WS_VISIBLE, WS_DISABLED, WS_TABSTOP are honoured
};

struct DialogTemplate {
    std::string caption;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units; x, y relative to the owner's client area
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    DWORD exStyle = 0;  // WS_EX_APPWINDOW: own task bar entry
    std::string fontName = "MS Shell Dlg";
    int fontPointSize = 8;
    std::vector<ControlTemplate> controls;
};

// Shorthands for template tables.
ControlTemplate PushButton(int id, std::string caption, int x, int y, int cx, int cy);
ControlTemplate DefPushButton(int id, std::string caption, int x, int y, int cx, int cy);
ControlTemplate GroupBox(std::string caption, int x, int y, int cx, int cy, int id = -1);
ControlTemplate StaticText(std::string caption, int x, int y, int cx, int cy, TextAlign align = TextAlign::Left,
                           int id = -1);
ControlTemplate EmbeddedControl(int id, const CLSID& clsid, int x, int y, int cx, int cy,
                                platform::com::PropertyBag properties = {});

// Dialog units of "MS Shell Dlg" 8 pt at 96 dpi: one horizontal unit is 1.5 px, one vertical 1.625 px.
// The family that stands in for the shell dialog font: at 8 pt its letters average 6.1 px and its
// lines are 13 px high, the 6 by 13 px base units those dialog units come from. Wider families
// (DejaVu Sans averages 6.8 px) wrap or run captions into their neighbours.
inline constexpr const char* kDialogFontFamily = "DejaVu Sans Condensed";
int DluToPixelsX(int du);
int DluToPixelsY(int du);
RECT DluToPixels(int x, int y, int cx, int cy);

// The template must outlive every dialog built from it (static data does). Re-registering an id
// replaces it.
void RegisterDialogTemplate(UINT id, const DialogTemplate* tmpl);
const DialogTemplate* FindDialogTemplate(UINT id);  // null when not registered

// For a template file that registers itself; only works when its object file is linked in, so
// programs should rather call AfxRegisterDialogTemplate from their start-up.
struct DialogTemplateRegistrar {
    DialogTemplateRegistrar(UINT id, const DialogTemplate& tmpl) { RegisterDialogTemplate(id, &tmpl); }
};

}  // namespace platform::afx

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

inline BOOL AfxRegisterDialogTemplate(UINT id, const platform::afx::DialogTemplate* tmpl)
{
    platform::afx::RegisterDialogTemplate(id, tmpl);
    return tmpl != nullptr;
}
