// Window handles, the live-window table, and CWnd: the message path through the tables and the
// window operations over the Qt widget behind each handle.
#include "platform/afx/window_registry.h"
#include "platform/win32/notifications.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <mutex>
#include <unordered_map>

namespace platform::afx::detail {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, std::unique_ptr<WindowRecord>> windows;
    uintptr_t next = 0x10000;
};

Registry& registry()
{
    // Never destroyed: records hold Qt objects, which are gone by the time static destructors
    // run, and a process may end through exit() with its windows still standing.
    static Registry* r = new Registry;
    return *r;
}

// Device-change notices reach windows through the queue, from whichever thread saw the change.
void DeliverDeviceNotices()
{
    platform::win32::set_window_message_poster(
        [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) { PostMessageA(window, message, wParam, lParam); });
}

constexpr const char* kHandleProperty = "afxHwnd";

}  // namespace

WindowRecord& CreateRecord(WindowKind kind, QWidget* widget, HWND parent)
{
    auto rec = std::make_unique<WindowRecord>();
    WindowRecord& r = *rec;
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        // Handles are never reused, so a message posted to a window that has gone cannot reach
        // a later one.
        r.hwnd = reinterpret_cast<HWND>(reg.next);
        reg.next += 0x10;
        reg.windows.emplace(r.hwnd, std::move(rec));
    }
    r.kind = kind;
    r.widget = widget;
    r.parent = parent;
    if (widget) widget->setProperty(kHandleProperty, QVariant::fromValue(quintptr(r.hwnd)));
    if (WindowRecord* p = FindRecord(parent); p && kind != WindowKind::Dialog) p->children.push_back(r.hwnd);
    if (kind == WindowKind::Dialog) DeliverDeviceNotices();
    EnsurePump();
    return r;
}

WindowRecord* FindRecord(HWND hwnd)
{
    if (!hwnd) return nullptr;
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto it = reg.windows.find(hwnd);
    return it == reg.windows.end() ? nullptr : it->second.get();
}

bool IsLiveWindow(HWND hwnd)
{
    return FindRecord(hwnd) != nullptr;
}

HWND HandleOfWidget(const QWidget* widget)
{
    if (!widget) return nullptr;
    QVariant v = widget->property(kHandleProperty);
    return v.isValid() ? reinterpret_cast<HWND>(v.value<quintptr>()) : nullptr;
}

CWnd* TargetOf(const WindowRecord& rec)
{
    return rec.attached ? rec.attached : rec.stand_in.get();
}

namespace {

void DestroyTree(HWND hwnd, bool top)
{
    WindowRecord* rec = FindRecord(hwnd);
    if (!rec) return;
    if (top) MainWindowDestroyed(hwnd);
    std::vector<HWND> children = rec->children;
    for (HWND child : children) DestroyTree(child, false);

    if (rec->attached) rec->attached->m_hWnd = nullptr;
    if (rec->stand_in) rec->stand_in->m_hWnd = nullptr;
    rec->attached = nullptr;
    rec->creator = nullptr;

    QPointer<QWidget> widget = rec->widget;
    if (rec->control) {
        // The control owns its widget; one that outlives the window (someone still holds a
        // reference) must not go down with the dialog's widget.
        rec->control.reset();
        if (widget && widget->parentWidget()) {
            widget->hide();
            widget->setParent(nullptr);
        }
        widget = nullptr;
    }
    if (WindowRecord* parent = FindRecord(rec->parent)) std::erase(parent->children, hwnd);

    std::unique_ptr<WindowRecord> owned;
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        auto it = reg.windows.find(hwnd);
        owned = std::move(it->second);
        reg.windows.erase(it);
    }
    DropMessagesFor(hwnd);
    if (top && widget) {
        widget->hide();
        // A window destroyed from inside one of its own handlers is deleted once Qt is done
        // with the event that got there.
        if (owned->dispatch_depth > 0) widget->deleteLater();
        else delete widget.data();
    }
}

}  // namespace

