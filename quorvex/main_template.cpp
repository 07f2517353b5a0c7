// Template 102: the Quorvex front panel.
#include "quorvex/resources.h"

#include "ui/panel_template.h"
#include "ui/resource.h"

using namespace platform::afx;
using platform::com::PropertyBag;

namespace {

ControlTemplate Label(int id, const char* caption, int x, int y, int cx, int cy, PropertyBag extra = {})
{
    PropertyBag bag{{"Caption", std::string(caption)}};
    bag.insert(bag.end(), extra.begin(), extra.end());
    return EmbeddedControl(id, CLSID_PANEL_LABEL, x, y, cx, cy, bag);
}

const PropertyBag kScale = {{"Alignment", std::string("right")}, {"FontSize", 6.0}};
const PropertyBag kCentred = {{"Alignment", std::string("center")}};

DialogTemplate MakeMainTemplate()
{
    DialogTemplate t;
    t.caption = "Quorvex Test Utility";
    t.cx = 561;
    t.cy = 281;
    t.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;  // no system menu: no close box
    t.exStyle = WS_EX_APPWINDOW;
    t.controls = {
        EmbeddedControl(IDC_CHART, CLSID_PANEL_STRIP_CHART, 8, 5, 541, 185,
                        StripChartSetUp(270000.0, 128.0,
                                        "ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;"
                                        "ch5,255,0,0;ch6,16711680,0,0;ch7,16711680,0,0;ch8,16711680,0,0")),

        GroupBox("Impedance", 10, 194, 100, 81),
        EmbeddedControl(IDC_IMPEDANCE_1 + 0, CLSID_PANEL_LED_BAR, 36, 207, 10, 54, ImpedanceBarSetUp()),
        EmbeddedControl(IDC_IMPEDANCE_1 + 1, CLSID_PANEL_LED_BAR, 50, 207, 10, 54, ImpedanceBarSetUp()),
        EmbeddedControl(IDC_IMPEDANCE_1 + 2, CLSID_PANEL_LED_BAR, 64, 207, 10, 54, ImpedanceBarSetUp()),
        EmbeddedControl(IDC_IMPEDANCE_1 + 3, CLSID_PANEL_LED_BAR, 78, 207, 10, 54, ImpedanceBarSetUp()),
        EmbeddedControl(IDC_IMPEDANCE_1 + 4, CLSID_PANEL_LED_BAR, 92, 207, 10, 54, ImpedanceBarSetUp()),
        Label(IDC_SCALE_30K, "30K -", 12, 206, 23, 9, kScale),
        Label(IDC_SCALE_20K, "20K -", 12, 215, 23, 9, kScale),
        Label(IDC_SCALE_15K, "15K -", 12, 229, 23, 9, kScale),
        Label(IDC_SCALE_10K, "10K -", 12, 239, 23, 9, kScale),
        Label(IDC_SCALE_2K, "2K -", 16, 250, 19, 9, kScale),
        Label(IDC_BAR_NAME_1 + 0, "1 ", 16, 264, 30, 9, {{"Alignment", std::string("right")}}),
        Label(IDC_BAR_NAME_1 + 1, "2", 46, 264, 18, 9, kCentred),
        Label(IDC_BAR_NAME_1 + 2, "3", 62, 264, 14, 9, kCentred),
        Label(IDC_BAR_NAME_1 + 3, "4", 75, 264, 14, 9, kCentred),
        Label(IDC_BAR_NAME_1 + 4, "R", 89, 264, 14, 9, kCentred),

        GroupBox("Range", 116, 193, 75, 81),
        EmbeddedControl(IDC_RANGE, CLSID_PANEL_ROTARY_SWITCH, 119, 204, 68, 64,
                        {{"PositionLabels", std::string("50, 100, 500")}, {"Position", 1}}),
        GroupBox("Mode", 199, 193, 77, 81),
        EmbeddedControl(IDC_MODE, CLSID_PANEL_ROTARY_SWITCH, 203, 204, 71, 64,
                        {{"PositionLabels", std::string("CAL, EEG, Ztest")}, {"Position", 0}}),

        GroupBox("Calibration", 284, 193, 83, 81),
        Label(IDC_HZ_CAPTION, "Hz: ", 294, 212, 25, 13),
        Label(IDC_UV_CAPTION, "uV: ", 294, 228, 25, 13),
        Label(IDC_CAL_FREQUENCY, "10.00", 323, 212, 38, 13, ReadOutLook()),
        Label(IDC_CAL_AMPLITUDE, "50", 323, 228, 38, 13, ReadOutLook()),
        PushButton(IDC_CONFIGURE, "Configure", 294, 253, 66, 17),

        EmbeddedControl(IDC_SCROLL, CLSID_PANEL_LED_SWITCH, 399, 198, 60, 17,
                        {{"Caption", std::string("SCROLL")}, {"LedState", true}}),
        EmbeddedControl(IDC_POWER, CLSID_PANEL_LED_SWITCH, 490, 198, 60, 17,
                        {{"Caption", std::string("POWER")}, {"LedState", false}, {"Latching", true}}),
        PushButton(IDC_ABOUT, "About", 490, 228, 60, 17),
        DefPushButton(IDOK, "EXIT", 490, 251, 60, 17),

        StaticText("Aux ON", 372, 224, 36, 10),
        EmbeddedControl(IDC_AUX, CLSID_PANEL_TOGGLE_SWITCH, 379, 236, 14, 25),
        StaticText("Aux OFF", 372, 265, 36, 10),
        StaticText("4 Ch.", 405, 224, 24, 10),
        EmbeddedControl(IDC_CHANNELS, CLSID_PANEL_TOGGLE_SWITCH, 406, 236, 14, 25),
        StaticText("2 Ch.", 405, 265, 23, 10),
        StaticText("UnLink", 430, 224, 28, 10),
        EmbeddedControl(IDC_REFERENCE, CLSID_PANEL_TOGGLE_SWITCH, 433, 236, 14, 25),
        StaticText("Link REF", 428, 265, 34, 10),
        StaticText("50Hz", 459, 224, 24, 10),
        EmbeddedControl(IDC_NOTCH, CLSID_PANEL_TOGGLE_SWITCH, 460, 236, 14, 25),
        StaticText("60Hz", 460, 265, 24, 10),
    };
    return t;
}

}  // namespace

const DialogTemplate& QuorvexMainTemplate()
{
    static const DialogTemplate t = MakeMainTemplate();
    return t;
}
