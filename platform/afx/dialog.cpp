// Dialogs: the window built from a template, its keys and close box, OnInitDialog, modal loops
// (nested ones too) and binding controls by id.
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>

#include <cstdlib>
#include <deque>

namespace platform::afx::detail {
namespace {

std::vector<ModalFrame>& modalStack()
{
    static std::vector<ModalFrame> s;
    return s;
}

std::deque<std::function<void()>>& modalHooks()
{
    static std::deque<std::function<void()>> h;
    return h;
}

// The dialog's top-level widget: turns keys, the close box and painting into messages.
class DialogWidget final : public QWidget {
public:
    DialogWidget(QWidget* owner, Qt::WindowFlags flags, bool closable) : QWidget(owner, flags), m_closable(closable)
    {
        setObjectName(QStringLiteral("afxDialog"));
    }

    HWND hwnd = nullptr;

    bool HandleKey(QKeyEvent* e)
    {
        switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: PressDefault(); return true;
        case Qt::Key_Escape: SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); return true;
        default: return false;
        }
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        {
            QStyleOption opt;
            opt.initFrom(this);
            QPainter p(this);
            style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
        }
        QWidget* previous = CurrentPaintWidget();
        QRect previousRect = CurrentPaintRect();
        SetCurrentPaintWidget(this);
        SetCurrentPaintRect(e->rect());
        SendMessageA(hwnd, WM_PAINT, 0, 0);
        SetCurrentPaintWidget(previous);
        SetCurrentPaintRect(previousRect);
    }

    void keyPressEvent(QKeyEvent* e) override
    {
        if (!HandleKey(e)) QWidget::keyPressEvent(e);
    }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(e))) return true;
        return QWidget::eventFilter(watched, e);
    }

    void closeEvent(QCloseEvent* e) override
    {
        // The window goes only through DestroyWindow; the close box asks, as WM_CLOSE.
        e->ignore();
        if (m_closable) SendMessageA(hwnd, WM_CLOSE, 0, 0);
    }

    void resizeEvent(QResizeEvent*) override
    {
        SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELONG(width(), height()));
    }

    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::WindowStateChange)
            SendMessageA(hwnd, WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELONG(width(), height()));
        QWidget::changeEvent(e);
    }

private:
    // Enter presses the push button that has the focus, otherwise the default one, otherwise IDOK.
    void PressDefault()
    {
        WindowRecord* rec = FindRecord(hwnd);
        if (!rec) return;
        HWND focused = nullptr, fallback = nullptr;
        for (HWND child : rec->children) {
            WindowRecord* c = FindRecord(child);
            if (!c || c->kind != WindowKind::PushButton || !c->widget || !c->widget->isEnabled()) continue;
            if (c->widget->hasFocus()) focused = child;
            if (c->default_button && !fallback) fallback = child;
        }
        HWND button = focused ? focused : fallback;
        WindowRecord* b = FindRecord(button);
        UINT id = b ? b->id : IDOK;
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }

    bool m_closable;
};

QFont DialogFont(const platform::afx::DialogTemplate& t)
{
    std::string name = t.fontName;
    if (name.empty() || name == "MS Shell Dlg" || name == "MS Shell Dlg 2" || name == "MS Sans Serif")
        name = platform::afx::kDialogFontFamily;
    QFont f(QString::fromStdString(name), t.fontPointSize > 0 ? t.fontPointSize : 8);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

Qt::Alignment AlignmentOf(platform::afx::TextAlign a)
{
    switch (a) {
    case platform::afx::TextAlign::Center: return Qt::AlignHCenter | Qt::AlignTop;
    case platform::afx::TextAlign::Right: return Qt::AlignRight | Qt::AlignTop;
    default: return Qt::AlignLeft | Qt::AlignTop;
    }
}

// One template control as a child window of the dialog.
void CreateChild(DialogWidget* dlg, HWND dlgHwnd, const platform::afx::ControlTemplate& c)
{
    using platform::afx::ControlKind;
    RECT px = platform::afx::DluToPixels(c.x, c.y, c.cx, c.cy);
    QString caption = QString::fromStdString(c.caption);
    HWND hwnd = nullptr;
    QWidget* widget = nullptr;

    if (c.kind == ControlKind::Embedded) {
        platform::com::ComPtr<IPanelControl> control;
        if (SUCCEEDED(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPanelControl,
                                       reinterpret_cast<void**>(control.put())))) {
            hwnd = HostControl(dlgHwnd, UINT(c.id), std::move(control), c.properties, px, c.style);
            if (WindowRecord* rec = FindRecord(hwnd); rec && rec->widget) rec->widget->installEventFilter(dlg);
            return;
        }
        // An unregistered control keeps its place and id; calls on it do nothing.
        widget = new QWidget(dlg);
    }

    WindowKind kind = WindowKind::Plain;
    bool isDefault = false;
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* b = new QPushButton(caption, dlg);
        isDefault = c.kind == ControlKind::DefPushButton;
        b->setAutoDefault(false);
        b->setDefault(isDefault);
        kind = WindowKind::PushButton;
        widget = b;
        break;
    }
    case ControlKind::GroupBox: {
        auto* g = new QGroupBox(caption, dlg);
        kind = WindowKind::GroupBox;
        widget = g;
        break;
    }
    case ControlKind::Static: {
        auto* l = new QLabel(caption, dlg);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(AlignmentOf(c.align));
        l->setWordWrap(true);
        kind = WindowKind::Static;
        widget = l;
        break;
    }
    case ControlKind::Embedded: break;
    }
    WindowRecord& rec = CreateRecord(kind, widget, dlgHwnd);
    rec.id = UINT(c.id);
    rec.style = c.style;
    rec.default_button = isDefault;
    rec.stand_in = std::make_unique<CWnd>();
    rec.stand_in->m_hWnd = rec.hwnd;
    widget->setGeometry(px.left, px.top, px.right - px.left, px.bottom - px.top);
    widget->setEnabled(!(c.style & WS_DISABLED));
    widget->setVisible(c.style & WS_VISIBLE);
    widget->installEventFilter(dlg);
    // Frames stay behind what they frame, whatever the template order.
    if (kind == WindowKind::GroupBox) widget->lower();
    if (auto* b = qobject_cast<QPushButton*>(widget)) {
        HWND self = rec.hwnd;
        UINT id = rec.id;
        QObject::connect(b, &QPushButton::clicked, [dlgHwnd, self, id] {
            SendMessageA(dlgHwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(self));
        });
    }
}

}  // namespace

