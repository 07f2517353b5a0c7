#include "platform/bus/ampsim_client.h"

#include "platform/bus/ampsim_wire.h"
#include "platform/bus/bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace platform::bus::ampsim {

namespace {

using Clock = std::chrono::steady_clock;

// Longest wait for a control request or an open to be answered.
constexpr std::chrono::milliseconds kCallLimit{10000};
// How long a cancel waits for its answer. It completes what it cancels here in any case; the
// wait only lets transfers the ampsim finished meanwhile come home with what they moved.
constexpr std::chrono::milliseconds kCancelLimit{250};
// How long the reader thread leaves the socket to the threads that wait on it after the last of
// them let go of it. A thread that waits transfer after transfer takes it again well within this,
// so the reader stays asleep; it only wakes this often to see whether the socket needs it.
constexpr std::chrono::milliseconds kReaderGrace{250};

// A device in an ampsim process, reached through its socket.
//
// One thread at a time reads the socket and hands each answer to whoever it is for. A thread that
// waits for an answer reads it itself when nobody else is reading, so the answer wakes that
// thread and no other; the reader thread reads whenever no waiter has for a while (answers nobody
// waits for, the ampsim hanging up while the program is idle).
class Proxy final : public Device {
public:
    Proxy(int fd, std::string location, uint32_t driverVersion)
        : m_fd(fd), m_kick(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_location(std::move(location)),
          m_driverVersion(driverVersion), m_buffer(kMaxFrame)
    {
    }
    ~Proxy() override
    {
        ::close(m_fd);
        if (m_kick >= 0) ::close(m_kick);
    }

    std::string backend() const override { return "ampsim"; }
    std::string location() const override { return m_location; }
    uint32_t driver_version() const override { return m_driverVersion; }

    Result control(const Setup& setup, std::span<uint8_t> data) override
    {
        size_t length = std::min<size_t>(setup.length, data.size());
        if (length > kMaxData) return {Status::error, 0};
        Header h;
        h.type = static_cast<uint8_t>(Frame::control);
        h.setup = setup;
        bool in = setup.requestType & 0x80;
        return call(h, in ? std::span<const uint8_t>() : std::span<const uint8_t>(data.data(), length),
                    in ? data.first(length) : std::span<uint8_t>());
    }

    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override
    {
        if (data.size() > kMaxData) {
            done({Status::error, 0});
            return;
        }
        Header h;
        h.type = static_cast<uint8_t>(Frame::submit);
        h.endpoint = endpoint;
        h.length = static_cast<uint32_t>(data.size());
        bool gone;
        {
            std::lock_guard lock(m_mutex);
            gone = m_gone;
            if (!gone) {
                h.id = m_nextId++;
                m_pending.emplace(h.id, Pending{endpoint, data, std::move(done)});
            }
        }
        // Completions run unlocked: they may call back into us.
        if (gone) {
            done({Status::no_device, 0});
            return;
        }
        if (!send_frame(m_fd, h, (endpoint & 0x80) ? std::span<const uint8_t>() : std::span<const uint8_t>(data)))
            finish_pending(h.id, {Status::no_device, 0});
    }

    void cancel(uint8_t endpoint) override
    {
        Header h;
        h.type = static_cast<uint8_t>(Frame::cancel);
        h.endpoint = endpoint;
        call(h, {}, {}, true);
        // The answer comes after every cancelled transfer's; whatever is left was lost in between.
        std::vector<Completion> left;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_pending.begin(); it != m_pending.end();) {
                if (it->second.endpoint == endpoint) {
                    left.push_back(std::move(it->second.done));
                    it = m_pending.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& done : left) done({Status::cancelled, 0});
    }

    Status open() override
    {
        Header h;
        h.type = static_cast<uint8_t>(Frame::open);
        Status s = call(h, {}, {}).status;
        if (s == Status::busy)
            std::fprintf(stderr, "ampsim: cannot open %s: device busy (another program has it open)\n",
                         m_location.c_str());
        return s;
    }

    void close() override
    {
        Header h;
        h.type = static_cast<uint8_t>(Frame::close);
        send_frame(m_fd, h);
    }

    bool complete_here(Clock::time_point deadline, const std::function<bool()>& done) override
    {
        return wait_for(deadline, done);
    }

    void wake_waiters() override
    {
        bool kick;
        {
            std::lock_guard lock(m_mutex);
            if (m_waiters == 0) return;
            ++m_epoch;
            kick = m_reading != Reading::nobody && m_readingThread != std::this_thread::get_id();
        }
        m_cv.notify_all();
        if (kick) this->kick();
    }

    void hang_up()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        {
            std::lock_guard lock(m_mutex);
            m_readerCalled = true;
        }
        m_readerCv.notify_all();
    }

