// Message boxes through the one provider; the default is a real modal box with an OK button and
// no icon, owned by the window that is active.
#include "platform/afx/message_box.h"
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace platform::afx {
namespace {

MessageBoxProvider& provider()
{
    static MessageBoxProvider p;
    return p;
}

QMessageBox::StandardButtons ButtonsOf(UINT type)
{
    switch (type & 0xF) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    default: return QMessageBox::Ok;
    }
}

int DefaultMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return IDOK;
    QWidget* parent = testing::WidgetOf(owner);
    if (!parent) parent = QApplication::activeModalWidget();
    if (!parent && AfxGetMainWnd()) parent = testing::WidgetOf(AfxGetMainWnd()->m_hWnd);
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text), ButtonsOf(type),
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QPointer<QMessageBox> guard(&box);
    auto ended = std::make_shared<bool>(false);
    detail::PushModal(detail::ModalFrame{nullptr,
                                         [guard, ended](int r) {
                                             *ended = true;
                                             if (guard) guard->done(r);
                                         },
                                         [ended] { return *ended; }});
    detail::RunModalHooks();
    int r = box.exec();
    detail::PopModal();
    switch (r) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default:
        // An OK box answers OK however it was closed.
        if (r >= IDOK && r <= IDNO) return r;
        return (type & 0xF) == MB_OK ? IDOK : IDCANCEL;
    }
}

}  // namespace

MessageBoxProvider set_message_box_provider(MessageBoxProvider p)
{
    return std::exchange(provider(), std::move(p));
}

ScopedMessageBoxProvider::ScopedMessageBoxProvider(MessageBoxProvider p)
    : m_previous(set_message_box_provider(std::move(p)))
{
}

ScopedMessageBoxProvider::~ScopedMessageBoxProvider()
{
    set_message_box_provider(std::move(m_previous));
}

MessageBoxRecorder::MessageBoxRecorder(int answer)
    : m_installed([this, answer](const std::string& text, const std::string& caption, UINT) {
          m_texts.push_back(text);
          m_captions.push_back(caption);
          return answer;
      })
{
}

}  // namespace platform::afx

int MessageBoxA(HWND hWnd, LPCSTR text, LPCSTR caption, UINT type)
{
    std::string t = text ? text : "";
    std::string c = caption ? caption : (AfxGetApp() && AfxGetApp()->m_pszAppName ? AfxGetApp()->m_pszAppName : "");
    if (auto& p = platform::afx::provider(); p) {
        auto copy = p;  // a provider may replace itself while it runs
        return copy(t, c, type);
    }
    return platform::afx::DefaultMessageBox(hWnd, t, c, type);
}

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT)
{
    CWnd* owner = platform::afx::testing::ActiveModalDialog();
    if (!owner) owner = AfxGetMainWnd();
    return MessageBoxA(owner ? owner->m_hWnd : nullptr, lpszText, nullptr, nType);
}
