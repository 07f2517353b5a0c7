// Shared by the instrument tests: one QApplication for the process, and COM objects of each kind
// with the events they raise recorded.
#pragma once

#include "platform/instruments/control_object.h"
#include "platform/instruments/kinds.h"
#include "platform/instruments/strip_chart_object.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <vector>

namespace platform::instruments::test {

inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "instruments_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

template <class W>
HRESULT (*DispatcherFor())
(W&, DISPID, const Call&)
{
    if constexpr (std::is_same_v<W, PanelLabel>) return &DispatchLabel;
    else if constexpr (std::is_same_v<W, LedSwitch>) return &DispatchLedSwitch;
    else if constexpr (std::is_same_v<W, RotarySwitch>) return &DispatchRotarySwitch;
    else if constexpr (std::is_same_v<W, ToggleSwitch>) return &DispatchToggleSwitch;
    else if constexpr (std::is_same_v<W, LedBar>) return &DispatchLedBar;
    else if constexpr (std::is_same_v<W, SevenSegment>) return &DispatchSevenSegment;
    else return &DispatchStripChart;
}

// One control as a container holds it: the COM object, its widget, the events it raised.
template <class W>
struct Hosted {
    IDispatch* dispatch = nullptr;
    IPanelControl* control = nullptr;
    W* widget = nullptr;
    std::vector<DISPID> events;

    explicit Hosted(const com::PropertyBag& bag = {}, QSize size = QSize(120, 100))
    {
        EnsureApplication();
        if constexpr (std::is_same_v<W, StripChart>) dispatch = new StripChartObject;
        else dispatch = new ControlObject<W>(DispatcherFor<W>());
        dispatch->QueryInterface(IID_IPanelControl, reinterpret_cast<void**>(&control));
        widget = static_cast<W*>(control->Widget());
        widget->resize(size);
        control->LoadProperties(bag);
        control->Advise([this](DISPID id) { events.push_back(id); });
    }
    ~Hosted()
    {
        if (control) control->Release();
        if (dispatch) dispatch->Release();
    }
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    HRESULT Put(DISPID id, com::Variant v) { return dispatch->Invoke(id, DISPATCH_PROPERTYPUT, {&v, 1}, nullptr); }
    com::Variant Get(DISPID id)
    {
        com::Variant out;
        EXPECT_EQ(dispatch->Invoke(id, DISPATCH_PROPERTYGET, {}, &out), S_OK);
        return out;
    }
    HRESULT Call(DISPID id, std::vector<com::Variant> args = {})
    {
        return dispatch->Invoke(id, DISPATCH_METHOD, args, nullptr);
    }
};

}  // namespace platform::instruments::test
