// The automation driver the programs hold for an automation object created by ProgID or CLSID.
#pragma once

#include "platform/afx/afxwin.h"

class COleException;

class COleDispatchDriver : public platform::afx::detail::DispatchCalls<COleDispatchDriver> {
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

    // Dispatch calls as on CWnd; without an object they do nothing.
    HRESULT InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                          const std::vector<platform::com::Variant>& args) const;
};
