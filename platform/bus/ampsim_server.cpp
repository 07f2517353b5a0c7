#include "platform/bus/ampsim_server.h"

#include "platform/bus/ampsim_wire.h"
#include "platform/bus/bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::bus {

using namespace ampsim;

namespace {

// Which connected program holds the served device open. One at a time, as a claimed USB
// interface is held: the next one gets it once the holder has closed it or gone.
struct Claim {
    std::mutex mutex;
    const void* holder = nullptr;
};

// One program connected to the served device.
struct Client : std::enable_shared_from_this<Client> {
    Client(int f, std::shared_ptr<Device> d, std::shared_ptr<Claim> c)
        : fd(f), device(std::move(d)), claim(std::move(c))
    {
    }
    ~Client() { ::close(fd); }

    void serve()
    {
        std::vector<uint8_t> buffer(kMaxFrame);
        while (auto frame = receive_frame(fd, buffer)) {
            const auto& [h, data] = *frame;
            switch (static_cast<Frame>(h.type)) {
            case Frame::control:
                if (held_by_another() && !is_descriptor_read(h.setup)) answer(h, Status::busy, 0);
                else on_control(h, data);
                break;
            case Frame::submit:
                if (held_by_another()) answer(h, Status::busy, 0);
                else on_submit(h, data);
                break;
            case Frame::cancel:
                device->cancel(h.endpoint);
                answer(h, Status::ok, 0);
                break;
            case Frame::open: answer(h, open(), 0); break;
            case Frame::close:
                if (opens > 0 && --opens == 0) let_go();
                break;
            default: break;
            }
        }
        // The program is gone: end what it left running so no completion writes for nobody.
        std::vector<uint8_t> endpoints;
        {
            std::lock_guard lock(mutex);
            for (auto& [ep, count] : pendingByEndpoint)
                if (count) endpoints.push_back(ep);
        }
        for (uint8_t ep : endpoints) device->cancel(ep);
        if (opens > 0) {
            opens = 0;
            let_go();
        }
    }

    // The device is opened once for its holder, however often the holder opens it.
    Status open()
    {
        std::lock_guard lock(claim->mutex);
        if (claim->holder != nullptr && claim->holder != this) return Status::busy;
        if (opens == 0) {
            Status s = device->open();
            if (s != Status::ok) return s;
            claim->holder = this;
        }
        ++opens;
        return Status::ok;
    }

    void let_go()
    {
        std::lock_guard lock(claim->mutex);
        device->close();
        if (claim->holder == this) claim->holder = nullptr;
    }

    // Another program holds the device: this one may read its descriptors, nothing more.
    bool held_by_another()
    {
        std::lock_guard lock(claim->mutex);
        return claim->holder != nullptr && claim->holder != this;
    }

    static bool is_descriptor_read(const Setup& setup) { return setup.requestType == 0x80 && setup.request == 6; }

    void answer(Header h, Status status, uint32_t length, std::span<const uint8_t> data = {})
    {
        h.type |= kDone;
        h.status = static_cast<uint8_t>(status);
        h.length = length;
        send_frame(fd, h, data);
    }

    void on_control(const Header& h, std::span<const uint8_t> data)
    {
        std::vector<uint8_t> bytes(h.setup.length);
        bool in = h.setup.requestType & 0x80;
        if (!in) std::memcpy(bytes.data(), data.data(), std::min(data.size(), bytes.size()));
        Result r = device->control(h.setup, bytes);
        uint32_t moved = std::min<uint32_t>(r.bytes, h.setup.length);
        answer(h, r.status, moved, in ? std::span<const uint8_t>(bytes.data(), moved) : std::span<const uint8_t>());
    }

    void on_submit(const Header& h, std::span<const uint8_t> data)
    {
        bool in = h.endpoint & 0x80;
        auto bytes = std::make_shared<std::vector<uint8_t>>(in ? h.length : data.size());
        if (!in) std::memcpy(bytes->data(), data.data(), data.size());
        {
            std::lock_guard lock(mutex);
            ++pendingByEndpoint[h.endpoint];
        }
        device->submit(h.endpoint, *bytes, [self = shared_from_this(), h, bytes, in](Result r) {
            uint32_t moved = std::min<uint32_t>(r.bytes, static_cast<uint32_t>(bytes->size()));
            self->answer(h, r.status, moved,
                         in ? std::span<const uint8_t>(bytes->data(), moved) : std::span<const uint8_t>());
            std::lock_guard lock(self->mutex);
            --self->pendingByEndpoint[h.endpoint];
        });
    }

