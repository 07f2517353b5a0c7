// The strip chart control's custom interface, as its type library describes it.
// Results are negative on failure (an unknown channel or column).
//
// The chart's template properties: XAxisMax, YAxisMax, XAxisShow, YAxisShow, AutoScrollType
// ("scrollPage"), AutoScrollStepSize, AutoScaleEnabled, ShowLegend, ShowToolBar,
// XAxisTickMajorCount, YAxisTickMajorCount, GridLineStyle ("lineDot"), BackGroundColor,
// GridBackGroundColor, AxisGridColor (0x00BBGGRR ints) and Channels, a string of up to eight
// "name,colour,a,b" entries separated by ';' (colour a 0x00BBGGRR decimal int, a and b the two
// numbers kept per channel), e.g. "ch1,64,0,1;ch2,0,0,1;...;ch8,16711680,0,0".
#pragma once

#include "platform/com/com.h"

inline constexpr IID IID_IStripChart = platform::com::MakeGuid("{D1120C7C-28C7-11D3-85BF-00105AC8B715}");

struct IStripChart : IUnknown {
    virtual HRESULT BeginUpdate() = 0;
    virtual HRESULT EndUpdate() = 0;
    virtual HRESULT AddColumn(double x, LONG* columnIndex) = 0;
    virtual HRESULT SetChannelValue(LONG channel, LONG columnIndex, double value) = 0;
};
