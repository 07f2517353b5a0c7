#include "platform/instruments/register.h"

#include "platform/instruments/control_object.h"
#include "platform/instruments/kinds.h"

#include <mutex>

namespace platform::instruments {

namespace {

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

template <class W>
void Register(const CLSID& clsid, const char* className, HRESULT (*dispatch)(W&, DISPID, const Call&))
{
    com::RegisterClass(clsid, className, [dispatch]() -> IUnknown* {
        return static_cast<IDispatch*>(new ControlObject<W>(dispatch));
    });
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