void DestroyRecord(HWND hwnd)
{
    DestroyTree(hwnd, true);
}

LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* rec = FindRecord(hwnd);
    if (!rec) return 0;
    CWnd* target = TargetOf(*rec);
    if (!target) return 0;
    ++rec->dispatch_depth;
    LRESULT result = target->WindowProc(msg, wParam, lParam);
    if (WindowRecord* after = FindRecord(hwnd)) --after->dispatch_depth;
    return result;
}

HWND HostControl(HWND parent, UINT id, platform::com::ComPtr<IPanelControl> control,
                 const platform::com::PropertyBag& bag, const RECT& px, DWORD style)
{
    WindowRecord* p = FindRecord(parent);
    if (!p || !control) return nullptr;
    control->LoadProperties(bag);
    QWidget* widget = control->Widget();
    WindowRecord& rec = CreateRecord(WindowKind::Control, widget, parent);
    rec.id = id;
    rec.style = style;
    rec.control = std::move(control);
    rec.stand_in = std::make_unique<CWnd>();
    rec.stand_in->m_hWnd = rec.hwnd;
    if (widget) {
        widget->setParent(p->widget);
        widget->setGeometry(px.left, px.top, px.right - px.left, px.bottom - px.top);
        widget->setEnabled(!(style & WS_DISABLED));
        widget->setVisible(style & WS_VISIBLE);
    }
    // Events find the container by handle, so a control that outlives its dialog raises into
    // nothing rather than into a destroyed object.
    rec.sink = [parent, id](DISPID dispid) {
        if (WindowRecord* container = FindRecord(parent)) {
            if (CWnd* target = TargetOf(*container)) target->OnControlEvent(id, dispid);
        }
    };
    rec.control->Advise(rec.sink);
    return rec.hwnd;
}

}  // namespace platform::afx::detail

using namespace platform::afx::detail;

// ---- CWnd ----

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP* PASCAL CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, {nullptr}}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
    return &map;
}

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (!m_hWnd) return;
    if (WindowRecord* rec = FindRecord(m_hWnd)) {
        if (rec->creator == this) DestroyRecord(m_hWnd);
        else if (rec->attached == this) rec->attached = nullptr;
    }
    m_hWnd = nullptr;
}

CWnd* PASCAL CWnd::FromHandle(HWND hWnd)
{
    WindowRecord* rec = FindRecord(hWnd);
    return rec ? TargetOf(*rec) : nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

int CWnd::GetDlgCtrlID() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    return rec ? int(rec->id) : 0;
}

CWnd* CWnd::GetParent() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    return rec ? FromHandle(rec->parent) : nullptr;
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    ::GetClientRect(m_hWnd, lpRect);
}

void CWnd::GetWindowRect(LPRECT lpRect) const
{
    if (!lpRect) return;
    *lpRect = RECT{0, 0, 0, 0};
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec || !rec->widget) return;
    QPoint origin = rec->widget->mapToGlobal(QPoint(0, 0));
    *lpRect = RECT{origin.x(), origin.y(), origin.x() + rec->widget->width(), origin.y() + rec->widget->height()};
}

void CWnd::ScreenToClient(LPRECT lpRect) const
{
    if (!lpRect) return;
    POINT topLeft{lpRect->left, lpRect->top};
    POINT bottomRight{lpRect->right, lpRect->bottom};
    ::ScreenToClient(m_hWnd, &topLeft);
    ::ScreenToClient(m_hWnd, &bottomRight);
    *lpRect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

BOOL CWnd::GetUpdateRect(LPRECT lpRect, BOOL bErase) const
{
    return ::GetUpdateRect(m_hWnd, lpRect, bErase);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::IsWindowVisible() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    return rec && rec->widget && rec->widget->isVisible();
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    return ::ShowWindow(m_hWnd, nCmdShow);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

HICON CWnd::GetIcon(BOOL bBigIcon) const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec) return nullptr;
    return bBigIcon ? rec->big_icon : rec->small_icon;
}

