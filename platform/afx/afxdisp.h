// The automation driver the programs hold for an automation object created by ProgID or CLSID.
#pragma once

#include "platform/afx/afxwin.h"

class COleException;

class COleDispatchDriver {
public:
    LPDISPATCH m_lpDispatch = nullptr;
    BOOL m_bAutoRelease = TRUE;

    COleDispatchDriver() = default;
    explicit COleDispatchDriver(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE);
    ~COleDispatchDriver();
    COleDispatchDriver(const COleDispatchDriver&) = delete;
    COleDispatchDriver& operator=(const COleDispatchDriver&) = delete;

    // FALSE when the class is unknown or has no IDispatch; a previous object is released first.
    BOOL CreateDispatch(LPCTSTR lpszProgID, COleException* pError = nullptr);
    BOOL CreateDispatch(REFCLSID clsid, COleException* pError = nullptr);
    void AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE);
    LPDISPATCH DetachDispatch();
    void ReleaseDispatch();

    // As CWnd::InvokeHelper; nothing happens without an object.
    template <class P, class... Args>
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, P pbParamInfo, const Args&... args)
    {
        const BYTE* info = platform::afx::detail::ParamInfo(pbParamInfo);
        InvokeHelperV(dwDispID, wFlags, vtRet, pvRet, platform::afx::detail::PackArgs(info, args...));
    }
    template <class T>
    void SetProperty(DISPID dwDispID, VARTYPE vtProp, const T& value)
    {
        BYTE info[2] = {BYTE(vtProp), 0};
        InvokeHelperV(dwDispID, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, platform::afx::detail::PackArgs(info, value));
    }
    void GetProperty(DISPID dwDispID, VARTYPE vtProp, void* pvProp) const;
    HRESULT InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                          const std::vector<platform::com::Variant>& args) const;
};
