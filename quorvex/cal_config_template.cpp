// Template 132: Calibration Settings.
#include "quorvex/resources.h"

#include "ui/panel_template.h"
#include "ui/resource.h"

using namespace platform::afx;

namespace {

ControlTemplate Key(int id, const char* caption, int x, int y, int cx, int cy)
{
    return EmbeddedControl(id, CLSID_PANEL_LED_SWITCH, x, y, cx, cy,
                           {{"Caption", std::string(caption)}, {"LedState", false}});
}

DialogTemplate MakeCalConfigTemplate()
{
    DialogTemplate t;
    t.caption = "Calibration Settings";
    t.x = 35;
    t.y = -5;
    t.cx = 374;
    t.cy = 148;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.controls = {
        GroupBox("Frequency", 14, 4, 185, 94),
        EmbeddedControl(IDC_FREQUENCY_DISPLAY, CLSID_PANEL_SEVEN_SEGMENT, 28, 15, 153, 46,
                        {{"DigitCount", 5}, {"Value", 10.0}, {"ShowSign", false}}),
        // One column of keys under each digit: hundreds, tens, units, tenths, hundredths.
        Key(1098, "+", 35, 64, 19, 13),
        Key(1102, "-", 35, 79, 19, 13),
        Key(1103, "+", 65, 64, 19, 13),
        Key(1104, "-", 65, 79, 19, 13),
        Key(1099, "+", 95, 64, 19, 13),
        Key(1105, "-", 95, 79, 19, 13),
        Key(1100, "+", 125, 64, 19, 13),
        Key(1106, "-", 125, 79, 19, 13),
        Key(1101, "+", 155, 64, 19, 13),
        Key(1107, "-", 155, 79, 19, 13),
        Key(1108, "   2.00", 20, 103, 41, 16),
        Key(1109, "   4.00", 64, 103, 41, 16),
        Key(1110, "   6.00", 108, 103, 41, 16),
        Key(1111, "   8.00", 152, 103, 41, 16),
        Key(1116, "  10.00", 20, 124, 41, 16),
        Key(1117, "  12.00", 64, 124, 41, 16),
        Key(1118, "  14.00", 108, 124, 41, 16),
        Key(1119, "  20.00", 152, 124, 41, 16),
        GroupBox("Amplitude", 218, 4, 133, 94),
        StaticText("uVs p-p", 309, 11, 27, 10),
        EmbeddedControl(IDC_AMPLITUDE_SWITCH, CLSID_PANEL_ROTARY_SWITCH, 224, 21, 122, 76,
                        {{"PositionLabels", std::string("0, 5, 10, 15, 20, 25, 50, 75, 100")}, {"Position", 6}}),
        DefPushButton(IDOK, "OK", 230, 116, 50, 20),
        PushButton(IDCANCEL, "Cancel", 293, 116, 50, 20),
    };
    return t;
}

}  // namespace

const DialogTemplate& QuorvexCalConfigTemplate()
{
    static const DialogTemplate t = MakeCalConfigTemplate();
    return t;
}