    // The reader thread: reads while no waiter does, until the socket closes.
    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_gone) {
            const bool free = m_reading == Reading::nobody && m_waiters == 0;
            if (free && (m_readerCalled || Clock::now() - m_lastRead >= kReaderGrace)) {
                m_readerCalled = false;
                m_readerYield.store(false);
                read_socket(
                    lock, Clock::time_point::max(), [this] { return m_readerYield.load(); }, Reading::reader);
                continue;
            }
            // Someone reads, or is about to: the answers come to them, and they call again when
            // they leave with answers still due.
            if (!free) m_readerCalled = false;
            const Clock::time_point from = free ? m_lastRead : Clock::now();
            m_readerCv.wait_until(lock, from + kReaderGrace, [this] { return m_readerCalled || m_gone; });
        }
    }

private:
    struct Pending {
        uint8_t endpoint;
        std::span<uint8_t> data;
        Completion done;
    };
    struct Call {
        std::span<uint8_t> in;
        Result result;
        bool done = false;
    };
    enum class Reading : uint8_t { nobody, reader, waiter };

    // Until done() holds or `deadline` passes (true), or the device is gone (false): reading the
    // socket when nobody else does, else asleep until whoever reads has news.
    bool wait_for(Clock::time_point deadline, const std::function<bool()>& done)
    {
        std::unique_lock lock(m_mutex);
        ++m_waiters;
        // The reader thread lets go of the socket at once; the answer may still come to it first.
        if (m_reading == Reading::reader) {
            m_readerYield.store(true);
            kick();
        }
        bool served = true;
        for (;;) {
            const uint64_t seen = m_epoch;
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished) break;
            // Gone: false once the transfers it failed have been told.
            if (m_goneTold) {
                served = false;
                break;
            }
            if (Clock::now() >= deadline) break;
            if (m_epoch != seen) continue;
            if (m_reading == Reading::nobody && !m_gone) {
                read_socket(lock, deadline, done, Reading::waiter);
                continue;
            }
            if (deadline == Clock::time_point::max()) m_cv.wait(lock, [&] { return m_epoch != seen; });
            else m_cv.wait_until(lock, deadline, [&] { return m_epoch != seen; });
        }
        --m_waiters;
        return served;
    }

    // Reads and hands out answers until done() holds, `deadline` passes or the socket closes.
    // Called and returns with `lock` held; reads with it let go.
    void read_socket(std::unique_lock<std::mutex>& lock, Clock::time_point deadline, const std::function<bool()>& done,
                     Reading who)
    {
        m_reading = who;
        m_readingThread = std::this_thread::get_id();
        lock.unlock();
        for (;;) {
            int timeout = -1;
            if (deadline != Clock::time_point::max()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) break;
                timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
            }
            pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_kick, POLLIN, 0}};
            if (::poll(fds, m_kick >= 0 ? 2 : 1, timeout) < 0 && errno != EINTR) {
                go_gone();
                break;
            }
            if (fds[1].revents & POLLIN) {
                uint64_t count;
                [[maybe_unused]] ssize_t n = ::read(m_kick, &count, sizeof count);
            }
            if (fds[0].revents && !receive_one()) {
                go_gone();
                break;
            }
            if (done()) break;
        }
        lock.lock();
        m_reading = Reading::nobody;
        m_lastRead = Clock::now();
        ++m_epoch;
        // A waiter that read counts itself among the waiters.
        if (m_waiters > (who == Reading::waiter ? 1 : 0)) {
            m_cv.notify_all();
        } else if (who == Reading::waiter && (!m_pending.empty() || !m_calls.empty())) {
            // Answers still to come that no one waits for here.
            m_readerCalled = true;
            m_readerCv.notify_all();
        }
    }

    // One frame off the socket, if one is there; false when the socket has closed.
    bool receive_one()
    {
        ssize_t n;
        do {
            n = ::recv(m_fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n < static_cast<ssize_t>(sizeof(Header))) return false;
        Header h;
        std::memcpy(&h, m_buffer.data(), sizeof h);
        std::span<const uint8_t> data(m_buffer.data() + sizeof h, static_cast<size_t>(n) - sizeof h);
        m_unanswered.store(false);
        if (h.type == (static_cast<uint8_t>(Frame::submit) | kDone)) on_submit_done(h, data);
        else if (h.type & kDone) on_call_done(h, data);
        return true;
    }

    void kick()
    {
        uint64_t one = 1;
        if (m_kick >= 0) {
            [[maybe_unused]] ssize_t n = ::write(m_kick, &one, sizeof one);
        }
    }

    // The socket closed: everything still waiting fails, once.
    void go_gone()
    {
        std::unordered_map<uint32_t, Pending> pending;
        {
            std::lock_guard lock(m_mutex);
            if (m_gone) return;
            m_gone = true;
            pending.swap(m_pending);
            for (auto& [id, c] : m_calls) {
                c->result = {Status::no_device, 0};
                c->done = true;
            }
            m_calls.clear();
            ++m_epoch;
        }
        m_cv.notify_all();
        m_readerCv.notify_all();
        for (auto& [id, p] : pending) p.done({Status::no_device, 0});
        {
            std::lock_guard lock(m_mutex);
            m_goneTold = true;
            ++m_epoch;
        }
        m_cv.notify_all();
    }

    // Once a call went unanswered (the ampsim is stopped or hung) the next ones wait less, a
    // cancel not at all, until the ampsim is heard from again: a way out of the program never
    // waits out more than one limit.
    Result call(Header h, std::span<const uint8_t> out, std::span<uint8_t> in, bool cancelling = false)
    {
        bool unanswered = m_unanswered.load();
        std::chrono::milliseconds limit = cancelling ? (unanswered ? std::chrono::milliseconds(0) : kCancelLimit)
                                                     : (unanswered ? kCancelLimit : kCallLimit);
        const Clock::time_point deadline = Clock::now() + limit;
        Call c;
        c.in = in;
        {
            std::lock_guard lock(m_mutex);
            if (m_gone) return {Status::no_device, 0};
            h.id = m_nextId++;
            m_calls.emplace(h.id, &c);
        }
        bool sent = send_frame(m_fd, h, out);
        if (sent) {
            // A hung ampsim must not hang the program: the answer, if it ever comes, is dropped.
            wait_for(deadline, [&] {
                std::lock_guard lock(m_mutex);
                return c.done;
            });
        }
        std::lock_guard lock(m_mutex);
        if (c.done) return c.result;
        m_calls.erase(h.id);
        if (!sent) return {Status::no_device, 0};
        m_unanswered.store(true);
        return {Status::error, 0};
    }

    void on_call_done(const Header& h, std::span<const uint8_t> data)
    {
        {
            std::lock_guard lock(m_mutex);
            auto it = m_calls.find(h.id);
            if (it == m_calls.end()) return;
            Call& c = *it->second;
            size_t n = std::min({data.size(), c.in.size(), static_cast<size_t>(h.length)});
            if (n) std::memcpy(c.in.data(), data.data(), n);
            c.result = {static_cast<Status>(h.status), static_cast<uint32_t>(std::min<size_t>(h.length, c.in.size()))};
            if (c.in.empty()) c.result.bytes = h.length;
            c.done = true;
            m_calls.erase(it);
            ++m_epoch;
        }
        m_cv.notify_all();
    }

    void on_submit_done(const Header& h, std::span<const uint8_t> data)
    {
        Completion done;
        Result result{static_cast<Status>(h.status), h.length};
        {
            std::lock_guard lock(m_mutex);
            auto it = m_pending.find(h.id);
            if (it == m_pending.end()) return;
            Pending& p = it->second;
            if (p.endpoint & 0x80) {
                size_t n = std::min(data.size(), p.data.size());
                if (n) std::memcpy(p.data.data(), data.data(), n);
                result.bytes = static_cast<uint32_t>(n);
            } else {
                result.bytes = std::min<uint32_t>(h.length, static_cast<uint32_t>(p.data.size()));
            }
            done = std::move(p.done);
            m_pending.erase(it);
        }
        done(result);
    }

    void finish_pending(uint32_t id, Result result)
    {
        Completion done;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_pending.find(id);
            if (it == m_pending.end()) return;
            done = std::move(it->second.done);
            m_pending.erase(it);
        }
        done(result);
    }

    const int m_fd;
    const int m_kick;  // wakes whoever reads the socket, to look at done() again
    const std::string m_location;
    const uint32_t m_driverVersion;
    std::vector<uint8_t> m_buffer;  // whoever reads the socket receives into it
    std::mutex m_mutex;
    std::condition_variable m_cv;        // waiters that do not read
    std::condition_variable m_readerCv;  // the reader thread
    uint64_t m_epoch = 0;                // moves on whatever a waiter may be waiting for
    int m_waiters = 0;
    Reading m_reading = Reading::nobody;
    std::thread::id m_readingThread;
    Clock::time_point m_lastRead{};
    bool m_readerCalled = false;
    std::atomic<bool> m_readerYield{false};
    std::atomic<bool> m_unanswered{false};
    bool m_gone = false;
    bool m_goneTold = false;  // and every transfer it failed has been told so
    uint32_t m_nextId = 1;
    std::unordered_map<uint32_t, Pending> m_pending;
    std::unordered_map<uint32_t, Call*> m_calls;
};

