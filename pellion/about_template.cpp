// Template 130: the Pellion About box.
#include "pellion/resources.h"

#include "ui/panel_template.h"
#include "ui/resource.h"

using namespace platform::afx;

namespace {

ControlTemplate Row(int id, const char* caption, int x, int y, int cx, const char* align)
{
    return EmbeddedControl(id, CLSID_PANEL_LABEL, x, y, cx, 15,
                           {{"Caption", std::string(caption)}, {"Alignment", std::string(align)}});
}

DialogTemplate MakeAboutTemplate()
{
    DialogTemplate t;
    t.caption = "Pellion ";
    t.x = 70;
    t.y = 8;
    t.cx = 323;
    t.cy = 134;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.controls = {
        EmbeddedControl(IDC_ABOUT_TITLE, CLSID_PANEL_LABEL, 14, 8, 294, 23,
                        {{"Caption", std::string("Pellion Test Utility    ver. 4.1")},
                         {"Alignment", std::string("center")},
                         {"FontSize", 12.0}}),
        Row(IDC_USB_DRIVER_CAPTION, "USB Driver Version: ", 60, 40, 142, "right"),
        Row(IDC_USB_DRIVER_VERSION, "Ver. 1.0", 208, 40, 57, "left"),
        Row(IDC_FIRMWARE_CAPTION, "Amplifier Firmware Version: ", 60, 59, 142, "right"),
        Row(IDC_FIRMWARE_VERSION, "Ver. 1.0", 208, 59, 57, "left"),
        Row(IDC_SERIAL_CAPTION, "Amplifier Serial Number: ", 60, 78, 142, "right"),
        Row(IDC_SERIAL_NUMBER, "Ver. 1.0", 208, 78, 57, "left"),
        DefPushButton(IDOK, "OK", 255, 107, 49, 17),
    };
    return t;
}

}  // namespace

const DialogTemplate& PellionAboutTemplate()
{
    static const DialogTemplate t = MakeAboutTemplate();
    return t;
}
