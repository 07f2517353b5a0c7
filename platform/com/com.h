// The little COM the programs need: IUnknown with QueryInterface and reference counts,
// dispatch by DISPID with simple values, classes created by CLSID or ProgID, and the hosting
// contract between a dialog and an embedded control. Calls fail with the HRESULT a caller would
// get from real COM; nothing here throws.
#pragma once

#include "platform/win32/windows.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class QWidget;

typedef LONG DISPID;
typedef uint16_t VARTYPE;
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPID_CAPTION (-518)
#define VT_EMPTY 0
#define VT_I4 3
#define VT_R8 5
#define VT_BSTR 8
#define VT_BOOL 11

namespace platform::com {

// Parses "{D1120C7C-28C7-11D3-85BF-00105AC8B715}" at compile time.
constexpr GUID MakeGuid(std::string_view text)
{
    auto hex = [](char c) -> uint32_t {
        return c >= '0' && c <= '9'   ? uint32_t(c - '0')
               : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                                      : uint32_t(c - 'A' + 10);
    };
    auto field = [&](size_t pos, size_t n) {
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) v = v << 4 | hex(text[pos + i]);
        return v;
    };
    GUID g{};
    g.Data1 = field(1, 8);
    g.Data2 = uint16_t(field(10, 4));
    g.Data3 = uint16_t(field(15, 4));
    g.Data4[0] = uint8_t(field(20, 2));
    g.Data4[1] = uint8_t(field(22, 2));
    for (size_t i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(field(25 + 2 * i, 2));
    return g;
}

// A dispatch value: empty, bool, 32-bit int, double or string.
using Variant = std::variant<std::monostate, bool, int32_t, double, std::string>;
VARTYPE TypeOf(const Variant& v);

// Name -> value, in the order a template stores them.
using PropertyBag = std::vector<std::pair<std::string, Variant>>;

}  // namespace platform::com

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
inline constexpr IID IID_IUnknown = platform::com::MakeGuid("{00000000-0000-0000-C000-000000000046}");

struct IDispatch : IUnknown {
    // flags: DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT. Unknown DISPID:
    // DISP_E_MEMBERNOTFOUND; wrong argument count: DISP_E_BADPARAMCOUNT; wrong type:
    // DISP_E_TYPEMISMATCH. `result` may be null when the caller wants none.
    virtual HRESULT Invoke(DISPID id, WORD flags, std::span<const platform::com::Variant> args,
                           platform::com::Variant* result) = 0;
};
inline constexpr IID IID_IDispatch = platform::com::MakeGuid("{00020400-0000-0000-C000-000000000046}");

// An embedded control as its container sees it (what OLE's control interfaces are to a real one).
struct IPanelControl : IUnknown {
    // The control's widget; the container parents and places it.
    virtual QWidget* Widget() = 0;
    // Initial properties from the dialog template; unknown names are ignored.
    virtual void LoadProperties(const platform::com::PropertyBag& bag) = 0;
    // The container's event sink: the control calls it with the event's DISPID on the UI thread.
    virtual void Advise(std::function<void(DISPID)> sink) = 0;
};
inline constexpr IID IID_IPanelControl = platform::com::MakeGuid("{6C1B3E2A-5D44-4A7B-9E0C-3A8F21D7B901}");

namespace platform::com {

// Reference-counting base for one-interface-plus-IUnknown objects.
template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// Owning interface pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : m_p(p) {}  // adopts a reference
    ComPtr(const ComPtr& o) : m_p(o.m_p)
    {
        if (m_p) m_p->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr o)
    {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~ComPtr()
    {
        if (m_p) m_p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** put()
    {
        reset();
        return &m_p;
    }
    void reset()
    {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }
    T* detach() { return std::exchange(m_p, nullptr); }

private:
    T* m_p = nullptr;
};

using Factory = std::function<IUnknown*()>;  // returns a new object holding one reference

// Registers a class; `progId` may be empty. Later registrations of a CLSID replace earlier ones.
void RegisterClass(const CLSID& clsid, const std::string& progId, Factory factory);
HRESULT CLSIDFromProgID(const char* progId, CLSID* clsid);  // CO_E_CLASSSTRING when unknown

}  // namespace platform::com

HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
// REGDB_E_CLASSNOTREG for an unknown class, E_NOINTERFACE when it lacks `riid`.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, LPVOID* ppv);
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_ALL 0x17
