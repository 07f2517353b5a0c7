// The strip chart's COM object: IDispatch and IPanelControl like every instrument, plus IStripChart.
// A bad channel or column gives E_INVALIDARG.
#pragma once

#include "platform/com/stripchart.h"
#include "platform/instruments/control_object.h"
#include "platform/instruments/kinds.h"

namespace platform::instruments {

class StripChartObject : public ControlObject<StripChart, IStripChart> {
public:
    StripChartObject() : ControlObject(&DispatchStripChart) {}

    HRESULT BeginUpdate() override
    {
        if (!widget()) return E_UNEXPECTED;
        widget()->BeginUpdate();
        return S_OK;
    }
    HRESULT EndUpdate() override
    {
        if (!widget()) return E_UNEXPECTED;
        widget()->EndUpdate();
        return S_OK;
    }
    HRESULT AddColumn(double x, LONG* columnIndex) override
    {
        if (!columnIndex) return E_POINTER;
        if (!widget()) return E_UNEXPECTED;
        *columnIndex = widget()->AddColumn(x);
        return S_OK;
    }
    HRESULT SetChannelValue(LONG channel, LONG columnIndex, double value) override
    {
        if (!widget()) return E_UNEXPECTED;
        return widget()->SetChannelValue(channel, columnIndex, value) ? S_OK : E_INVALIDARG;
    }
};

}  // namespace platform::instruments
