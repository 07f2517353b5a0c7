#include "platform/instruments/register.h"

#include "platform/instruments/control_object.h"
#include "platform/instruments/kinds.h"
#include "platform/instruments/strip_chart_object.h"

#include <mutex>

namespace platform::instruments {

namespace {

template <class W>
void Register(const CLSID& clsid, const char* className, HRESULT (*dispatch)(W&, DISPID, const Call&))
{
    com::RegisterClass(clsid, className,
                       [dispatch]() -> IUnknown* { return static_cast<IDispatch*>(new ControlObject<W>(dispatch)); });
}

}  // namespace

void RegisterControls()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Register<PanelLabel>(CLSID_PanelLabel, "TPanelLabel", &DispatchLabel);
        Register<LedSwitch>(CLSID_PanelLedSwitch, "TPanelLedSwitch", &DispatchLedSwitch);
        Register<RotarySwitch>(CLSID_PanelRotarySwitch, "TPanelRotarySwitch", &DispatchRotarySwitch);
        Register<ToggleSwitch>(CLSID_PanelToggleSwitch, "TPanelToggleSwitch", &DispatchToggleSwitch);
        Register<LedBar>(CLSID_PanelLedBar, "TPanelLedBar", &DispatchLedBar);
        Register<SevenSegment>(CLSID_PanelSevenSegment, "TPanelSevenSegment", &DispatchSevenSegment);
        com::RegisterClass(CLSID_PanelStripChart, "TPanelStripChart",
                           []() -> IUnknown* { return static_cast<IDispatch*>(new StripChartObject); });
    });
}

}  // namespace platform::instruments
