// Every instrument kind with the dispatch table its COM object answers.
#pragma once

#include "platform/instruments/dispatch.h"
#include "platform/instruments/label.h"
#include "platform/instruments/led_switch.h"
#include "platform/instruments/strip_chart.h"

namespace platform::instruments {

// Caption (-518) get/put.
HRESULT DispatchLabel(PanelLabel& w, DISPID id, const Call& c);
// Caption (-518) get/put; SetLedState(bool) (14) method; LedState (15) get/put.
HRESULT DispatchLedSwitch(LedSwitch& w, DISPID id, const Call& c);
// XAxisMax (1) and YAxisMax (2) get; everything else goes through IStripChart.
HRESULT DispatchStripChart(StripChart& w, DISPID id, const Call& c);

}  // namespace platform::instruments
