// The dialog framework the programs are written against: application object, windows and dialogs
// built from templates, binding by control id, message and control-event tables, modal loops,
// posted messages from any thread, worker threads and icons. Implemented over Qt 6 Widgets; the
// names, signatures and meanings are those of the Windows framework the code was written for.
#pragma once

#include "platform/afx/dialog_template.h"
#include "platform/afx/message_box.h"
#include "platform/afx/winuser.h"
#include "platform/com/com.h"
#include "platform/win32/windows.h"

#include <atomic>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#ifndef _WIN32

#define afx_msg
#define AFX_MSG_CALL
#define AFX_CDECL
#define AFXAPI
#define PASCAL
#define AFX_STATIC static
#define _T(x) x
#define TEXT(x) x
#define UNREFERENCED_PARAMETER(p) ((void)(p))
#ifndef ASSERT
#define ASSERT(f) ((void)0)
#endif
#define VERIFY(f) ((void)(f))
#define TRACE(...) ((void)0)

typedef IDispatch* LPDISPATCH;
typedef IUnknown* LPUNKNOWN;

class CObject;
class CCmdTarget;
class CWnd;
class CDialog;
class CWinApp;
class CDataExchange;
class CFile;
struct CCreateContext;

// ---- run-time class records ----

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    CObject* (*m_pfnCreateObject)();  // null unless the class is dynamically creatable
    const CRuntimeClass* (*m_pfnGetBaseClass)();

    CObject* CreateObject() const;  // null when not creatable
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    static const CRuntimeClass* FromName(LPCSTR lpszClassName);  // creatable classes only
};

// Macros that expand to members and table rows keep their hand layout.
// clang-format off
#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name) \
public:                             \
    static const CRuntimeClass class##class_name; \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* PASCAL CreateObject();

namespace platform::afx::detail {
struct RuntimeClassRegistrar {
    explicit RuntimeClassRegistrar(const CRuntimeClass* pClass);
};
struct ThreadRecord;
}  // namespace platform::afx::detail

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, pfnNew)                            \
    const CRuntimeClass class_name::class##class_name = {                                         \
        #class_name, sizeof(class class_name), pfnNew,                                            \
        []() -> const CRuntimeClass* { return RUNTIME_CLASS(base_class_name); }};                 \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                 \
    CObject* PASCAL class_name::CreateObject() { return new class_name; }                \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, &class_name::CreateObject)   \
    static const platform::afx::detail::RuntimeClassRegistrar _afxRegister##class_name(  \
        RUNTIME_CLASS(class_name));
// clang-format on

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    virtual ~CObject() = default;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// ---- message and event tables ----

enum AfxSig : UINT {
    AfxSig_end = 0,
    AfxSig_v,     // void ()            WM_PAINT, WM_CLOSE, WM_DESTROY, commands
    AfxSig_h,     // HCURSOR ()         WM_QUERYDRAGICON
    AfxSig_lwl,   // LRESULT (WPARAM, LPARAM)   ON_MESSAGE
    AfxSig_vwl,   // void (UINT, LPARAM)        WM_SYSCOMMAND
    AfxSig_vwii,  // void (UINT, int, int)      WM_SIZE
    AfxSig_bwl,   // BOOL (UINT, DWORD_PTR)     WM_DEVICECHANGE
    AfxSig_vb,    // void (BOOL)                WM_ENDSESSION
};

