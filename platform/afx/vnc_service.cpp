// The panel without a display: Qt's VNC platform behind a relay on 127.0.0.1 (see entry.h for
// what the relay mends).
#include "platform/afx/entry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

// Qt's table of hooks for tools (layout version 1 and later): entry 3 is called with every QObject
// being constructed, entry 4 with every QObject being destroyed.
extern quintptr qtHookData[];

namespace platform::afx {

namespace {

constexpr int kFirstPort = 5900;
constexpr int kLastPort = 5999;
constexpr size_t kHookVersion = 0, kHookSize = 1, kHookAddObject = 3, kHookRemoveObject = 4;

using ObjectHook = void (*)(QObject*);

// The objects created while Qt's VNC server starts; Qt gives no other way to reach its listener.
struct ObjectWatch {
    std::mutex mutex;
    std::set<QObject*> alive;
    ObjectHook previousAdd = nullptr;
    ObjectHook previousRemove = nullptr;
    bool installed = false;
};

ObjectWatch& Watch()
{
    static ObjectWatch w;
    return w;
}

void ObjectAdded(QObject* object)
{
    {
        std::lock_guard lock(Watch().mutex);
        Watch().alive.insert(object);
    }
    if (Watch().previousAdd) Watch().previousAdd(object);
}

void ObjectRemoved(QObject* object)
{
    {
        std::lock_guard lock(Watch().mutex);
        Watch().alive.erase(object);
    }
    if (Watch().previousRemove) Watch().previousRemove(object);
}

bool InstallWatch()
{
    if (qtHookData[kHookVersion] < 1 || qtHookData[kHookSize] <= kHookRemoveObject) return false;
    ObjectWatch& w = Watch();
    w.previousAdd = reinterpret_cast<ObjectHook>(qtHookData[kHookAddObject]);
    w.previousRemove = reinterpret_cast<ObjectHook>(qtHookData[kHookRemoveObject]);
    qtHookData[kHookAddObject] = reinterpret_cast<quintptr>(&ObjectAdded);
    qtHookData[kHookRemoveObject] = reinterpret_cast<quintptr>(&ObjectRemoved);
    w.installed = true;
    return true;
}

void RemoveWatch()
{
    ObjectWatch& w = Watch();
    if (!w.installed) return;
    qtHookData[kHookAddObject] = reinterpret_cast<quintptr>(w.previousAdd);
    qtHookData[kHookRemoveObject] = reinterpret_cast<quintptr>(w.previousRemove);
    w.installed = false;
    std::lock_guard lock(w.mutex);
    w.alive.clear();
}

QTcpServer* FindQtVncListener()
{
    std::lock_guard lock(Watch().mutex);
    for (QObject* object : Watch().alive) {
        auto* server = qobject_cast<QTcpServer*>(object);
        if (server && server->parent() && std::strcmp(server->parent()->metaObject()->className(), "QVncServer") == 0)
            return server;
    }
    return nullptr;
}

// Qt's own listener cannot have the port (the relay holds it); its complaint is not the user's.
QtMessageHandler g_previousHandler = nullptr;

void QuietQtVncServer(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QVncServer"))) return;
    if (g_previousHandler) g_previousHandler(type, context, message);
}

// A listening socket on 127.0.0.1:port, or -1.
int ListenOnLoopback(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

uint32_t Be32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}

uint16_t Be16(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint16_t(u[0] << 8 | u[1]);
}

// One viewer and its own connection to Qt's server. Bytes pass as they are, except: once the
// server has sent its ServerInit, the relay sets the server's own pixel format on the viewer's
// behalf (the viewer may set another after it), and the viewer's encodings lose the cursor
// pseudo-encodings, so its first picture is the panel, with the pointer drawn in it.
class Relay : public QObject {
public:
    Relay(QTcpSocket* viewer, quint16 qtPort, QObject* parent) : QObject(parent), m_viewer(viewer)
    {
        m_viewer->setParent(this);
        m_server = new QTcpSocket(this);
        // What one side sent before it hung up still reaches the other (a click, then goodbye).
        connect(m_viewer, &QTcpSocket::disconnected, this, [this] { Hangup(m_server); });
        connect(m_server, &QTcpSocket::disconnected, this, [this] { Hangup(m_viewer); });
        connect(m_server, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError) Hangup(m_viewer);
        });
        connect(m_viewer, &QTcpSocket::readyRead, this, &Relay::FromViewer);
        connect(m_server, &QTcpSocket::readyRead, this, &Relay::FromServer);
        connect(m_server, &QTcpSocket::connected, this, [this] {
            m_server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            FromViewer();
        });
        m_viewer->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_server->connectToHost(QHostAddress::LocalHost, qtPort);
    }

private:
    enum class Stage { Version, Security, ServerInit, ClientInit, Messages, Passing };

