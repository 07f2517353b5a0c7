// The strip chart control's custom interface, as its type library describes it.
// Results are negative on failure (an unknown channel or column).
#pragma once

#include "platform/com/com.h"

inline constexpr IID IID_IStripChart = platform::com::MakeGuid("{D1120C7C-28C7-11D3-85BF-00105AC8B715}");

struct IStripChart : IUnknown {
    virtual HRESULT BeginUpdate() = 0;
    virtual HRESULT EndUpdate() = 0;
    virtual HRESULT AddColumn(double x, LONG* columnIndex) = 0;
    virtual HRESULT SetChannelValue(LONG channel, LONG columnIndex, double value) = 0;
};