typedef void (CCmdTarget::*AFX_PMSG)();
union AFX_PMSG_ANY {
    AFX_PMSG pfn;
    HCURSOR (CWnd::*pfn_h)();
    LRESULT (CWnd::*pfn_lwl)(WPARAM, LPARAM);
    void (CWnd::*pfn_vwl)(UINT, LPARAM);
    void (CWnd::*pfn_vwii)(UINT, int, int);
    BOOL (CWnd::*pfn_bwl)(UINT, DWORD_PTR);
    void (CWnd::*pfn_vb)(BOOL);
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;    // WM_COMMAND: notification code
    UINT nID;      // WM_COMMAND: first control id
    UINT nLastID;  // WM_COMMAND: last control id
    UINT nSig;
    AFX_PMSG_ANY pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

struct AFX_EVENTSINKMAP_ENTRY {
    UINT nCtlID;
    DISPID dispid;
    const BYTE* pbParams;
    AFX_PMSG pfn;  // void () : no event of these controls carries parameters
};

struct AFX_EVENTSINKMAP {
    const AFX_EVENTSINKMAP* (*pfnGetBaseMap)();
    const AFX_EVENTSINKMAP_ENTRY* lpEntries;
};

// Macros that expand to members and table rows keep their hand layout.
// clang-format off
#define DECLARE_MESSAGE_MAP()                             \
protected:                                                \
    static const AFX_MSGMAP* PASCAL GetThisMessageMap();  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                   \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap()                      \
    {                                                                           \
        typedef theClass ThisClass;                                             \
        typedef baseClass TheBaseClass;                                         \
        static_assert(sizeof(ThisClass) > 0 && sizeof(TheBaseClass) > 0);       \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                            \
    {0, 0, 0, 0, AfxSig_end, {nullptr}}};                                            \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
        return &messageMap;                                                          \
    }

#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, 0, AfxSig_v, {.pfn = static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::OnPaint))}},
#define ON_WM_CLOSE() \
    {WM_CLOSE, 0, 0, 0, AfxSig_v, {.pfn = static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::OnClose))}},
#define ON_WM_DESTROY() \
    {WM_DESTROY, 0, 0, 0, AfxSig_v, {.pfn = static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::OnDestroy))}},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, 0, AfxSig_h, {.pfn_h = static_cast<HCURSOR (CWnd::*)()>(static_cast<HCURSOR (ThisClass::*)()>(&ThisClass::OnQueryDragIcon))}},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, 0, AfxSig_vwl, {.pfn_vwl = static_cast<void (CWnd::*)(UINT, LPARAM)>(static_cast<void (ThisClass::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand))}},
#define ON_WM_SIZE() \
    {WM_SIZE, 0, 0, 0, AfxSig_vwii, {.pfn_vwii = static_cast<void (CWnd::*)(UINT, int, int)>(static_cast<void (ThisClass::*)(UINT, int, int)>(&ThisClass::OnSize))}},
#define ON_WM_DEVICECHANGE() \
    {WM_DEVICECHANGE, 0, 0, 0, AfxSig_bwl, {.pfn_bwl = static_cast<BOOL (CWnd::*)(UINT, DWORD_PTR)>(static_cast<BOOL (ThisClass::*)(UINT, DWORD_PTR)>(&ThisClass::OnDeviceChange))}},
#define ON_WM_ENDSESSION() \
    {WM_ENDSESSION, 0, 0, 0, AfxSig_vb, {.pfn_vb = static_cast<void (CWnd::*)(BOOL)>(static_cast<void (ThisClass::*)(BOOL)>(&ThisClass::OnEndSession))}},
// memberFxn: &CMyDlg::OnSomething, LRESULT OnSomething(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn) \
    {(UINT)(message), 0, 0, 0, AfxSig_lwl, {.pfn_lwl = static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(memberFxn)}},
// memberFxn: &CMyDlg::OnSomething, void OnSomething()
#define ON_CONTROL(wNotifyCode, id, memberFxn) \
    {WM_COMMAND, (UINT)(WORD)(wNotifyCode), (UINT)(WORD)(id), (UINT)(WORD)(id), AfxSig_v, {.pfn = static_cast<AFX_PMSG>(memberFxn)}},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
    {WM_COMMAND, 0, (UINT)(WORD)(id), (UINT)(WORD)(idLast), AfxSig_v, {.pfn = static_cast<AFX_PMSG>(memberFxn)}},

