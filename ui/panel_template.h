// Pieces the front-panel templates of both models share: the instrument classes and the initial
// properties of the strip chart, the impedance bars and the read-outs.
#pragma once

#include "platform/afx/dialog_template.h"
#include "platform/com/com.h"

#include <string>

inline constexpr CLSID CLSID_PANEL_LABEL = platform::com::MakeGuid("{EBF31E97-980B-4C2B-9645-8FEBD518356B}");
inline constexpr CLSID CLSID_PANEL_LED_SWITCH = platform::com::MakeGuid("{0A36238C-2E5E-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PANEL_ROTARY_SWITCH = platform::com::MakeGuid("{46B4AAA4-2E6B-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PANEL_TOGGLE_SWITCH = platform::com::MakeGuid("{0A362397-2E5E-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PANEL_LED_BAR = platform::com::MakeGuid("{C5412E14-2E2F-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PANEL_SEVEN_SEGMENT = platform::com::MakeGuid("{C5412E33-2E2F-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PANEL_STRIP_CHART = platform::com::MakeGuid("{D1120C80-28C7-11D3-85BF-00105AC8B715}");

// The chart as both panels store it; they differ in the y range, the scroll step and the channels
// ("name,colour,n1,n2;" eight times, colours as 0x00BBGGRR).
platform::com::PropertyBag StripChartSetUp(double yAxisMax, double scrollStep, const std::string& channels);
// An impedance LED bar: 0 to 30 kilohms in four coloured sections.
platform::com::PropertyBag ImpedanceBarSetUp();
// A sunken read-out label.
platform::com::PropertyBag ReadOutLook();
