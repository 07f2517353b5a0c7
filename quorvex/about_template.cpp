// Template 130: the Quorvex About box.
#include "quorvex/resources.h"

#include "ui/panel_template.h"
#include "ui/resource.h"

using namespace platform::afx;
using platform::com::PropertyBag;

namespace {

ControlTemplate Label(int id, const char* caption, int x, int y, int cx, int cy, const char* align = "left",
                      double fontSize = 8.0)
{
    return EmbeddedControl(
        id, CLSID_PANEL_LABEL, x, y, cx, cy,
        {{"Caption", std::string(caption)}, {"Alignment", std::string(align)}, {"FontSize", fontSize}});
}

DialogTemplate MakeAboutTemplate()
{
    DialogTemplate t;
    t.caption = "Quorvex EEG Amplifier";
    t.x = 70;
    t.y = 8;
    t.cx = 323;
    t.cy = 144;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.controls = {
        Label(IDC_ABOUT_TITLE, "Quorvex  Test Utility  ver.4.1", 59, 8, 207, 23, "center", 12.0),
        Label(IDC_USB_DRIVER_CAPTION, "USB Driver Version: ", 61, 41, 142, 15, "right"),
        Label(IDC_USB_DRIVER_VERSION, "Ver. 1.0", 209, 41, 57, 15),
        Label(IDC_FIRMWARE_CAPTION, "Amplifier Firmware Version: ", 61, 60, 142, 15, "right"),
        Label(IDC_FIRMWARE_VERSION, "Ver. 1.0", 209, 60, 57, 15),
        Label(IDC_SERIAL_CAPTION, "Amplifier Serial Number: ", 61, 79, 142, 15, "right"),
        Label(IDC_SERIAL_NUMBER, "Ver. 1.0", 209, 79, 57, 15),
        DefPushButton(IDOK, "OK", 240, 112, 49, 17),
    };
    return t;
}

}  // namespace

const DialogTemplate& QuorvexAboutTemplate()
{
    static const DialogTemplate t = MakeAboutTemplate();
    return t;
}