    const int fd;
    const std::shared_ptr<Device> device;
    std::mutex mutex;
    std::map<uint8_t, int> pendingByEndpoint;
    const std::shared_ptr<Claim> claim;
    int opens = 0;  // the serving thread's own
    std::thread thread;
};

}  // namespace

struct AmpsimServer::Impl {
    std::shared_ptr<Device> device;
    std::string name;
    std::string path;
    mutable std::mutex mutex;
    bool plugged = false;
    int listenFd = -1;
    int wakeFd = -1;
    std::thread acceptor;
    std::vector<std::shared_ptr<Client>> clients;
    std::shared_ptr<Claim> claim = std::make_shared<Claim>();

    void accept_loop()
    {
        for (;;) {
            pollfd fds[2] = {{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[0].revents & POLLIN) return;
            if (!(fds[1].revents & POLLIN)) continue;
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            auto client = std::make_shared<Client>(fd, device, claim);
            {
                std::lock_guard lock(mutex);
                clients.push_back(client);
            }
            // Listed before it hears from us, so an unplug right after the greeting reaches it.
            Header info;
            info.type = static_cast<uint8_t>(Frame::info);
            info.value = device->driver_version();
            send_frame(fd, info);
            client->thread = std::thread([client] { client->serve(); });
        }
    }
};

AmpsimServer::AmpsimServer(std::shared_ptr<Device> device, std::string name) : m_impl(std::make_unique<Impl>())
{
    m_impl->device = std::move(device);
    m_impl->name = std::move(name);
    // The device unplugging itself ends the connections; it may ask from a serving thread.
    m_impl->device->set_detach_handler([this] { unplug(); });
    plug();
}

AmpsimServer::~AmpsimServer()
{
    m_impl->device->set_detach_handler(nullptr);
    unplug();
}

bool AmpsimServer::plug()
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    if (s.plugged) return true;
    std::string dir = runtime_dir();
    s.path = dir + "/" + s.name + ".sock";
    // Bound under a temporary name and renamed once listening, so a watcher never finds a
    // socket that refuses it and takes it for a dead one.
    std::string temporary = dir + "/." + s.name + "." + std::to_string(::getpid()) + ".tmp";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (s.path.size() >= sizeof address.sun_path || temporary.size() >= sizeof address.sun_path) {
        std::cerr << "ampsim: socket path too long: " << s.path << "\n";
        return false;
    }
    // A live socket of that name belongs to another ampsim: the rename below would steal it.
    std::memcpy(address.sun_path, s.path.c_str(), s.path.size() + 1);
    if (int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0); probe >= 0) {
        bool live = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        if (live) {
            std::cerr << "ampsim: " << s.name << " is already plugged in by another ampsim\n";
            return false;
        }
    }
    std::memcpy(address.sun_path, temporary.c_str(), temporary.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ::unlink(temporary.c_str());
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
        ::rename(temporary.c_str(), s.path.c_str()) != 0) {
        std::cerr << "ampsim: cannot make the socket " << s.path << ": " << std::strerror(errno) << "\n";
        if (fd >= 0) ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    s.listenFd = fd;
    s.wakeFd = ::eventfd(0, EFD_CLOEXEC);
    s.plugged = true;
    s.acceptor = std::thread([&s] { s.accept_loop(); });
    return true;
}

void AmpsimServer::unplug()
{
    Impl& s = *m_impl;
    std::vector<std::shared_ptr<Client>> clients;
    std::thread acceptor;
    {
        std::lock_guard lock(s.mutex);
        if (!s.plugged) return;
        s.plugged = false;
        ::unlink(s.path.c_str());
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(s.wakeFd, &one, sizeof one);
        acceptor = std::move(s.acceptor);
    }
    acceptor.join();  // no client joins after this
    ::close(s.listenFd);
    ::close(s.wakeFd);
    {
        std::lock_guard lock(s.mutex);
        clients.swap(s.clients);
    }
    for (auto& c : clients) ::shutdown(c->fd, SHUT_RDWR);
    for (auto& c : clients) {
        if (c->thread.get_id() == std::this_thread::get_id())
            c->thread.detach();  // the device unplugged itself from inside a request
        else c->thread.join();
    }
}

bool AmpsimServer::plugged() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->plugged;
}

}  // namespace platform::bus
