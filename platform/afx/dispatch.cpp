// Dispatch calls from the framework's side: argument packing is in the header, result
// conversion and the automation driver are here.
#include "platform/afx/afxdisp.h"

#include <cmath>
#include <string>

namespace platform::afx::detail {
namespace {

using platform::com::Variant;

// Coerces a result to the type the caller asked for, as automation would.
bool Store(const Variant& v, VARTYPE vt, void* out)
{
    switch (vt) {
    case VT_I4: {
        LONG r;
        if (auto* i = std::get_if<int32_t>(&v)) r = *i;
        else if (auto* b = std::get_if<bool>(&v)) r = *b ? -1 : 0;
        else if (auto* d = std::get_if<double>(&v)) r = LONG(std::lround(*d));
        else return false;
        *static_cast<LONG*>(out) = r;
        return true;
    }
    case VT_BOOL: {
        BOOL r;
        if (auto* b = std::get_if<bool>(&v)) r = *b;
        else if (auto* i = std::get_if<int32_t>(&v)) r = *i != 0;
        else if (auto* d = std::get_if<double>(&v)) r = *d != 0.0;
        else return false;
        *static_cast<BOOL*>(out) = r;
        return true;
    }
    case VT_R8: {
        double r;
        if (auto* d = std::get_if<double>(&v)) r = *d;
        else if (auto* i = std::get_if<int32_t>(&v)) r = *i;
        else if (auto* b = std::get_if<bool>(&v)) r = *b ? -1.0 : 0.0;
        else return false;
        *static_cast<double*>(out) = r;
        return true;
    }
    case VT_BSTR: {
        std::string r;
        if (auto* s = std::get_if<std::string>(&v)) r = *s;
        else if (auto* i = std::get_if<int32_t>(&v)) r = std::to_string(*i);
        else if (auto* d = std::get_if<double>(&v)) r = std::to_string(*d);
        else if (auto* b = std::get_if<bool>(&v)) r = *b ? "True" : "False";
        else return false;
        *static_cast<std::string*>(out) = std::move(r);
        return true;
    }
    default: return false;
    }
}

}  // namespace

HRESULT Invoke(IDispatch* dispatch, DISPID id, WORD flags, VARTYPE vtRet, void* pvRet,
               const std::vector<platform::com::Variant>& args)
{
    if (!dispatch) return E_POINTER;
    Variant result;
    HRESULT hr = dispatch->Invoke(id, flags, args, vtRet != VT_EMPTY ? &result : nullptr);
    if (FAILED(hr) || vtRet == VT_EMPTY || !pvRet) return hr;
    return Store(result, vtRet, pvRet) ? hr : DISP_E_TYPEMISMATCH;
}

}  // namespace platform::afx::detail

COleDispatchDriver::COleDispatchDriver(LPDISPATCH lpDispatch, BOOL bAutoRelease)
    : m_lpDispatch(lpDispatch), m_bAutoRelease(bAutoRelease)
{
}

COleDispatchDriver::~COleDispatchDriver()
{
    ReleaseDispatch();
}

BOOL COleDispatchDriver::CreateDispatch(LPCTSTR lpszProgID, COleException* pError)
{
    CLSID clsid{};
    if (FAILED(platform::com::CLSIDFromProgID(lpszProgID, &clsid))) return FALSE;
    return CreateDispatch(clsid, pError);
}

BOOL COleDispatchDriver::CreateDispatch(REFCLSID clsid, COleException*)
{
    ReleaseDispatch();
    IDispatch* dispatch = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return FALSE;
    AttachDispatch(dispatch, TRUE);
    return TRUE;
}

void COleDispatchDriver::AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease)
{
    ReleaseDispatch();
    m_lpDispatch = lpDispatch;
    m_bAutoRelease = bAutoRelease;
}

LPDISPATCH COleDispatchDriver::DetachDispatch()
{
    return std::exchange(m_lpDispatch, nullptr);
}

void COleDispatchDriver::ReleaseDispatch()
{
    if (IDispatch* d = std::exchange(m_lpDispatch, nullptr); d && m_bAutoRelease) d->Release();
}

HRESULT COleDispatchDriver::InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                                          const std::vector<platform::com::Variant>& args) const
{
    if (!m_lpDispatch) return E_POINTER;
    return platform::afx::detail::Invoke(m_lpDispatch, dwDispID, wFlags, vtRet, pvRet, args);
}
