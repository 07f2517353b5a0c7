// Class registry, creation by CLSID and ProgID, and the per-thread initialisation count.
#include "platform/com/com.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::com {
namespace {

#define CLASS_E_NOAGGREGATION_VALUE ((HRESULT)0x80040110L)

struct ClassEntry {
    CLSID clsid;
    std::string progId;
    Factory factory;
};

struct Registry {
    std::mutex mutex;
    std::vector<ClassEntry> classes;
};

Registry& registry()
{
    static Registry r;
    return r;
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsGuidText(std::string_view s)
{
    static constexpr std::string_view shape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (s.size() != shape.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (shape[i] == 'X') {
            if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
        } else if (s[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

thread_local int t_initCount = 0;

}  // namespace

VARTYPE TypeOf(const Variant& v)
{
    switch (v.index()) {
    case 1: return VT_BOOL;
    case 2: return VT_I4;
    case 3: return VT_R8;
    case 4: return VT_BSTR;
    default: return VT_EMPTY;
    }
}

void RegisterClass(const CLSID& clsid, const std::string& progId, Factory factory)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = std::find_if(r.classes.begin(), r.classes.end(), [&](const ClassEntry& e) { return e.clsid == clsid; });
    if (it != r.classes.end()) *it = ClassEntry{clsid, progId, std::move(factory)};
    else r.classes.push_back(ClassEntry{clsid, progId, std::move(factory)});
}

HRESULT CLSIDFromProgID(const char* progId, CLSID* clsid)
{
    if (!progId || !clsid) return E_INVALIDARG;
    std::string_view name(progId);
    if (IsGuidText(name)) {
        *clsid = MakeGuid(name);
        return S_OK;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const ClassEntry& e : r.classes) {
        if (!e.progId.empty() && SameText(e.progId, name)) {
            *clsid = e.clsid;
            return S_OK;
        }
    }
    return CO_E_CLASSSTRING;
}

}  // namespace platform::com

HRESULT CoInitialize(LPVOID)
{
    return platform::com::t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (platform::com::t_initCount > 0) --platform::com::t_initCount;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, LPVOID* ppv)
{
    using namespace platform::com;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION_VALUE;
    Factory factory;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        auto it =
            std::find_if(r.classes.begin(), r.classes.end(), [&](const ClassEntry& e) { return e.clsid == clsid; });
        if (it == r.classes.end()) return REGDB_E_CLASSNOTREG;
        factory = it->factory;
    }
    IUnknown* object = factory ? factory() : nullptr;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}