void CWnd::Invalidate(BOOL bErase)
{
    ::InvalidateRect(m_hWnd, nullptr, bErase);
}

void CWnd::UpdateWindow()
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (rec && rec->widget && rec->widget->isVisible()) rec->widget->repaint();
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec || !rec->widget) return FALSE;
    BOOL wasDisabled = !rec->widget->isEnabled();
    rec->widget->setEnabled(bEnable);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    return rec && rec->widget && rec->widget->isEnabled();
}

void CWnd::SetWindowText(LPCTSTR lpszString)
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec) return;
    QString text = QString::fromUtf8(lpszString ? lpszString : "");
    switch (rec->kind) {
    case WindowKind::PushButton:
        if (auto* b = qobject_cast<QPushButton*>(rec->widget.data())) b->setText(text);
        break;
    case WindowKind::GroupBox:
        if (auto* g = qobject_cast<QGroupBox*>(rec->widget.data())) g->setTitle(text);
        break;
    case WindowKind::Static:
        if (auto* l = qobject_cast<QLabel*>(rec->widget.data())) l->setText(text);
        break;
    case WindowKind::Control:
        InvokeHelperV(DISPID_CAPTION, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
                      {std::string(lpszString ? lpszString : "")});
        break;
    default:
        if (rec->widget) rec->widget->setWindowTitle(text);
        break;
    }
}

std::string CWnd::GetWindowText() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec) return {};
    switch (rec->kind) {
    case WindowKind::PushButton:
        if (auto* b = qobject_cast<QPushButton*>(rec->widget.data())) return b->text().toStdString();
        return {};
    case WindowKind::GroupBox:
        if (auto* g = qobject_cast<QGroupBox*>(rec->widget.data())) return g->title().toStdString();
        return {};
    case WindowKind::Static:
        if (auto* l = qobject_cast<QLabel*>(rec->widget.data())) return l->text().toStdString();
        return {};
    case WindowKind::Control: {
        std::string caption;
        InvokeHelperV(DISPID_CAPTION, DISPATCH_PROPERTYGET, VT_BSTR, &caption, {});
        return caption;
    }
    default: return rec->widget ? rec->widget->windowTitle().toStdString() : std::string();
    }
}

int CWnd::GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const
{
    if (!lpszStringBuf || nMaxCount <= 0) return 0;
    std::string text = GetWindowText();
    size_t n = std::min(text.size(), size_t(nMaxCount - 1));
    std::memcpy(lpszStringBuf, text.data(), n);
    lpszStringBuf[n] = '\0';
    return int(n);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint)
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (rec && rec->widget) rec->widget->setGeometry(x, y, nWidth, nHeight);
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType)
{
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

LPUNKNOWN CWnd::GetControlUnknown() const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    return rec && rec->control ? static_cast<IUnknown*>(rec->control.get()) : nullptr;
}

HRESULT CWnd::InvokeHelperV(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                            const std::vector<platform::com::Variant>& args) const
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec || !rec->control) return E_FAIL;
    platform::com::ComPtr<IDispatch> dispatch;
    if (FAILED(rec->control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put()))))
        return E_NOINTERFACE;
    return Invoke(dispatch.get(), dwDispID, wFlags, vtRet, pvRet, args);
}

BOOL CWnd::Create(LPCTSTR, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
                  CCreateContext*)
{
    if (m_hWnd) return FALSE;
    WindowRecord* parent = pParentWnd ? FindRecord(pParentWnd->m_hWnd) : nullptr;
    auto* widget = new QWidget(parent ? parent->widget.data() : nullptr);
    WindowRecord& rec = CreateRecord(WindowKind::Plain, widget, parent ? parent->hwnd : nullptr);
    rec.attached = this;
    rec.creator = this;
    rec.id = nID;
    rec.style = dwStyle;
    m_hWnd = rec.hwnd;
    widget->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (lpszWindowName) widget->setWindowTitle(QString::fromUtf8(lpszWindowName));
    widget->setVisible(dwStyle & WS_VISIBLE);
    return TRUE;
}

