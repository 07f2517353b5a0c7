// Every instrument kind with the dispatch table its COM object answers.
#pragma once

#include "platform/instruments/dispatch.h"
#include "platform/instruments/label.h"
#include "platform/instruments/led_bar.h"
#include "platform/instruments/led_switch.h"
#include "platform/instruments/rotary_switch.h"
#include "platform/instruments/seven_segment.h"
#include "platform/instruments/strip_chart.h"
#include "platform/instruments/toggle_switch.h"

namespace platform::instruments {

// Caption (-518) get/put.
HRESULT DispatchLabel(PanelLabel& w, DISPID id, const Call& c);
// Caption (-518) get/put; SetLedState(bool) (14) method; LedState (15) get/put.
HRESULT DispatchLedSwitch(LedSwitch& w, DISPID id, const Call& c);
// Position (10) get/put, PositionLabels (11) get/put as "50, 100, 500", SetPointerPosition(int)
// (28) and Redraw (30) methods. Only the user's turns raise events.
HRESULT DispatchRotarySwitch(RotarySwitch& w, DISPID id, const Call& c);
// Active (1) get/put.
HRESULT DispatchToggleSwitch(ToggleSwitch& w, DISPID id, const Call& c);
// Level (19) and PositionMax (20) get/put.
HRESULT DispatchLedBar(LedBar& w, DISPID id, const Call& c);
// Value (2) and DigitCount (3) get/put.
HRESULT DispatchSevenSegment(SevenSegment& w, DISPID id, const Call& c);
// XAxisMax (1) and YAxisMax (2) get; everything else goes through IStripChart.
HRESULT DispatchStripChart(StripChart& w, DISPID id, const Call& c);

}  // namespace platform::instruments
