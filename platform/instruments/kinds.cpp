#include "platform/instruments/kinds.h"

namespace platform::instruments {

namespace {

auto NoPut = [](auto) { return DISP_E_MEMBERNOTFOUND; };

}  // namespace

HRESULT DispatchLabel(PanelLabel& w, DISPID id, const Call& c)
{
    if (id == DISPID_CAPTION)
        return Property<std::string>(
            c, [&] { return w.Caption().toStdString(); },
            [&](const std::string& s) { w.SetCaption(QString::fromStdString(s)); return S_OK; });
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT DispatchLedSwitch(LedSwitch& w, DISPID id, const Call& c)
{
    switch (id) {
    case DISPID_CAPTION:
        return Property<std::string>(
            c, [&] { return w.Caption().toStdString(); },
            [&](const std::string& s) { w.SetCaption(QString::fromStdString(s)); return S_OK; });
    case 14:
        return Method1<bool>(c, [&](bool on) { w.SetLedState(on); return S_OK; });
    case 15:
        return Property<bool>(c, [&] { return w.LedState(); }, [&](bool on) { w.SetLedState(on); return S_OK; });
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT DispatchStripChart(StripChart& w, DISPID id, const Call& c)
{
    switch (id) {
    case 1:
        return Property<double>(c, [&] { return w.XAxisMax(); }, NoPut);
    case 2:
        return Property<double>(c, [&] { return w.YAxisMax(); }, NoPut);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace platform::instruments