BOOL CWnd::CreateControl(REFCLSID clsid, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID, CFile*, BOOL, BSTR)
{
    if (m_hWnd || !pParentWnd || !FindRecord(pParentWnd->m_hWnd)) return FALSE;
    platform::com::ComPtr<IPanelControl> control;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPanelControl,
                                reinterpret_cast<void**>(control.put()))))
        return FALSE;
    platform::com::PropertyBag bag;
    if (lpszWindowName && *lpszWindowName) bag.emplace_back("Caption", std::string(lpszWindowName));
    HWND hwnd = HostControl(pParentWnd->m_hWnd, nID, std::move(control), bag, rect, dwStyle);
    WindowRecord* rec = FindRecord(hwnd);
    if (!rec) return FALSE;
    rec->attached = this;
    rec->creator = this;
    m_hWnd = hwnd;
    return TRUE;
}

BOOL CWnd::CreateControl(LPCTSTR lpszProgID, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID)
{
    CLSID clsid{};
    if (FAILED(platform::com::CLSIDFromProgID(lpszProgID, &clsid))) return FALSE;
    return CreateControl(clsid, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    HWND hwnd = m_hWnd;
    Deliver(hwnd, WM_DESTROY, 0, 0);
    DestroyRecord(hwnd);
    m_hWnd = nullptr;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    if (!pParent) return FALSE;
    WindowRecord* rec = FindRecord(::GetDlgItem(pParent->m_hWnd, int(nID)));
    if (!rec) return FALSE;
    if (rec->attached && rec->attached != this) rec->attached->m_hWnd = nullptr;
    rec->attached = this;
    m_hWnd = rec->hwnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    if (WindowRecord* rec = FindRecord(hwnd)) {
        if (rec->attached == this) rec->attached = nullptr;
        if (rec->creator == this) rec->creator = nullptr;
    }
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT savedMessage = m_currentMessage;
    WPARAM savedW = m_currentWParam;
    LPARAM savedL = m_currentLParam;
    m_currentMessage = message;
    m_currentWParam = wParam;
    m_currentLParam = lParam;
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    m_currentMessage = savedMessage;
    m_currentWParam = savedW;
    m_currentLParam = savedL;
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    LRESULT result = 0;
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND &&
                (e->nCode != HIWORD(wParam) || LOWORD(wParam) < e->nID || LOWORD(wParam) > e->nLastID))
                continue;
            switch (e->nSig) {
            case AfxSig_v: (static_cast<CCmdTarget*>(this)->*e->pfn.pfn)(); break;
            case AfxSig_h: result = reinterpret_cast<LRESULT>((this->*e->pfn.pfn_h)()); break;
            case AfxSig_lwl: result = (this->*e->pfn.pfn_lwl)(wParam, lParam); break;
            case AfxSig_vwl: (this->*e->pfn.pfn_vwl)(UINT(wParam), lParam); break;
            case AfxSig_vwii: (this->*e->pfn.pfn_vwii)(UINT(wParam), LOWORD(lParam), HIWORD(lParam)); break;
            case AfxSig_bwl: result = (this->*e->pfn.pfn_bwl)(UINT(wParam), DWORD_PTR(lParam)); break;
            case AfxSig_vb: (this->*e->pfn.pfn_vb)(BOOL(wParam)); break;
            default: continue;
            }
            if (pResult) *pResult = result;
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* rec = FindRecord(m_hWnd);
    if (!rec) return 0;
    switch (message) {
    case WM_SETICON: {
        HICON icon = reinterpret_cast<HICON>(lParam);
        HICON& slot = wParam == ICON_BIG ? rec->big_icon : rec->small_icon;
        HICON previous = slot;
        slot = icon;
        if (rec->widget) rec->widget->setWindowIcon(IconOf(rec->big_icon ? rec->big_icon : rec->small_icon));
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CLOSE: DestroyWindow(); return 0;
    default: return 0;
    }
}

BOOL CWnd::OnControlEvent(UINT nCtlID, DISPID dispid)
{
    for (const AFX_EVENTSINKMAP* map = GetEventSinkMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_EVENTSINKMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->nCtlID == nCtlID && e->dispid == dispid) {
                (static_cast<CCmdTarget*>(this)->*e->pfn)();
                return TRUE;
            }
        }
    }
    return FALSE;
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_currentMessage, m_currentWParam, m_currentLParam);
}

