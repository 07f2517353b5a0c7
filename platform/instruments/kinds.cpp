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
            [&](const std::string& s) {
                w.SetCaption(QString::fromStdString(s));
                return S_OK;
            });
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT DispatchLedSwitch(LedSwitch& w, DISPID id, const Call& c)
{
    switch (id) {
    case DISPID_CAPTION:
        return Property<std::string>(
            c, [&] { return w.Caption().toStdString(); },
            [&](const std::string& s) {
                w.SetCaption(QString::fromStdString(s));
                return S_OK;
            });
    case 14:
        return Method1<bool>(c, [&](bool on) {
            w.SetLedState(on);
            return S_OK;
        });
    case 15:
        return Property<bool>(
            c, [&] { return w.LedState(); },
            [&](bool on) {
                w.SetLedState(on);
                return S_OK;
            });
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT DispatchRotarySwitch(RotarySwitch& w, DISPID id, const Call& c)
{
    switch (id) {
    case 10:
        return Property<int32_t>(
            c, [&] { return w.Position(); }, [&](int32_t pos) { return w.SetPosition(pos) ? S_OK : E_INVALIDARG; });
    case 11:
        return Property<std::string>(
            c, [&] { return w.Labels().join(", ").toStdString(); },
            [&](const std::string& s) {
                QStringList labels;
                for (const QString& part : QString::fromStdString(s).split(',')) labels << part.trimmed();
                w.SetLabels(labels);
                return S_OK;
            });
    case 28: return Method1<int32_t>(c, [&](int32_t pos) { return w.SetPosition(pos) ? S_OK : E_INVALIDARG; });
    case 30: return Method0(c, [&] { w.Redraw(); });
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT DispatchToggleSwitch(ToggleSwitch& w, DISPID id, const Call& c)
{
    if (id == 1)
        return Property<bool>(
            c, [&] { return w.Active(); },
            [&](bool on) {
                w.SetActive(on);
                return S_OK;
            });
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT DispatchLedBar(LedBar& w, DISPID id, const Call& c)
{
    switch (id) {
    case 19:
        return Property<double>(
            c, [&] { return w.Level(); },
            [&](double v) {
                w.SetLevel(v);
                return S_OK;
            });
    case 20:
        return Property<double>(
            c, [&] { return w.PositionMax(); },
            [&](double v) {
                if (!(v > 0)) return E_INVALIDARG;
                w.SetPositionMax(v);
                return S_OK;
            });
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT DispatchSevenSegment(SevenSegment& w, DISPID id, const Call& c)
{
    switch (id) {
    case 2:
        return Property<double>(
            c, [&] { return w.Value(); },
            [&](double v) {
                w.SetValue(v);
                return S_OK;
            });
    case 3:
        return Property<int32_t>(
            c, [&] { return w.DigitCount(); },
            [&](int32_t n) {
                if (n < 1 || n > 12) return E_INVALIDARG;
                w.SetDigitCount(n);
                return S_OK;
            });
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT DispatchStripChart(StripChart& w, DISPID id, const Call& c)
{
    switch (id) {
    case 1:
        return Property<double>(
            c, [&] { return w.XAxisMax(); }, NoPut);
    case 2:
        return Property<double>(
            c, [&] { return w.YAxisMax(); }, NoPut);
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace platform::instruments
