// Template 102: the Pellion front panel.
#include "pellion/resources.h"

#include "ui/panel_template.h"
#include "ui/resource.h"

using namespace platform::afx;
using platform::com::PropertyBag;

namespace {

ControlTemplate Text(int id, const char* caption, int x, int y, int cx, int cy, const char* align, double size)
{
    return EmbeddedControl(id, CLSID_PANEL_LABEL, x, y, cx, cy,
                           {{"Caption", std::string(caption)}, {"Alignment", std::string(align)}, {"FontSize", size}});
}

ControlTemplate Rotary(int id, const char* labels, int position, int x, int y, int cx, int cy)
{
    return EmbeddedControl(id, CLSID_PANEL_ROTARY_SWITCH, x, y, cx, cy,
                           {{"PositionLabels", std::string(labels)}, {"Position", position}});
}

ControlTemplate Bar(int id, int x)
{
    return EmbeddedControl(id, CLSID_PANEL_LED_BAR, x, 176, 14, 58, ImpedanceBarSetUp());
}

DialogTemplate MakeMainTemplate()
{
    DialogTemplate t;
    t.caption = "Pellion Test Utility";
    t.cx = 567;
    t.cy = 254;
    t.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;  // no system menu: no close box
    t.exStyle = WS_EX_APPWINDOW;
    t.controls = {
        EmbeddedControl(IDC_CHART, CLSID_PANEL_STRIP_CHART, 7, 5, 550, 155,
                        StripChartSetUp(263500.0, 1.0,
                                        "ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;"
                                        "ch5,255,0,0;ch6,16711680,0,0;ch7,16711680,0,0;ch8,16711680,0,0")),

        // Electrode 1's minus and plus bars, then electrode 2's; ids follow the channels they show.
        GroupBox("Electrode Impedance", 8, 165, 113, 83),
        Bar(IDC_IMPEDANCE_1 + 0, 35),
        Bar(IDC_IMPEDANCE_1 + 2, 55),
        Bar(IDC_IMPEDANCE_1 + 1, 78),
        Bar(IDC_IMPEDANCE_1 + 3, 98),
        Text(IDC_SCALE_30K, "30K -", 13, 177, 22, 9, "right", 7.0),
        Text(IDC_SCALE_20K, "20K -", 13, 191, 22, 9, "right", 7.0),
        Text(IDC_SCALE_15K, "15K -", 15, 200, 20, 9, "right", 7.0),
        Text(IDC_SCALE_10K, "10K -", 15, 210, 20, 9, "right", 7.0),
        Text(IDC_SCALE_2K, "2K -", 17, 225, 18, 9, "right", 7.0),
        Text(1027, "-", 40, 235, 6, 11, "center", 8.0),
        Text(1026, "1", 49, 235, 6, 11, "center", 8.0),
        Text(1029, "+", 59, 236, 6, 11, "center", 8.0),
        Text(1024, "-", 82, 235, 6, 11, "center", 8.0),
        Text(1023, "2", 92, 235, 6, 11, "center", 8.0),
        Text(1025, "+", 102, 236, 6, 11, "center", 8.0),

        GroupBox("Range", 130, 165, 75, 83),
        Rotary(IDC_RANGE, "50, 100, 500", 1, 133, 178, 68, 64),
        GroupBox("Mode", 212, 165, 77, 83),
        Rotary(IDC_MODE, "Test, EEG, Ztest", 0, 215, 178, 71, 64),
        GroupBox("Notch Filter", 295, 165, 77, 83),
        Rotary(IDC_NOTCH_SWITCH, "60Hz, 50Hz, OFF", 0, 299, 178, 71, 64),

        StaticText("Aux ON", 384, 181, 34, 9),
        EmbeddedControl(IDC_AUX, CLSID_PANEL_TOGGLE_SWITCH, 389, 195, 16, 31),
        StaticText("Aux OFF", 385, 232, 36, 9),

        EmbeddedControl(IDC_MODEL_LABEL, CLSID_PANEL_LABEL, 438, 166, 93, 23,
                        {{"Caption", std::string("Pellion")},
                         {"Alignment", std::string("center")},
                         {"FontSize", 16.0},
                         {"FontBold", true},
                         {"FontColor", 16711680},
                         {"Raised", true}}),
        EmbeddedControl(IDC_SCROLL, CLSID_PANEL_LED_SWITCH, 425, 196, 60, 17,
                        {{"Caption", std::string("SCROLL")}, {"LedState", true}}),
        EmbeddedControl(IDC_POWER, CLSID_PANEL_LED_SWITCH, 425, 221, 60, 17,
                        {{"Caption", std::string("POWER")}, {"LedState", false}, {"Latching", true}}),
        PushButton(IDC_ABOUT, "About", 497, 196, 53, 17),
        DefPushButton(IDOK, "EXIT", 497, 221, 53, 17),
    };
    return t;
}

}  // namespace

const DialogTemplate& PellionMainTemplate()
{
    static const DialogTemplate t = MakeMainTemplate();
    return t;
}