void PushModal(ModalFrame frame)
{
    modalStack().push_back(std::move(frame));
}

void PopModal()
{
    if (!modalStack().empty()) modalStack().pop_back();
}

void EndModalLoops(int result)
{
    // Ending a loop does not unwind it at once: the frames stay until their loops return.
    std::vector<ModalFrame> frames = modalStack();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if (!it->ended || !it->ended()) it->end(result);
}

void RunModalHooks()
{
    if (modalHooks().empty()) return;
    std::function<void()> hook = std::move(modalHooks().front());
    modalHooks().pop_front();
    // Runs once the loop about to start is running.
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(hook));
}

}  // namespace platform::afx::detail

using namespace platform::afx::detail;

// ---- CDialog ----

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd), m_nIDTemplate(nIDTemplate)
{
}

namespace {
UINT TemplateIdFromName(LPCTSTR name)
{
    if (!name) return 0;
    if (*name == '#') ++name;
    return UINT(std::strtoul(name, nullptr, 10));
}
}  // namespace

CDialog::CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd) : CDialog(TemplateIdFromName(lpszTemplateName), pParentWnd)
{
}

CDialog::~CDialog()
{
    if (m_pModalLoop) static_cast<QEventLoop*>(m_pModalLoop)->exit();
    if (m_hWnd) CWnd::DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(CWnd* pOwner, bool modal)
{
    const platform::afx::DialogTemplate* t = platform::afx::FindDialogTemplate(m_nIDTemplate);
    if (!t || m_hWnd || !qobject_cast<QApplication*>(QCoreApplication::instance())) return FALSE;
    WindowRecord* owner = pOwner ? FindRecord(pOwner->m_hWnd) : nullptr;
    QWidget* ownerWidget = owner ? owner->widget.data() : nullptr;

    Qt::WindowFlags flags = (ownerWidget && !(t->exStyle & WS_EX_APPWINDOW)) ? Qt::Dialog : Qt::Window;
    flags |= Qt::CustomizeWindowHint;
    if (t->style & WS_CAPTION) flags |= Qt::WindowTitleHint;
    else flags |= Qt::FramelessWindowHint;
    bool closable = (t->style & WS_SYSMENU) != 0;
    if (closable) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (t->style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (t->style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;

    auto* widget = new DialogWidget(ownerWidget, flags, closable);
    WindowRecord& rec = CreateRecord(WindowKind::Dialog, widget, owner ? owner->hwnd : nullptr);
    rec.attached = this;
    rec.creator = this;
    rec.style = t->style;
    rec.id = m_nIDTemplate;
    widget->hwnd = rec.hwnd;
    m_hWnd = rec.hwnd;

    widget->setWindowTitle(QString::fromStdString(t->caption));
    widget->setFont(DialogFont(*t));
    widget->setFixedSize(platform::afx::DluToPixelsX(t->cx), platform::afx::DluToPixelsY(t->cy));
    QPoint origin = ownerWidget ? ownerWidget->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
    widget->move(origin + QPoint(platform::afx::DluToPixelsX(t->x), platform::afx::DluToPixelsY(t->y)));
    if (modal) widget->setWindowModality(Qt::ApplicationModal);

    for (const platform::afx::ControlTemplate& c : t->controls) CreateChild(widget, rec.hwnd, c);

    m_bEnded = false;
    SendMessage(WM_INITDIALOG, 0, 0);
    return m_hWnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    CWnd* owner = m_pParentWnd;
    if (!owner) owner = platform::afx::testing::ActiveModalDialog();
    if (!owner) owner = AfxGetMainWnd();
    if (owner == this || (owner && !owner->m_hWnd)) owner = nullptr;

    m_nModalResult = -1;
    if (!CreateFromTemplate(owner, true)) return -1;
    if (!m_bEnded) {
        if (WindowRecord* rec = FindRecord(m_hWnd); rec && rec->widget) rec->widget->show();
        QEventLoop loop;
        m_pModalLoop = &loop;
        PushModal(ModalFrame{this, [this](int r) { EndDialog(r); }, [this] { return m_bEnded; }});
        RunModalHooks();
        if (!m_bEnded) loop.exec(QEventLoop::DialogExec);
        PopModal();
        m_pModalLoop = nullptr;
    }
    DestroyWindow();
    return m_nModalResult;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDTemplate = m_nIDHelp = nIDTemplate;
    if (pParentWnd) m_pParentWnd = pParentWnd;
    CWnd* owner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    if (owner == this || (owner && !owner->m_hWnd)) owner = nullptr;
    if (!CreateFromTemplate(owner, false)) return FALSE;
    const platform::afx::DialogTemplate* t = platform::afx::FindDialogTemplate(m_nIDTemplate);
    if (!m_bEnded && t && (t->style & WS_VISIBLE)) ShowWindow(SW_SHOW);
    return TRUE;
}

BOOL CDialog::Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd)
{
    return Create(TemplateIdFromName(lpszTemplateName), pParentWnd);
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bEnded = true;
    if (WindowRecord* rec = FindRecord(m_hWnd); rec && rec->widget) rec->widget->hide();
    if (m_pModalLoop) static_cast<QEventLoop*>(m_pModalLoop)->exit();
}

BOOL CDialog::DestroyWindow()
{
    if (m_pModalLoop) {
        m_bEnded = true;
        static_cast<QEventLoop*>(m_pModalLoop)->exit();
    }
    return CWnd::DestroyWindow();
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_CLOSE: SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); return 0;
    default: return CWnd::DefWindowProc(message, wParam, lParam);
    }
}

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (!pDX || !pDX->m_pDlgWnd || rControl.m_hWnd) return;
    rControl.SubclassDlgItem(UINT(nIDC), pDX->m_pDlgWnd);
}

