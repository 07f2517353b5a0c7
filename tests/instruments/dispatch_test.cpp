#include "tests/instruments/instrument_fixture.h"

namespace platform::instruments::test {
namespace {

using com::Variant;

TEST(ControlDispatch, PropertiesReadBackWhatWasPut)
{
    Hosted<PanelLabel> label;
    EXPECT_EQ(label.Put(DISPID_CAPTION, std::string("Ver. 2.3")), S_OK);
    EXPECT_EQ(label.Get(DISPID_CAPTION), Variant(std::string("Ver. 2.3")));

    Hosted<LedSwitch> led;
    EXPECT_EQ(led.Put(DISPID_CAPTION, std::string(" STOP")), S_OK);
    EXPECT_EQ(led.Get(DISPID_CAPTION), Variant(std::string(" STOP")));  // the leading blank stays

    Hosted<RotarySwitch> rotary({{"PositionLabels", std::string("50, 100, 500")}});
    EXPECT_EQ(rotary.Put(10, int32_t(2)), S_OK);
    EXPECT_EQ(rotary.Get(10), Variant(int32_t(2)));

    Hosted<ToggleSwitch> toggle;
    EXPECT_EQ(toggle.Put(1, true), S_OK);
    EXPECT_EQ(toggle.Get(1), Variant(true));

    Hosted<LedBar> bar({{"PositionMax", 30.0}});
    EXPECT_EQ(bar.Put(19, 12.5), S_OK);
    EXPECT_EQ(bar.Get(19), Variant(12.5));

    Hosted<SevenSegment> display;
    EXPECT_EQ(display.Put(2, 123.45), S_OK);
    EXPECT_EQ(display.Get(2), Variant(123.45));
}

TEST(ControlDispatch, NumbersConvertAsAutomationWould)
{
    Hosted<LedBar> bar({{"PositionMax", 30.0}});
    EXPECT_EQ(bar.Put(19, int32_t(7)), S_OK);
    EXPECT_EQ(bar.Get(19), Variant(7.0));
    Hosted<LedSwitch> led;
    EXPECT_EQ(led.Call(14, {int32_t(1)}), S_OK);
    EXPECT_TRUE(led.widget->LedState());
}

struct BadCall {
    const char* what;
    DISPID id;
    WORD flags;
    std::vector<Variant> args;
    HRESULT expected;
};

TEST(ControlDispatch, BadCallsFailWithTheAutomationError)
{
    const BadCall calls[] = {
        {"unknown dispid", 77, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
        {"put without value", 19, DISPATCH_PROPERTYPUT, {}, DISP_E_BADPARAMCOUNT},
        {"put with two values", 19, DISPATCH_PROPERTYPUT, {1.0, 2.0}, DISP_E_BADPARAMCOUNT},
        {"get with an argument", 19, DISPATCH_PROPERTYGET, {1.0}, DISP_E_BADPARAMCOUNT},
        {"text for a number", 19, DISPATCH_PROPERTYPUT, {std::string("12")}, DISP_E_TYPEMISMATCH},
        {"empty value", 19, DISPATCH_PROPERTYPUT, {std::monostate{}}, DISP_E_TYPEMISMATCH},
    };
    Hosted<LedBar> bar({{"PositionMax", 30.0}});
    for (const BadCall& c : calls)
        EXPECT_EQ(bar.dispatch->Invoke(c.id, c.flags, c.args, nullptr), c.expected) << c.what;
    EXPECT_EQ(bar.widget->Level(), 0.0);

    Hosted<LedSwitch> led;
    EXPECT_EQ(led.dispatch->Invoke(14, DISPATCH_PROPERTYPUT, std::vector<Variant>{true}, nullptr),
              DISP_E_MEMBERNOTFOUND)
        << "SetLedState is a method";
    EXPECT_EQ(led.Call(14), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(led.Call(14, {std::string("on")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(led.Put(DISPID_CAPTION, int32_t(3)), DISP_E_TYPEMISMATCH);

    Hosted<RotarySwitch> rotary({{"PositionLabels", std::string("a, b, c")}});
    EXPECT_EQ(rotary.Call(28, {int32_t(3)}), E_INVALIDARG);
    EXPECT_EQ(rotary.Call(28, {int32_t(-1)}), E_INVALIDARG);
    EXPECT_EQ(rotary.Call(30, {int32_t(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(rotary.widget->Position(), 0);
}

TEST(ControlDispatch, InterfacesAreTheOnesEachKindHas)
{
    Hosted<LedBar> bar;
    void* p = nullptr;
    EXPECT_EQ(bar.dispatch->QueryInterface(IID_IStripChart, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(bar.dispatch->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(bar.dispatch));
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(bar.dispatch->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ControlDispatch, AControlWhoseWidgetIsGoneAnswersUnexpected)
{
    Hosted<PanelLabel> label;
    delete label.widget;  // as when the container's window is destroyed first
    EXPECT_EQ(label.control->Widget(), nullptr);
    EXPECT_EQ(label.Put(DISPID_CAPTION, std::string("x")), E_UNEXPECTED);
}

}  // namespace
}  // namespace platform::instruments::test
