#include "ui/panel_template.h"

using platform::com::PropertyBag;

PropertyBag StripChartSetUp(double yAxisMax, double scrollStep, const std::string& channels)
{
    return {
        {"XAxisMax", 1024.0},
        {"YAxisMax", yAxisMax},
        {"XAxisShow", false},
        {"YAxisShow", false},
        {"AutoScrollType", std::string("scrollPage")},
        {"AutoScrollStepSize", scrollStep},
        {"AutoScaleEnabled", false},
        {"ShowLegend", false},
        {"ShowToolBar", false},
        {"XAxisTickMajorCount", 9},
        {"YAxisTickMajorCount", 2},
        {"GridLineStyle", std::string("lineDot")},
        {"BackGroundColor", 7346457},
        {"GridBackGroundColor", 14474460},
        {"AxisGridColor", 11829830},
        {"Channels", channels},
    };
}

PropertyBag ImpedanceBarSetUp()
{
    return {
        {"PositionMax", 30.0},
        {"SectionCount", 4},
        {"SectionEnd1", 10.0},
        {"SectionEnd2", 15.0},
        {"SectionEnd3", 20.0},
        {"SectionColor1", std::string("default")},
        {"SectionColor2", 3145645},
        {"SectionColor3", std::string("clYellow")},
        {"SectionColor4", std::string("clRed")},
        {"SegmentSize", 3},
        {"SegmentSpacing", 1},
    };
}

PropertyBag ReadOutLook()
{
    return {{"Alignment", std::string("right")}, {"FontBold", true}};
}
