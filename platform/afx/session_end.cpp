#include "platform/afx/session_end.h"

#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform::afx {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

// The main window destroyed by another X client (xdotool windowclose, a window manager) leaves
// the program running with nothing on the screen: that ends the session too.
class DestroyedWindowFilter final : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY) return false;
        WId window = static_cast<const xcb_destroy_notify_event_t*>(message)->window;
        // Outside Qt's handling of the event: ending the session runs the shutdown.
        QTimer::singleShot(0, QCoreApplication::instance(), [window] {
            CWnd* main = AfxGetMainWnd();
            QWidget* widget = main ? testing::WidgetOf(main->m_hWnd) : nullptr;
            if (widget && widget->internalWinId() == window) EndSession();
        });
        return false;
    }
};

struct Watch {
    bool watching = false;
    DestroyedWindowFilter* destroyedWindows = nullptr;
    int pipe[2] = {-1, -1};
    QSocketNotifier* notifier = nullptr;
    struct sigaction previous[kSignalCount] = {};
    bool installed[kSignalCount] = {};
    QtMessageHandler previousHandler = nullptr;
    std::function<void()> atEnd;
};

Watch& watch()
{
    static Watch* w = new Watch;
    return *w;
}

// What the signal handler may touch: a lock-free atomic and write(2).
std::atomic<int> g_signalWriteFd{-1};
HWND g_endedWindow = nullptr;
bool g_endingAfterLostDisplay = false;

void OnSignal(int)
{
    int saved = errno;
    char byte = 1;
    int fd = g_signalWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

void OnSignalNoted()
{
    char bytes[64];
    while (::read(watch().pipe[0], bytes, sizeof bytes) > 0) {}
    EndSession();
}

void EndAfterLostDisplay(const std::function<void(int)>& processEnd)
{
    if (g_endingAfterLostDisplay) return;
    g_endingAfterLostDisplay = true;
    EndSession();
    testing::JoinWorkerThreads();
    if (watch().atEnd) watch().atEnd();
    std::fflush(nullptr);
    processEnd(0);
    g_endingAfterLostDisplay = false;
}

void SessionMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (QtMessageHandler previous = watch().previousHandler) previous(type, context, message);
    else std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    // Qt's X platform calls exit(1) as soon as this returns, with the windows and the worker
    // still there: end in order first, and never come back.
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke")))
        EndAfterLostDisplay([](int status) { std::_Exit(status); });
}

}  // namespace

void EndSession()
{
    CWnd* main = AfxGetMainWnd();
    HWND hwnd = main ? main->m_hWnd : nullptr;
    if (hwnd && hwnd != g_endedWindow) {
        g_endedWindow = hwnd;
        SendMessageA(hwnd, WM_ENDSESSION, TRUE, 0);
    }
    detail::EndModalLoops(IDCANCEL);
    detail::ExitApplicationLoop();
}

void WatchForSessionEnd(std::function<void()> atEnd)
{
    Watch& w = watch();
    if (w.watching) return;
    w.watching = true;
    w.atEnd = std::move(atEnd);
    if (::pipe2(w.pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_signalWriteFd.store(w.pipe[1]);
        w.notifier = new QSocketNotifier(w.pipe[0], QSocketNotifier::Read);
        QObject::connect(w.notifier, &QSocketNotifier::activated, [] { OnSignalNoted(); });
        for (int i = 0; i < kSignalCount; ++i) {
            struct sigaction current = {};
            ::sigaction(kSignals[i], nullptr, &current);
            if (kSignals[i] != SIGTERM && current.sa_handler == SIG_IGN) continue;
            struct sigaction mine = {};
            mine.sa_handler = OnSignal;
            sigemptyset(&mine.sa_mask);
            mine.sa_flags = SA_RESTART;
            w.installed[i] = ::sigaction(kSignals[i], &mine, &w.previous[i]) == 0;
        }
    }
    w.previousHandler = qInstallMessageHandler(SessionMessages);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        w.destroyedWindows = new DestroyedWindowFilter;
        app->installNativeEventFilter(w.destroyedWindows);
    }
}

void StopWatchingForSessionEnd()
{
    Watch& w = watch();
    if (!w.watching) return;
    qInstallMessageHandler(w.previousHandler);
    w.previousHandler = nullptr;
    if (w.destroyedWindows) {
        if (QCoreApplication* app = QCoreApplication::instance()) app->removeNativeEventFilter(w.destroyedWindows);
        delete w.destroyedWindows;
        w.destroyedWindows = nullptr;
    }
    for (int i = 0; i < kSignalCount; ++i) {
        if (w.installed[i]) ::sigaction(kSignals[i], &w.previous[i], nullptr);
        w.installed[i] = false;
    }
    g_signalWriteFd.store(-1);
    delete w.notifier;
    w.notifier = nullptr;
    for (int& fd : w.pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    w.atEnd = nullptr;
    w.watching = false;
}

}  // namespace platform::afx

namespace platform::afx::testing {

void BreakDisplayConnection(std::function<void(int)> processEnd)
{
    EndAfterLostDisplay(processEnd);
}

}  // namespace platform::afx::testing
