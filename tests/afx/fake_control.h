// A small embedded control for framework tests: records the dispatch calls it gets, answers a
// few properties, and raises events into the sink its container advised.
#pragma once

#include "platform/com/com.h"

#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace afx_test {

inline constexpr CLSID CLSID_FakeControl = platform::com::MakeGuid("{3D5A1C2E-7B4F-4E8A-9C61-0F2B3A4D5E6F}");
inline constexpr CLSID CLSID_Unregistered = platform::com::MakeGuid("{00000000-1111-2222-3333-444444444444}");

struct Call {
    DISPID id;
    WORD flags;
    std::vector<platform::com::Variant> args;
};

class FakeControl final : public platform::com::ComObject<IPanelControl, IDispatch> {
public:
    FakeControl() : m_widget(std::make_unique<QWidget>()) { ++s_alive; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPanelControl) *ppv = static_cast<IPanelControl*>(this);
        else if (riid == IID_IDispatch) *ppv = static_cast<IDispatch*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    QWidget* Widget() override { return m_widget.get(); }
    void LoadProperties(const platform::com::PropertyBag& bag) override
    {
        for (const auto& [name, value] : bag) m_props[name] = value;
    }
    void Advise(std::function<void(DISPID)> sink) override { m_sink = std::move(sink); }

    // DISPID 10 reads "Position", -518 writes or reads "Caption"; 14 is a method taking a bool.
    HRESULT Invoke(DISPID id, WORD flags, std::span<const platform::com::Variant> args,
                   platform::com::Variant* result) override
    {
        calls.push_back(Call{id, flags, {args.begin(), args.end()}});
        switch (id) {
        case 10:
            if (result) *result = m_props.count("Position") ? m_props["Position"] : platform::com::Variant(int32_t(0));
            return S_OK;
        case DISPID_CAPTION:
            if (flags & DISPATCH_PROPERTYPUT) {
                if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
                if (!std::holds_alternative<std::string>(args[0])) return DISP_E_TYPEMISMATCH;
                m_props["Caption"] = args[0];
            } else if (result) {
                *result = m_props["Caption"];
            }
            return S_OK;
        case 14:
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            if (!std::holds_alternative<bool>(args[0])) return DISP_E_TYPEMISMATCH;
            return S_OK;
        case 20:  // any arguments, nothing returned
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    void Fire(DISPID event)
    {
        if (m_sink) m_sink(event);
    }
    platform::com::Variant Prop(const std::string& name) { return m_props[name]; }

    std::vector<Call> calls;
    static inline int s_alive = 0;

protected:
    ~FakeControl() override { --s_alive; }

private:
    std::unique_ptr<QWidget> m_widget;
    std::map<std::string, platform::com::Variant> m_props;
    std::function<void(DISPID)> m_sink;
};

inline void RegisterFakeControl()
{
    platform::com::RegisterClass(CLSID_FakeControl, "Test.FakeControl",
                                 []() -> IUnknown* { return static_cast<IPanelControl*>(new FakeControl); });
}

// The fake behind a hosted control's unknown.
inline FakeControl* FakeOf(IUnknown* unknown)
{
    return static_cast<FakeControl*>(static_cast<IPanelControl*>(unknown));
}

}  // namespace afx_test
