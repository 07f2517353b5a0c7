// The COM face of an instrument widget. The object owns its widget: the container parents and
// places it, and the widget goes when the last reference does (or earlier with its parent, after
// which calls answer E_UNEXPECTED).
#pragma once

#include "platform/com/com.h"
#include "platform/com/stripchart.h"
#include "platform/instruments/dispatch.h"

#include <QPointer>

namespace platform::instruments {

template <class W, class... Extra>
class ControlObject : public com::ComObject<IDispatch, IPanelControl, Extra...> {
public:
    using Dispatcher = HRESULT (*)(W&, DISPID, const Call&);

    explicit ControlObject(Dispatcher dispatch) : m_widget(new W), m_dispatch(dispatch) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch) *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IPanelControl) *ppv = static_cast<IPanelControl*>(this);
        else if constexpr (sizeof...(Extra) > 0) {
            if (riid == IID_IStripChart) *ppv = static_cast<IStripChart*>(this);
        }
        if (!*ppv) return E_NOINTERFACE;
        this->AddRef();
        return S_OK;
    }

    HRESULT Invoke(DISPID id, WORD flags, std::span<const com::Variant> args, com::Variant* result) override
    {
        if (!m_widget) return E_UNEXPECTED;
        return m_dispatch(*m_widget, id, Call{flags, args, result});
    }

    QWidget* Widget() override { return m_widget.data(); }
    void LoadProperties(const com::PropertyBag& bag) override
    {
        if (m_widget) m_widget->LoadProperties(bag);
    }
    void Advise(std::function<void(DISPID)> sink) override
    {
        if (m_widget) m_widget->SetSink(std::move(sink));
    }

protected:
    ~ControlObject() override { delete m_widget.data(); }
    W* widget() const { return m_widget.data(); }

private:
    QPointer<W> m_widget;
    Dispatcher m_dispatch;
};

}  // namespace platform::instruments