// ---- test support ----

namespace platform::afx::testing {

void RunInNextModalLoop(std::function<void()> fn)
{
    modalHooks().push_back(std::move(fn));
}

CDialog* ActiveModalDialog()
{
    auto& s = modalStack();
    return s.empty() ? nullptr : s.back().dialog;
}

BOOL EndModalLoop(int result)
{
    auto& s = modalStack();
    if (s.empty()) return FALSE;
    s.back().end(result);
    return TRUE;
}

int ModalDepth()
{
    return int(modalStack().size());
}

namespace {
WindowRecord* ChildById(CWnd* pDialog, UINT id)
{
    return pDialog ? FindRecord(::GetDlgItem(pDialog->m_hWnd, int(id))) : nullptr;
}
}  // namespace

BOOL RaiseControlEvent(CWnd* pDialog, UINT nCtlID, DISPID dispid)
{
    WindowRecord* rec = ChildById(pDialog, nCtlID);
    if (!rec || !rec->sink) return FALSE;
    auto sink = rec->sink;
    sink(dispid);
    return TRUE;
}

void PressKey(CWnd* pDialog, UINT vk)
{
    WindowRecord* rec = pDialog ? FindRecord(pDialog->m_hWnd) : nullptr;
    if (!rec || !rec->widget) return;
    Qt::Key key = vk == VK_RETURN ? Qt::Key_Return : vk == VK_ESCAPE ? Qt::Key_Escape : Qt::Key_unknown;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QWidget* target = rec->widget->focusWidget();
    QCoreApplication::sendEvent(target ? target : rec->widget.data(), &press);
}

BOOL ClickCloseBox(CWnd* pDialog)
{
    WindowRecord* rec = pDialog ? FindRecord(pDialog->m_hWnd) : nullptr;
    if (!rec || !rec->widget || !(rec->widget->windowFlags() & Qt::WindowCloseButtonHint)) return FALSE;
    rec->widget->close();
    return TRUE;
}

BOOL ClickButton(CWnd* pDialog, UINT nID)
{
    WindowRecord* rec = ChildById(pDialog, nID);
    auto* button = rec ? qobject_cast<QPushButton*>(rec->widget.data()) : nullptr;
    if (!button || !button->isEnabled()) return FALSE;
    button->click();
    return TRUE;
}

BOOL PaintWindow(CWnd* pWnd)
{
    WindowRecord* rec = pWnd ? FindRecord(pWnd->m_hWnd) : nullptr;
    if (!rec || !rec->widget) return FALSE;
    QImage image(rec->widget->size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    rec->widget->render(&image);
    return TRUE;
}

QWidget* WidgetOf(HWND hWnd)
{
    WindowRecord* rec = FindRecord(hWnd);
    return rec ? rec->widget.data() : nullptr;
}

HWND WindowOf(QWidget* widget)
{
    return HandleOfWidget(widget);
}

}  // namespace platform::afx::testing