struct Connection {
    std::string name;
    std::shared_ptr<Proxy> proxy;
    std::thread reader;
    std::mutex mutex;
    bool attached = false;
    bool finished = false;
};

struct Watcher {
    std::mutex mutex;  // running, thread
    bool running = false;
    std::thread thread;
    int wakeFd = -1;
    std::mutex scanMutex;  // connections; one scan at a time
    std::list<std::unique_ptr<Connection>> connections;
};

Watcher& watcher()
{
    static Watcher* w = new Watcher;
    return *w;
}

bool finished(Connection& c)
{
    std::lock_guard lock(c.mutex);
    return c.finished;
}

void reap(Watcher& w)
{
    for (auto it = w.connections.begin(); it != w.connections.end();) {
        if (finished(**it)) {
            (*it)->reader.join();
            it = w.connections.erase(it);
        } else {
            ++it;
        }
    }
}

// Connects to one socket; false when nobody listens there.
bool connect_to(Watcher& w, const std::filesystem::path& socketPath)
{
    std::string name = socketPath.stem().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = socketPath.string();
    if (path.size() >= sizeof address.sun_path) return true;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        ::close(fd);
        return error != ECONNREFUSED;
    }
    // The server speaks first; one that does not within a second is not an ampsim.
    timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::vector<uint8_t> buffer(kMaxFrame);
    auto frame = receive_frame(fd, buffer);
    if (!frame || frame->header.type != static_cast<uint8_t>(Frame::info)) {
        ::close(fd);
        return true;
    }
    timeval none{0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);

    auto c = std::make_unique<Connection>();
    c->name = name;
    c->proxy = std::make_shared<Proxy>(fd, name, frame->header.value);
    Connection* raw = c.get();
    c->reader = std::thread([raw] {
        raw->proxy->run();
        bool attached;
        {
            std::lock_guard lock(raw->mutex);
            raw->finished = true;
            attached = raw->attached;
        }
        if (attached) detach(raw->proxy);
    });
    w.connections.push_back(std::move(c));
    attach(raw->proxy);
    bool gone;
    {
        std::lock_guard lock(raw->mutex);
        raw->attached = true;
        gone = raw->finished;
    }
    if (gone) detach(raw->proxy);
    return true;
}