    void Hangup(QTcpSocket* other)
    {
        if (other->state() != QAbstractSocket::UnconnectedState) other->disconnectFromHost();
        if (m_viewer->state() == QAbstractSocket::UnconnectedState &&
            m_server->state() == QAbstractSocket::UnconnectedState && !m_closing) {
            m_closing = true;
            deleteLater();
        }
    }

    void FromServer()
    {
        m_fromServer += m_server->readAll();
        while (!m_fromServer.isEmpty()) {
            size_t need = 0;
            switch (m_serverStage) {
            case Stage::Version: need = 12; break;
            case Stage::Security: need = 4; break;
            case Stage::ServerInit:
                need = 24;
                if (size_t(m_fromServer.size()) >= need) need += Be32(m_fromServer.constData() + 20);
                break;
            default:
                m_viewer->write(m_fromServer);
                m_fromServer.clear();
                return;
            }
            if (size_t(m_fromServer.size()) < need) return;
            const QByteArray part = m_fromServer.left(qsizetype(need));
            m_fromServer.remove(0, qsizetype(need));
            m_viewer->write(part);
            if (m_serverStage == Stage::Version) {
                // Only the 3.3 handshake (Qt's) is followed; anything else passes untouched.
                m_serverStage = part == "RFB 003.003\n" ? Stage::Security : Stage::Passing;
                if (m_serverStage == Stage::Passing) m_viewerStage = Stage::Passing;
            } else if (m_serverStage == Stage::Security) {
                m_serverStage = Be32(part.constData()) == 1 ? Stage::ServerInit : Stage::Passing;
                if (m_serverStage == Stage::Passing) m_viewerStage = Stage::Passing;
            } else {
                QByteArray setPixelFormat(4, '\0');
                setPixelFormat += part.mid(4, 16);
                m_server->write(setPixelFormat);
                m_serverStage = Stage::Passing;
            }
        }
    }

    void FromViewer()
    {
        m_fromViewer += m_viewer->readAll();
        if (m_server->state() != QAbstractSocket::ConnectedState) return;
        while (!m_fromViewer.isEmpty()) {
            if (m_viewerStage == Stage::Passing) {
                m_server->write(m_fromViewer);
                m_fromViewer.clear();
                return;
            }
            const size_t need = MessageLength();
            if (m_viewerStage == Stage::Passing) continue;
            if (need == 0 || size_t(m_fromViewer.size()) < need) return;  // not all of it yet
            QByteArray message = m_fromViewer.left(qsizetype(need));
            m_fromViewer.remove(0, qsizetype(need));
            if (m_viewerStage == Stage::Version) m_viewerStage = Stage::ClientInit;
            else if (m_viewerStage == Stage::ClientInit) m_viewerStage = Stage::Messages;
            else if (message[0] == 2) message = WithoutCursorEncodings(message);
            m_server->write(message);
        }
    }

    // The length of the viewer's next message, 0 while its length is not known yet. An unknown
    // message type ends the parsing: from there on everything passes as it is.
    size_t MessageLength()
    {
        const char* p = m_fromViewer.constData();
        const size_t have = size_t(m_fromViewer.size());
        if (m_viewerStage == Stage::Version) return 12;
        if (m_viewerStage == Stage::ClientInit) return 1;
        switch (p[0]) {
        case 0: return 20;                                          // SetPixelFormat
        case 2: return have < 4 ? 0 : 4 + 4 * size_t(Be16(p + 2));  // SetEncodings
        case 3: return 10;                                          // FramebufferUpdateRequest
        case 4: return 8;                                           // KeyEvent
        case 5: return 6;                                           // PointerEvent
        case 6: return have < 8 ? 0 : 8 + size_t(Be32(p + 4));      // ClientCutText
        default: m_viewerStage = Stage::Passing; return 0;
        }
    }

    static QByteArray WithoutCursorEncodings(const QByteArray& message)
    {
        QByteArray kept;
        const uint16_t count = Be16(message.constData() + 2);
        for (uint16_t i = 0; i < count; ++i) {
            const auto encoding = int32_t(Be32(message.constData() + 4 + 4 * i));
            if (encoding == -239 || encoding == -240) continue;  // rich cursor, X cursor
            kept += message.mid(4 + 4 * i, 4);
        }
        const auto n = uint16_t(kept.size() / 4);
        QByteArray out(4, '\0');
        out[0] = 2;
        out[2] = char(n >> 8);
        out[3] = char(n & 0xFF);
        return out + kept;
    }

    QTcpSocket* m_viewer;
    QTcpSocket* m_server;
    QByteArray m_fromServer, m_fromViewer;
    Stage m_serverStage = Stage::Version;
    Stage m_viewerStage = Stage::Version;
    bool m_closing = false;
};

struct PlatformRequest {
    std::string value;  // e.g. "vnc:port=5977"; empty when none
    int argIndex = -1;  // the argv element holding it, when it came from the command line
};

