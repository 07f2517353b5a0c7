// The instrument controls as COM classes: label, LED push-switch, rotary switch, toggle switch,
// LED bar, seven-segment display and strip chart, each created by its CLSID (or its persisted class
// name as ProgID) and answering IDispatch, IPanelControl and, for the chart, IStripChart.
#pragma once

#include "platform/com/com.h"

namespace platform::instruments {

inline constexpr CLSID CLSID_PanelLabel = com::MakeGuid("{EBF31E97-980B-4C2B-9645-8FEBD518356B}");
inline constexpr CLSID CLSID_PanelLedSwitch = com::MakeGuid("{0A36238C-2E5E-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PanelRotarySwitch = com::MakeGuid("{46B4AAA4-2E6B-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PanelToggleSwitch = com::MakeGuid("{0A362397-2E5E-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PanelLedBar = com::MakeGuid("{C5412E14-2E2F-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PanelSevenSegment = com::MakeGuid("{C5412E33-2E2F-11D3-85BF-00105AC8B715}");
inline constexpr CLSID CLSID_PanelStripChart = com::MakeGuid("{D1120C80-28C7-11D3-85BF-00105AC8B715}");

// Registers all seven classes with platform::com; calling it again does nothing.
void RegisterControls();

}  // namespace platform::instruments