void scan(Watcher& w)
{
    std::lock_guard lock(w.scanMutex);
    reap(w);
    std::error_code ec;
    std::filesystem::directory_iterator it(runtime_dir(), ec);
    if (ec) return;
    for (const auto& entry : it) {
        if (entry.path().extension() != ".sock" || !entry.is_socket(ec)) continue;
        std::string name = entry.path().stem().string();
        bool known = std::any_of(w.connections.begin(), w.connections.end(),
                                 [&](const auto& c) { return c->name == name && !finished(*c); });
        if (known) continue;
        if (!connect_to(w, entry.path())) std::filesystem::remove(entry.path(), ec);  // a dead ampsim's
    }
}

void watch(Watcher& w)
{
    int notify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (notify >= 0) ::inotify_add_watch(notify, runtime_dir().c_str(), IN_CREATE | IN_MOVED_TO);
    for (;;) {
        pollfd fds[2] = {{w.wakeFd, POLLIN, 0}, {notify, POLLIN, 0}};
        ::poll(fds, notify >= 0 ? 2 : 1, 1000);
        if (fds[0].revents & POLLIN) break;
        if (notify >= 0 && (fds[1].revents & POLLIN)) {
            char events[4096];
            while (::read(notify, events, sizeof events) > 0) {}
        }
        scan(w);
    }
    if (notify >= 0) ::close(notify);
}

}  // namespace

void start_watcher()
{
    Watcher& w = watcher();
    std::lock_guard lock(w.mutex);
    if (w.running) return;
    w.running = true;
    w.wakeFd = ::eventfd(0, EFD_CLOEXEC);
    scan(w);
    w.thread = std::thread([&w] { watch(w); });
}

void stop_watcher()
{
    Watcher& w = watcher();
    std::lock_guard lock(w.mutex);
    if (!w.running) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(w.wakeFd, &one, sizeof one);
    w.thread.join();
    ::close(w.wakeFd);
    w.wakeFd = -1;
    std::lock_guard scanLock(w.scanMutex);
    for (auto& c : w.connections) c->proxy->hang_up();
    for (auto& c : w.connections) c->reader.join();
    w.connections.clear();
    w.running = false;
}

void scan_now()
{
    scan(watcher());
}

}  // namespace platform::bus::ampsim