#define DECLARE_EVENTSINK_MAP()                                  \
protected:                                                       \
    static const AFX_EVENTSINKMAP* PASCAL GetThisEventSinkMap(); \
    const AFX_EVENTSINKMAP* GetEventSinkMap() const override;

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)                                         \
    const AFX_EVENTSINKMAP* theClass::GetEventSinkMap() const { return GetThisEventSinkMap(); } \
    const AFX_EVENTSINKMAP* PASCAL theClass::GetThisEventSinkMap()                      \
    {                                                                                   \
        typedef theClass ThisClass;                                                     \
        typedef baseClass TheBaseClass;                                                 \
        static_assert(sizeof(ThisClass) > 0 && sizeof(TheBaseClass) > 0);               \
        static const AFX_EVENTSINKMAP_ENTRY _eventsinkEntries[] = {

#define END_EVENTSINK_MAP()                                                                      \
    {0, 0, nullptr, nullptr}};                                                                   \
        static const AFX_EVENTSINKMAP eventsinkMap = {&TheBaseClass::GetThisEventSinkMap, &_eventsinkEntries[0]}; \
        return &eventsinkMap;                                                                    \
    }

// pfnHandler as the class wizard writes it: CMyDlg::OnClickPower (no '&').
#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams)                          \
    {(UINT)(id), (DISPID)(dispid), reinterpret_cast<const BYTE*>(vtsParams),           \
     static_cast<AFX_PMSG>(static_cast<void (theClass::*)()>(&pfnHandler))},
// clang-format on

// Parameter-type strings for InvokeHelper, one byte a parameter.
#define VTS_NONE ""
#define VTS_I4 "\x03"
#define VTS_R8 "\x05"
#define VTS_BSTR "\x08"
#define VTS_BOOL "\x0B"

namespace platform::afx::detail {

// Turns one argument into the value its parameter-type byte asks for; a mismatch gives an
// empty value, which the control refuses with DISP_E_TYPEMISMATCH.
template <class T>
platform::com::Variant ToVariant(BYTE vt, const T& arg)
{
    using U = std::decay_t<T>;
    if constexpr (std::is_arithmetic_v<U>) {
        switch (vt) {
        case VT_I4: return int32_t(arg);
        case VT_BOOL: return bool(arg != 0);
        case VT_R8: return double(arg);
        default: return std::monostate{};
        }
    } else if constexpr (std::is_convertible_v<const U&, std::string>) {
        if (vt != VT_BSTR) return std::monostate{};
        if constexpr (std::is_pointer_v<U>) {
            const char* p = arg;
            return std::string(p ? p : "");
        } else {
            return std::string(arg);
        }
    } else {
        return std::monostate{};
    }
}

inline const BYTE* ParamInfo(const BYTE* p)
{
    return p;
}
inline const BYTE* ParamInfo(const char* p)
{
    return reinterpret_cast<const BYTE*>(p);
}
inline const BYTE* ParamInfo(std::nullptr_t)
{
    return nullptr;
}
// NULL written as the integer 0: no parameter types.
template <class I, std::enable_if_t<std::is_integral_v<I>, int> = 0>
const BYTE* ParamInfo(I)
{
    return nullptr;
}

template <class... Args>
std::vector<platform::com::Variant> PackArgs(const BYTE* info, const Args&... args)
{
    std::vector<platform::com::Variant> out;
    size_t n = info ? std::strlen(reinterpret_cast<const char*>(info)) : 0;
    size_t i = 0;
    (void)n;
    (void)i;
    ((out.push_back(ToVariant(i < n ? info[i] : BYTE(VT_EMPTY), args)), ++i), ...);
    return out;
}

// Calls `dispatch` and stores the result by vtRet: VT_I4 into a LONG (32-bit), VT_BOOL into a
// BOOL, VT_R8 into a double, VT_BSTR into a std::string. Failures leave *pvRet untouched.
HRESULT Invoke(IDispatch* dispatch, DISPID id, WORD flags, VARTYPE vtRet, void* pvRet,
               const std::vector<platform::com::Variant>& args);

// The calls every holder of a dispatch object offers (a window hosting a control, the automation
// driver); the holder supplies InvokeHelperV, which reaches its object. Failures are ignored, as
// the programs do.
template <class Holder>
class DispatchCalls {
public:
    // pbParamInfo is a VTS_ string (or NULL for none); the arguments follow it. See Invoke for vtRet.
    template <class P, class... Args>
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, P pbParamInfo, const Args&... args)
    {
        holder().InvokeHelperV(dwDispID, wFlags, vtRet, pvRet, PackArgs(ParamInfo(pbParamInfo), args...));
    }
    template <class T>
    void SetProperty(DISPID dwDispID, VARTYPE vtProp, const T& value)
    {
        BYTE info[2] = {BYTE(vtProp), 0};
        holder().InvokeHelperV(dwDispID, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, PackArgs(info, value));
    }
    void GetProperty(DISPID dwDispID, VARTYPE vtProp, void* pvProp) const
    {
        holder().InvokeHelperV(dwDispID, DISPATCH_PROPERTYGET, vtProp, pvProp, {});
    }

private:
    const Holder& holder() const { return static_cast<const Holder&>(*this); }
};

}  // namespace platform::afx::detail

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)