void CWnd::OnPaint()
{
    Default();
}
void CWnd::OnClose()
{
    Default();
}
void CWnd::OnDestroy()
{
    Default();
}
HCURSOR CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(Default());
}
void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}
void CWnd::OnSize(UINT, int, int)
{
    Default();
}
BOOL CWnd::OnDeviceChange(UINT, DWORD_PTR)
{
    return BOOL(Default());
}
void CWnd::OnEndSession(BOOL)
{
    Default();
}

// ---- user32 window functions ----

BOOL IsWindow(HWND hWnd)
{
    return IsLiveWindow(hWnd);
}

BOOL IsIconic(HWND hWnd)
{
    WindowRecord* rec = FindRecord(hWnd);
    return rec && rec->widget && rec->widget->isMinimized();
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    WindowRecord* rec = FindRecord(hWnd);
    if (!rec || !rec->widget) return FALSE;
    QWidget* w = rec->widget;
    BOOL wasVisible = w->isVisible();
    switch (nCmdShow) {
    case SW_HIDE: w->hide(); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED: w->showMinimized(); break;
    case SW_SHOWMAXIMIZED: w->showMaximized(); break;
    case SW_RESTORE:
    case SW_SHOWNORMAL: w->showNormal(); break;
    default: w->show(); break;
    }
    return wasVisible;
}

BOOL GetClientRect(HWND hWnd, LPRECT rect)
{
    if (!rect) return FALSE;
    *rect = RECT{0, 0, 0, 0};
    WindowRecord* rec = FindRecord(hWnd);
    if (!rec || !rec->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    rect->right = rec->widget->width();
    rect->bottom = rec->widget->height();
    return TRUE;
}

BOOL GetUpdateRect(HWND hWnd, LPRECT rect, BOOL)
{
    if (!rect) return FALSE;
    *rect = RECT{0, 0, 0, 0};
    WindowRecord* rec = FindRecord(hWnd);
    if (!rec || !rec->widget || rec->widget != CurrentPaintWidget()) return FALSE;
    QRect r = CurrentPaintRect();
    if (r.isEmpty()) return FALSE;
    *rect = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT point)
{
    WindowRecord* rec = FindRecord(hWnd);
    if (!point || !rec || !rec->widget) return FALSE;
    QPoint local = rec->widget->mapFromGlobal(QPoint(point->x, point->y));
    point->x = local.x();
    point->y = local.y();
    return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT* rect, BOOL)
{
    WindowRecord* rec = FindRecord(hWnd);
    if (!rec || !rec->widget) return FALSE;
    if (rect) rec->widget->update(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    else rec->widget->update();
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int id)
{
    WindowRecord* rec = FindRecord(hDlg);
    if (!rec) return nullptr;
    for (HWND child : rec->children) {
        WindowRecord* c = FindRecord(child);
        if (c && int(c->id) == id) return child;
    }
    return nullptr;
}

BOOL EndDialog(HWND hDlg, INT_PTR result)
{
    auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandle(hDlg));
    if (!dialog) return FALSE;
    dialog->EndDialog(int(result));
    return TRUE;
}
