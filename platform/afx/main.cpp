// The program entry every panel program links: sets up Qt, registers the outside components,
// starts the USB driver, runs the one application object and joins any worker still alive
// before the process ends.
#include "platform/afx/afxwin.h"
#include "platform/afx/entry.h"
#include "platform/afx/session_end.h"
#include "platform/afx/window_registry.h"
#include "platform/bus/bus.h"
#include "platform/com/skin.h"
#include "platform/usbdriver/driver.h"

#if __has_include("platform/instruments/register.h")
#include "platform/instruments/register.h"
#define AMP_HAVE_INSTRUMENTS 1
#endif

#include <QApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_program = "program";

// Connects within a second or says no; a display that cannot be reached must not hang start-up.
bool CanConnect(int fd, const sockaddr* addr, socklen_t len)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    int r = connect(fd, addr, len);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 1000) == 1) {
            int err = 0;
            socklen_t n = sizeof err;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &n);
            r = err == 0 ? 0 : -1;
        }
    }
    close(fd);
    return r == 0;
}

bool UnixSocketAnswers(const std::string& path, bool abstract)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    return CanConnect(fd, reinterpret_cast<sockaddr*>(&addr),
                      socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size()));
}

bool XDisplayAnswers(const std::string& display)
{
    size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = display.substr(0, colon);
    int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix") {
        std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return UnixSocketAnswers(path, true) || UnixSocketAnswers(path, false);
    }
    if (host[0] == '/') return UnixSocketAnswers(display, false);
    addrinfo hints{}, *res = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &res) != 0) return false;
    bool ok = false;
    for (addrinfo* a = res; a && !ok; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0) ok = CanConnect(fd, a->ai_addr, a->ai_addrlen);
    }
    freeaddrinfo(res);
    return ok;
}

bool WaylandAnswers()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    std::string socket = name && *name ? name : "wayland-0";
    if (socket[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime) return false;
        socket = std::string(runtime) + "/" + socket;
    }
    return UnixSocketAnswers(socket, false);
}

// Empty when the platform Qt will pick can be reached, otherwise what to tell the user.
std::string DisplayProblem(int argc, char** argv)
{
    std::string platform;
    if (const char* p = std::getenv("QT_QPA_PLATFORM")) platform = p;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) platform = argv[i + 1];
    platform = platform.substr(0, platform.find(':'));
    const char* display = std::getenv("DISPLAY");
    bool wantsWayland = platform.rfind("wayland", 0) == 0;
    if (platform.empty() || platform == "xcb") {
        if (display && *display) {
            if (XDisplayAnswers(display)) return {};
            if (platform.empty() && WaylandAnswers()) return {};
            return std::string("cannot open display ") + display;
        }
        if (platform.empty() && std::getenv("WAYLAND_DISPLAY") && WaylandAnswers()) return {};
        return "cannot open display (DISPLAY is not set)";
    }
    if (wantsWayland && !WaylandAnswers()) return "cannot open the Wayland display";
    return {};
}

// A frame of a chart that scrolls by the column is the rows of all its traces, more than a
// socket's default send buffer (208 KiB) holds: the UI thread then slept in the middle of every
// such frame until the X server had read its first part. With room for a few frames it writes a
// frame and goes back to the packets. The system caps what it grants.
void RoomForFrames()
{
    constexpr int kSendBuffer = 1 << 20;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    const int fd = xcb_get_file_descriptor(x11->connection());
    int current = 0;
    socklen_t size = sizeof current;
    if (getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &current, &size) == 0 && current >= kSendBuffer) return;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
}

// Qt gives up on a display with a fatal message and an abort; say it in one line and leave.
QtMessageHandler g_previousHandler = nullptr;
bool g_starting = true;

void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && g_starting) {
        std::fprintf(stderr, "%s: cannot start the user interface: %s\n", g_program.c_str(),
                     message.section('\n', 0, 0).toLocal8Bit().constData());
        std::_Exit(1);
    }
    if (g_starting && type == QtWarningMsg && context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return;  // the fatal line that follows says it
    if (g_previousHandler) g_previousHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 0 && argv[0]) {
        const char* slash = std::strrchr(argv[0], '/');
        g_program = slash ? slash + 1 : argv[0];
    }
    if (std::optional<int> answered = platform::afx::AnswerCommandLine(argc, argv, g_program, theProgramInfo))
        return *answered;
    std::string vncProblem;
    std::unique_ptr<platform::afx::VncService> vnc =
        platform::afx::VncService::Prepare(argc, argv, theProgramInfo, vncProblem);
    if (!vncProblem.empty()) {
        std::fprintf(stderr, "%s: %s\n", g_program.c_str(), vncProblem.c_str());
        return 1;
    }
    if (std::string problem = DisplayProblem(argc, argv); !problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", g_program.c_str(), problem.c_str());
        return 1;
    }
    // The panels send the X server many narrow strips a second. Through shared memory each costs a
    // round trip and a completion event that wakes two threads; on the connection itself, neither.
    ::setenv("QT_XCB_NO_MITSHM", "1", 0);
    g_previousHandler = qInstallMessageHandler(StartupMessages);
    QApplication app(argc, argv);
    g_starting = false;
    RoomForFrames();
    if (vnc && !vnc->Start(vncProblem)) {
        std::fprintf(stderr, "%s: %s\n", g_program.c_str(), vncProblem.c_str());
        return 1;
    }
    platform::afx::WatchForSessionEnd([] { platform::bus::stop_backends(); });

#ifdef AMP_HAVE_INSTRUMENTS
    platform::instruments::RegisterControls();
#endif
    platform::com::RegisterSkin();

    CWinApp* theApp = AfxGetApp();
    if (!theApp) {
        std::fprintf(stderr, "%s: no application object\n", g_program.c_str());
        return 1;
    }
    platform::afx::detail::SetAppName(*theApp, g_program);

    // What an installed system would already run: the amplifier's driver over the buses.
    platform::bus::start_backends();
    platform::usbdriver::install();
    int result = platform::afx::detail::RunApplication(*theApp);
    platform::bus::stop_backends();
    return result;
}