public:
    CCmdTarget() = default;

protected:
    static const AFX_MSGMAP* PASCAL GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_EVENTSINKMAP* PASCAL GetThisEventSinkMap();
    virtual const AFX_EVENTSINKMAP* GetEventSinkMap() const;

    friend class CWnd;
};

// ---- windows ----

class CWnd : public CCmdTarget, public platform::afx::detail::DispatchCalls<CWnd> {
    DECLARE_DYNCREATE(CWnd)

public:
    HWND m_hWnd = nullptr;

    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    static CWnd* PASCAL FromHandle(HWND hWnd);  // the object attached to the window, or null
    operator HWND() const { return m_hWnd; }

    // A control of this window by id: the bound wrapper if there is one, otherwise an object the
    // window owns. Null when there is no such control.
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;  // the parent of a control, the owner of a dialog
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;  // screen coordinates
    void ScreenToClient(LPRECT lpRect) const;
    BOOL GetUpdateRect(LPRECT lpRect, BOOL bErase = FALSE) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL IsIconic() const;
    BOOL IsWindowVisible() const;
    BOOL ShowWindow(int nCmdShow);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    HICON GetIcon(BOOL bBigIcon) const;
    void Invalidate(BOOL bErase = TRUE);
    void UpdateWindow();
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    void SetWindowText(LPCTSTR lpszString);
    int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const;
    std::string GetWindowText() const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);

    // The hosted control's IUnknown (no reference added), null for ordinary windows.
    LPUNKNOWN GetControlUnknown() const;

    // Dispatch calls (InvokeHelper, SetProperty, GetProperty) reach the hosted control through this.
    HRESULT InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                          const std::vector<platform::com::Variant>& args) const;

    // A plain child window (lpszClassName is ignored) or, through CreateControl, an embedded
    // control. rect is in the parent's client pixels.
    virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr);
    BOOL CreateControl(REFCLSID clsid, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                       UINT nID, CFile* pPersist = nullptr, BOOL bStorage = FALSE, BSTR bstrLicKey = nullptr);
    BOOL CreateControl(LPCTSTR lpszProgID, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                       UINT nID);
    virtual BOOL DestroyWindow();
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);  // attaches this object to a control by id
    HWND Detach();

    // The message path: message map, then base maps, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A control event: the event-sink map, then base maps. FALSE when no entry takes it.
    virtual BOOL OnControlEvent(UINT nCtlID, DISPID dispid);

protected:
    afx_msg void OnPaint();
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    afx_msg void OnEndSession(BOOL bEnding);
    LRESULT Default();  // DefWindowProc of the message being handled

    DECLARE_MESSAGE_MAP()

private:
    UINT m_currentMessage = 0;
    WPARAM m_currentWParam = 0;
    LPARAM m_currentLParam = 0;
};