PlatformRequest RequestedPlatform(int argc, char** argv)
{
    PlatformRequest r;
    if (const char* env = std::getenv("QT_QPA_PLATFORM")) r.value = env;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            r.value = argv[i + 1];
            r.argIndex = i + 1;
        }
    return r;
}

bool Set(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

struct VncService::Impl {
    int port = 0;
    int fd = -1;
    bool noDisplay = false;
    std::string platform;  // what Qt is given
    quint16 qtPort = 0;

    ~Impl()
    {
        if (fd >= 0) ::close(fd);
    }
};

VncService::VncService() : m_impl(std::make_unique<Impl>()) {}
VncService::~VncService()
{
    RemoveWatch();
}

int VncService::port() const
{
    return m_impl->port;
}

std::unique_ptr<VncService> VncService::Prepare(int argc, char** argv, const ProgramInfo& info, std::string& problem)
{
    const PlatformRequest request = RequestedPlatform(argc, argv);
    const std::string name = request.value.substr(0, request.value.find(':'));
    const bool noDisplay = request.value.empty() && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY");
    if (!noDisplay && name != "vnc") return nullptr;

    // The options asked for stay; the screen gets the main window's size and 16-bit depth
    // unless they were given.
    std::vector<std::string> options;
    int askedPort = -1;
    bool hasSize = false, hasDepth = false;
    for (size_t start = request.value.find(':'); start != std::string::npos;) {
        const size_t end = request.value.find(':', start + 1);
        std::string option = request.value.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        start = end;
        if (option.rfind("port=", 0) == 0) {
            askedPort = std::atoi(option.c_str() + 5);
            continue;
        }
        hasSize |= option.rfind("size=", 0) == 0;
        hasDepth |= option.rfind("depth=", 0) == 0;
        if (!option.empty()) options.push_back(option);
    }

    auto service = std::unique_ptr<VncService>(new VncService());
    Impl& impl = *service->m_impl;
    impl.noDisplay = noDisplay;
    const int first = askedPort > 0 ? askedPort : kFirstPort;
    const int last = askedPort > 0 ? askedPort : kLastPort;
    for (int port = first; port <= last && impl.fd < 0; ++port) {
        impl.fd = ListenOnLoopback(port);
        impl.port = port;
    }
    if (impl.fd < 0) {
        problem = askedPort > 0 ? "cannot serve the panel over VNC: port " + std::to_string(askedPort) + " is taken"
                                : "cannot serve the panel over VNC: no free port from " + std::to_string(kFirstPort) +
                                      " to " + std::to_string(kLastPort);
        return nullptr;
    }

    impl.platform = "vnc";
    if (!hasSize) {
        const DialogTemplate& main = info.mainTemplate();
        impl.platform += ":size=" + std::to_string(DluToPixelsX(main.cx)) + "x" + std::to_string(DluToPixelsY(main.cy));
    }
    if (!hasDepth) impl.platform += ":depth=16";
    for (const std::string& option : options) impl.platform += ":" + option;
    // Qt's own listener asks for the relay's port and so cannot open anything until it is moved.
    impl.platform += ":port=" + std::to_string(impl.port);
    ::setenv("QT_QPA_PLATFORM", impl.platform.c_str(), 1);
    if (request.argIndex >= 0) argv[request.argIndex] = impl.platform.data();

    if (!InstallWatch()) {
        problem = "cannot serve the panel over VNC: this Qt does not let its VNC server be found";
        return nullptr;
    }
    return service;
}

bool VncService::Start(std::string& problem)
{
    Impl& impl = *m_impl;
    // Qt's VNC server opens its listener from a posted call; run it now, before any window.
    g_previousHandler = qInstallMessageHandler(QuietQtVncServer);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    qInstallMessageHandler(g_previousHandler);

    QTcpServer* qtListener = FindQtVncListener();
    RemoveWatch();
    if (!qtListener) {
        problem = "cannot serve the panel over VNC: Qt's VNC server did not start";
        return false;
    }
    qtListener->close();
    if (!qtListener->listen(QHostAddress::LocalHost, 0)) {
        problem = "cannot serve the panel over VNC: " + qtListener->errorString().toStdString();
        return false;
    }
    impl.qtPort = qtListener->serverPort();

    // The application owns the relay, so that it goes with the event loop it runs on.
    auto* relay = new QTcpServer(QCoreApplication::instance());
    if (!relay->setSocketDescriptor(impl.fd)) {
        problem = "cannot serve the panel over VNC: " + relay->errorString().toStdString();
        return false;
    }
    impl.fd = -1;
    QObject::connect(relay, &QTcpServer::newConnection, relay, [relay, qtPort = impl.qtPort] {
        while (QTcpSocket* viewer = relay->nextPendingConnection()) new Relay(viewer, qtPort, relay);
    });

    std::printf("%sthe panel is served at 127.0.0.1:%d (any VNC viewer)\n", impl.noDisplay ? "no display: " : "",
                impl.port);
    std::fflush(stdout);
    return true;
}

}  // namespace platform::afx
