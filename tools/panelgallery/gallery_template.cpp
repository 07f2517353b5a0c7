#include "tools/panelgallery/gallery.h"

#include "platform/instruments/register.h"

namespace {

namespace afx = platform::afx;
namespace ins = platform::instruments;
using platform::com::PropertyBag;

const PropertyBag kChart = {
    {"XAxisMax", 1024.0},
    {"YAxisMax", 270000.0},
    {"XAxisShow", false},
    {"YAxisShow", false},
    {"AutoScrollType", std::string("scrollPage")},
    {"AutoScrollStepSize", 128.0},
    {"AutoScaleEnabled", false},
    {"ShowLegend", false},
    {"ShowToolBar", false},
    {"XAxisTickMajorCount", int32_t(9)},
    {"YAxisTickMajorCount", int32_t(2)},
    {"GridLineStyle", std::string("lineDot")},
    {"BackGroundColor", int32_t(7346457)},
    {"GridBackGroundColor", int32_t(14474460)},
    {"AxisGridColor", int32_t(11829830)},
    {"Channels", std::string("ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;ch5,255,0,0;ch6,16711680,0,0;"
                             "ch7,16711680,0,0;ch8,16711680,0,0")},
};

PropertyBag Bar()
{
    return {{"PositionMax", 30.0},
            {"SectionCount", int32_t(4)},
            {"SectionEnd1", 10.0},
            {"SectionEnd2", 15.0},
            {"SectionEnd3", 20.0},
            {"SectionColor1", std::string("default")},
            {"SectionColor2", int32_t(3145645)},
            {"SectionColor3", std::string("clYellow")},
            {"SectionColor4", std::string("clRed")},
            {"SegmentSize", int32_t(3)},
            {"SegmentSpacing", int32_t(1)}};
}

PropertyBag Text(const char* caption)
{
    return {{"Caption", std::string(caption)}};
}

afx::DialogTemplate MakeTemplate()
{
    afx::DialogTemplate d;
    d.caption = "Instrument Gallery";
    d.cx = 561;
    d.cy = 281;
    d.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | WS_SYSMENU;
    d.exStyle = WS_EX_APPWINDOW;
    auto& c = d.controls;
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_CHART, ins::CLSID_PanelStripChart, 8, 5, 541, 185, kChart));

    c.push_back(afx::GroupBox("Impedance", 10, 194, 100, 81));
    const char* scale[] = {"30K -", "20K -", "15K -", "10K -", "2K -"};
    const int scaleY[] = {206, 215, 229, 239, 250};
    for (int i = 0; i < 5; ++i)
        c.push_back(
            afx::EmbeddedControl(1020 - i, ins::CLSID_PanelLabel, i == 4 ? 16 : 12, scaleY[i], 24, 10, Text(scale[i])));
    const char* names[] = {"1 ", "2", "3", "4", "R"};
    const int nameX[] = {38, 52, 66, 80, 94};
    for (int i = 0; i < 5; ++i) {
        c.push_back(
            afx::EmbeddedControl(IDC_GALLERY_BAR0 + i, ins::CLSID_PanelLedBar, 36 + 14 * i, 207, 10, 54, Bar()));
        c.push_back(afx::EmbeddedControl(1021 + i, ins::CLSID_PanelLabel, nameX[i], 263, 8, 10, Text(names[i])));
    }

    c.push_back(afx::GroupBox("Range", 116, 193, 75, 81));
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_RANGE, ins::CLSID_PanelRotarySwitch, 119, 204, 68, 64,
                                     {{"PositionLabels", std::string("50, 100, 500")}, {"Position", int32_t(1)}}));
    c.push_back(afx::GroupBox("Mode", 199, 193, 77, 81));
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_MODE, ins::CLSID_PanelRotarySwitch, 203, 204, 71, 64,
                                     {{"PositionLabels", std::string("CAL, EEG, Ztest")}, {"Position", int32_t(1)}}));

    c.push_back(afx::GroupBox("Calibration", 284, 193, 83, 81));
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_FREQUENCY, ins::CLSID_PanelSevenSegment, 290, 204, 71, 24,
                                     {{"DigitCount", int32_t(5)}, {"Value", 10.0}, {"ShowSign", false}}));
    c.push_back(afx::EmbeddedControl(1033, ins::CLSID_PanelLabel, 294, 236, 25, 13, Text("uV: ")));
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_AMPLITUDE, ins::CLSID_PanelLabel, 323, 236, 38, 13, Text("50")));
    c.push_back(afx::EmbeddedControl(1053, ins::CLSID_PanelLabel, 288, 252, 76, 18,
                                     {{"Caption", std::string("Gallery")},
                                      {"Raised", true},
                                      {"FontColor", int32_t(0xC00000)},
                                      {"FontSize", 12.0},
                                      {"Alignment", std::string("center")}}));

    c.push_back(afx::EmbeddedControl(IDC_GALLERY_SCROLL, ins::CLSID_PanelLedSwitch, 399, 198, 60, 17, Text(" STOP")));
    c.push_back(afx::EmbeddedControl(IDC_GALLERY_POWER, ins::CLSID_PanelLedSwitch, 490, 198, 60, 17, Text("POWER")));
    c.push_back(afx::DefPushButton(IDOK, "EXIT", 490, 251, 60, 17));

    const char* above[] = {"Aux ON", "4 Ch.", "UnLink", "50Hz"};
    const char* below[] = {"Aux OFF", "2 Ch.", "Link REF", "60Hz"};
    const int toggleX[] = {379, 406, 433, 460};
    const int aboveX[] = {372, 405, 430, 459};
    const int belowX[] = {372, 405, 428, 460};
    const int aboveW[] = {32, 25, 29, 30};
    const int belowW[] = {32, 23, 32, 30};
    for (int i = 0; i < 4; ++i) {
        c.push_back(afx::StaticText(above[i], aboveX[i], 224, aboveW[i], 9));
        c.push_back(afx::EmbeddedControl(IDC_GALLERY_TOGGLE0 + i, ins::CLSID_PanelToggleSwitch, toggleX[i], 236, 14, 25,
                                         {{"Active", i % 2 == 0}}));
        c.push_back(afx::StaticText(below[i], belowX[i], 265, belowW[i], 9));
    }
    return d;
}

}  // namespace

const platform::afx::DialogTemplate& GalleryTemplate()
{
    static const platform::afx::DialogTemplate t = MakeTemplate();
    return t;
}