// ---- painting ----

class CDC {
public:
    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    virtual ~CDC() = default;
};

// Valid for the handling of one WM_PAINT; outside a paint event it draws into a scratch image.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

protected:
    HWND m_hWnd;
};

// ---- dialogs ----

class CDataExchange {
public:
    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    void Fail() {}
};

// Binds `rControl` to control nIDC of the dialog (once; later calls leave the binding).
void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

public:
    CDialog();
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    explicit CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);  // "#102" or a number
    ~CDialog() override;

    // Creates the window from the template, runs OnInitDialog and, unless EndDialog was called
    // there, runs a modal loop owned by the active window until EndDialog. -1 when the template
    // is missing.
    virtual INT_PTR DoModal();
    // Modeless: creates the window, runs OnInitDialog and shows it (WS_VISIBLE). Ends with
    // DestroyWindow.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    BOOL Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    BOOL DestroyWindow() override;

    virtual BOOL OnInitDialog();
    virtual void OnOK();      // UpdateData(TRUE), then EndDialog(IDOK)
    virtual void OnCancel();  // EndDialog(IDCANCEL)
    virtual void DoDataExchange(CDataExchange* pDX);

    INT_PTR m_nModalResult = -1;
    UINT m_nIDHelp = 0;  // the template id

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    CWnd* m_pParentWnd = nullptr;
    UINT m_nIDTemplate = 0;
    BOOL CreateFromTemplate(CWnd* pOwner, bool modal);

    DECLARE_MESSAGE_MAP()

private:
    void* m_pModalLoop = nullptr;  // the running loop, while DoModal runs
    bool m_bEnded = false;
};

// ---- threads ----

typedef UINT(AFX_CDECL* AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)

public:
    CWinThread();
    ~CWinThread() override;

    CWnd* m_pMainWnd = nullptr;
    BOOL m_bAutoDelete = TRUE;
    DWORD m_nThreadID = 0;
    HANDLE m_hThread = nullptr;  // not a waitable handle here: the framework joins its threads itself

    DWORD ResumeThread();  // starts a thread created with CREATE_SUSPENDED
    BOOL SetThreadPriority(int nPriority) { return TRUE; }

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    void* m_pRecord = nullptr;  // the framework's record of the thread
};

// Runs pfnThreadProc(pParam) on a new thread. The returned object belongs to the framework and
// lives as long as the thread; the program entry joins every thread still alive at process end.
CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                                  UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// ---- the application ----

class CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)

public:
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCTSTR m_pszAppName = nullptr;  // the message-box caption; the program's name when not given
    LPCTSTR m_pszExeName = nullptr;
    HINSTANCE m_hInstance = nullptr;

    // TRUE: the framework runs its loop until the main window is destroyed; FALSE: the process
    // ends (after ExitInstance).
    BOOL InitInstance() override;
    int ExitInstance() override;
    virtual int Run();

    HICON LoadIcon(UINT nIDResource) const;  // an icon the program registered; null otherwise
    HICON LoadIcon(LPCTSTR lpszResourceName) const;
    HICON LoadStandardIcon(LPCTSTR lpszIconName) const { return nullptr; }

private:
    std::string m_appName;
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
BOOL AFXAPI AfxEnableControlContainer();  // controls are always hosted; kept for the call
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// ---- icons ----

// A program registers its icon images by resource id before it loads them. XPM is C data; a
// PNG image may be registered from its bytes. Several images under one id form one icon group.
BOOL AFXAPI AfxRegisterIcon(UINT nIDResource, const char* const* xpm);
BOOL AFXAPI AfxRegisterIconPng(UINT nIDResource, const unsigned char* data, size_t size);
// 32-bit ARGB pixels, row after row.
BOOL AFXAPI AfxRegisterIconArgb(UINT nIDResource, int width, int height, const uint32_t* pixels);

#include "platform/afx/afxdisp.h"

#endif  // _WIN32
