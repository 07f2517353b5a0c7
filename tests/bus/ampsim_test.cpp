#include "tests/usbdriver/test_device.h"

#include "platform/bus/ampsim_client.h"
#include "platform/bus/ampsim_server.h"
#include "platform/bus/ampsim_wire.h"
#include "platform/bus/bus.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <thread>

using namespace platform;
using test::TestDevice;

namespace {

// Waits for the bus to report `location` attached (true) or detached (false).
class BusWatch {
public:
    BusWatch(std::string location, bool attached)
    {
        m_id = bus::subscribe([this, location, attached](const std::shared_ptr<bus::Device>& d, bool a) {
            if (d->location() == location && a == attached && !m_fired.exchange(true)) m_promise.set_value(d);
        });
    }
    ~BusWatch() { bus::unsubscribe(m_id); }
    std::shared_ptr<bus::Device> wait()
    {
        auto f = m_promise.get_future();
        if (f.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return nullptr;
        return f.get();
    }

private:
    bus::ListenerId m_id;
    std::atomic<bool> m_fired{false};
    std::promise<std::shared_ptr<bus::Device>> m_promise;
};

std::future<bus::Result> submit(bus::Device& d, uint8_t ep, std::span<uint8_t> data)
{
    auto promise = std::make_shared<std::promise<bus::Result>>();
    d.submit(ep, data, [promise](bus::Result r) { promise->set_value(r); });
    return promise->get_future();
}

class Ampsim : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ampsim-test-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        ::setenv("AMP_RUNTIME_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override
    {
        bus::ampsim::stop_watcher();
        std::filesystem::remove_all(m_dir);
    }
    std::shared_ptr<bus::Device> proxy_for(const std::string& name)
    {
        for (auto& d : bus::devices())
            if (d->backend() == "ampsim" && d->location() == name) return d;
        return nullptr;
    }

    std::string m_dir;
    std::shared_ptr<TestDevice> m_device = std::make_shared<TestDevice>("model");
};

TEST_F(Ampsim, RequestsMakeTheRoundTripThroughTheSocket)
{
    m_device->driverVersion = 0x01050400;
    bus::AmpsimServer server(m_device, "echo-1");
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("echo-1");
    ASSERT_TRUE(proxy);
    EXPECT_EQ(proxy->driver_version(), 0x01050400u);

    uint8_t descriptor[18]{};
    bus::Result r = proxy->control({0x80, 6, 0x0100, 0, 18}, descriptor);
    EXPECT_EQ(r.status, bus::Status::ok);
    EXPECT_EQ(std::vector<uint8_t>(descriptor, descriptor + 18), TestDevice::kDevice);
    uint8_t vendor[2] = {4, 5};
    EXPECT_EQ(proxy->control({0x40, 1, 0, 0, 2}, vendor).bytes, 2u);
    EXPECT_EQ(proxy->control({0x80, 6, 0x0300, 0, 2}, descriptor).status, bus::Status::stall);

    uint8_t out[3] = {1, 2, 3};
    EXPECT_EQ(submit(*proxy, 0x02, out).get().bytes, 3u);
    uint8_t in[68]{};
    bus::Result got = submit(*proxy, 0x81, in).get();
    EXPECT_EQ(got.status, bus::Status::ok);
    EXPECT_EQ(got.bytes, 3u);
    EXPECT_EQ(in[2], 3);
    EXPECT_EQ(m_device->vendorBytes, (std::vector<uint8_t>{4, 5}));
}

TEST_F(Ampsim, CancelEndsThePendingReadBeforeReturning)
{
    bus::AmpsimServer server(m_device, "echo-2");
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("echo-2");
    ASSERT_TRUE(proxy);
    uint8_t in[68];
    auto pending = submit(*proxy, 0x81, in);
    proxy->cancel(0x81);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(pending.get().status, bus::Status::cancelled);
}

TEST_F(Ampsim, UnplugCompletesAPendingReadAtOnceAndDetaches)
{
    bus::AmpsimServer server(m_device, "echo-3");
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("echo-3");
    ASSERT_TRUE(proxy);
    uint8_t in[68];
    auto pending = submit(*proxy, 0x81, in);
    BusWatch gone("echo-3", false);
    server.unplug();
    EXPECT_FALSE(server.plugged());
    EXPECT_EQ(pending.get().status, bus::Status::no_device);
    EXPECT_TRUE(gone.wait());
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/echo-3.sock"));
    EXPECT_EQ(proxy->control({0x80, 6, 0x0100, 0, 18}, in).status, bus::Status::no_device);

    BusWatch back("echo-3", true);
    EXPECT_TRUE(server.plug());
    EXPECT_TRUE(back.wait());
}

TEST_F(Ampsim, ASecondServerCannotTakeALiveName)
{
    bus::AmpsimServer first(m_device, "twin-1");
    bus::AmpsimServer second(std::make_shared<TestDevice>(), "twin-1");
    EXPECT_TRUE(first.plugged());
    EXPECT_FALSE(second.plugged());
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("twin-1");
    ASSERT_TRUE(proxy);
    uint8_t out[1] = {9};
    EXPECT_EQ(submit(*proxy, 0x02, out).get().status, bus::Status::ok);
    EXPECT_EQ(m_device->submits, 1);
}

// A program's end of the socket, spoken by hand: each connection is one program.
class RawClient {
public:
    explicit RawClient(const std::string& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval limit{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (m_connected) m_connected = receive().has_value();  // the greeting
    }
    ~RawClient() { hang_up(); }
    bool connected() const { return m_connected; }
    void hang_up()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    // Sends one request and returns the status of its answer.
    std::optional<bus::Status> ask(bus::ampsim::Frame type, uint8_t endpoint = 0, bus::Setup setup = {},
                                   std::vector<uint8_t> data = {})
    {
        bus::ampsim::Header h;
        h.type = static_cast<uint8_t>(type);
        h.endpoint = endpoint;
        h.id = ++m_id;
        h.setup = setup;
        h.length = static_cast<uint32_t>(data.size());
        if (!bus::ampsim::send_frame(m_fd, h, data)) return std::nullopt;
        auto answer = receive();
        if (!answer) return std::nullopt;
        return static_cast<bus::Status>(answer->status);
    }
    // Close has no answer: a descriptor read after it shows that the ampsim has taken it.
    void tell_closed()
    {
        bus::ampsim::Header h;
        h.type = static_cast<uint8_t>(bus::ampsim::Frame::close);
        bus::ampsim::send_frame(m_fd, h);
        ask(bus::ampsim::Frame::control, 0, {0x80, 6, 0x0100, 0, 18});
    }

private:
    std::optional<bus::ampsim::Header> receive()
    {
        std::vector<uint8_t> buffer(bus::ampsim::kMaxFrame);
        auto frame = bus::ampsim::receive_frame(m_fd, buffer);
        if (!frame) return std::nullopt;
        return frame->header;
    }

    int m_fd = -1;
    bool m_connected = false;
    uint32_t m_id = 0;
};

TEST_F(Ampsim, ASecondProgramIsRefusedAsBusyUntilTheFirstHasClosed)
{
    using bus::Status;
    using Frame = bus::ampsim::Frame;
    bus::AmpsimServer server(m_device, "shared-1");
    const std::string path = m_dir + "/shared-1.sock";
    RawClient first(path), second(path), third(path);
    ASSERT_TRUE(first.connected() && second.connected() && third.connected());
    const bus::Setup deviceDescriptor{0x80, 6, 0x0100, 0, 18};
    const bus::Setup vendorOut{0x40, 1, 0, 0, 1};

    EXPECT_EQ(first.ask(Frame::open), Status::ok);
    EXPECT_EQ(first.ask(Frame::open), Status::ok) << "the holder may open again";
    EXPECT_EQ(second.ask(Frame::open), Status::busy);
    EXPECT_EQ(second.ask(Frame::submit, 0x02, {}, {0x02}), Status::busy)
        << "nothing reaches the device under the holder";
    EXPECT_EQ(second.ask(Frame::control, 0, vendorOut, {7}), Status::busy);
    EXPECT_EQ(second.ask(Frame::control, 0, deviceDescriptor), Status::ok) << "descriptors stay readable";
    EXPECT_EQ(m_device->submits, 0);
    EXPECT_EQ(first.ask(Frame::submit, 0x02, {}, {0x02}), Status::ok);

    first.tell_closed();
    EXPECT_EQ(second.ask(Frame::open), Status::busy) << "opened twice, closed once";
    first.tell_closed();
    EXPECT_EQ(second.ask(Frame::open), Status::ok);
    EXPECT_EQ(first.ask(Frame::open), Status::busy);

    second.hang_up();  // a program that ends without closing lets go as well
    std::optional<Status> opened;
    for (int i = 0; i < 100 && opened != Status::ok; ++i) {
        opened = third.ask(Frame::open);
        if (opened != Status::ok) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(opened, Status::ok);
}

// An ampsim stopped in a debugger or by SIGSTOP: it greets, then never answers. The program
// hangs up first (stop_watcher), which lets it go.
class SilentAmpsim {
public:
    explicit SilentAmpsim(const std::string& path)
    {
        m_listener = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 1) != 0)
            return;
        m_greeter = std::thread([listener = m_listener] {
            int fd = ::accept(listener, nullptr, nullptr);
            bus::ampsim::Header info;
            info.type = static_cast<uint8_t>(bus::ampsim::Frame::info);
            bus::ampsim::send_frame(fd, info);
            std::vector<uint8_t> buffer(bus::ampsim::kMaxFrame);
            while (bus::ampsim::receive_frame(fd, buffer)) {}
            ::close(fd);
        });
    }
    ~SilentAmpsim()
    {
        bus::ampsim::stop_watcher();
        if (m_greeter.joinable()) m_greeter.join();
        ::close(m_listener);
    }
    bool listening() const { return m_greeter.joinable(); }

private:
    int m_listener = -1;
    std::thread m_greeter;
};

TEST_F(Ampsim, CancelAgainstAnAmpsimThatStoppedAnsweringEndsTheTransfersWithoutItsAnswer)
{
    SilentAmpsim frozen(m_dir + "/frozen-1.sock");
    ASSERT_TRUE(frozen.listening());
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("frozen-1");
    ASSERT_TRUE(proxy);

    uint8_t in[68];
    uint8_t out[1] = {0x0b};
    auto read = submit(*proxy, 0x81, in);
    auto write = submit(*proxy, 0x01, out);
    auto start = std::chrono::steady_clock::now();
    proxy->cancel(0x81);
    proxy->cancel(0x01);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(read.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    ASSERT_EQ(write.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(read.get().status, bus::Status::cancelled);
    EXPECT_EQ(write.get().status, bus::Status::cancelled);
    // A call's own limit is ten seconds; two cancels must not come near it.
    EXPECT_LT(took, std::chrono::seconds(5));
}

// A read on 0x81 whose completion the test looks at; `then` runs inside the completion.
struct WatchedRead {
    void submit(bus::Device& d, std::function<void()> then = {})
    {
        d.submit(0x81, in, [this, then](bus::Result r) {
            result = r;
            completedOn = std::this_thread::get_id();
            done.store(true);
            if (then) then();
        });
    }
    // Waits as a driver's waiting thread does: reading the device's answers itself.
    bool wait_here(bus::Device& d, std::chrono::seconds limit)
    {
        return d.complete_here(std::chrono::steady_clock::now() + limit, [this] { return done.load(); });
    }

    uint8_t in[68]{};
    std::atomic<bool> done{false};
    bus::Result result;
    std::thread::id completedOn;
};

struct ServedRead {
    bool served = false;
    bool done = false;
    bus::Result result;
    std::thread::id completedOn;
    uint8_t first = 0;
};

ServedRead read_waiting_here(bus::Device& proxy, TestDevice& device, uint8_t value)
{
    WatchedRead read;
    read.submit(proxy);
    std::thread answer([&] {
        while (device.waiting() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        device.answer({value, 2});
    });
    const bool served = read.wait_here(proxy, std::chrono::seconds(10));
    answer.join();
    return {served, read.done.load(), read.result, read.completedOn, read.in[0]};
}

TEST_F(Ampsim, AThreadWaitingForItsReadTakesTheAnswerOffTheSocketItself)
{
    bus::AmpsimServer server(m_device, "served-1");
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("served-1");
    ASSERT_TRUE(proxy);
    // The reader thread may still hold the socket for the first answer; it lets go after it.
    ServedRead first = read_waiting_here(*proxy, *m_device, 0x11);
    EXPECT_TRUE(first.served && first.done);
    EXPECT_EQ(first.first, 0x11);
    for (uint8_t value : {0x22, 0x33}) {
        ServedRead r = read_waiting_here(*proxy, *m_device, value);
        EXPECT_TRUE(r.served);
        EXPECT_TRUE(r.done);
        EXPECT_EQ(r.result.status, bus::Status::ok);
        EXPECT_EQ(r.result.bytes, 2u);
        EXPECT_EQ(r.first, value);
        EXPECT_EQ(r.completedOn, std::this_thread::get_id()) << "answer " << int(value) << " came by another thread";
    }
    // Requests of other threads are answered meanwhile, whoever reads.
    uint8_t descriptor[18]{};
    EXPECT_EQ(proxy->control({0x80, 6, 0x0100, 0, 18}, descriptor).status, bus::Status::ok);
    EXPECT_EQ(descriptor[0], 18);
}

TEST_F(Ampsim, AWaiterReadingTheSocketIsWokenWhenItsTransferEndsAnotherWay)
{
    // The cancel's own answer never comes.
    SilentAmpsim silent(m_dir + "/silent-1.sock");
    ASSERT_TRUE(silent.listening());
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("silent-1");
    ASSERT_TRUE(proxy);

    WatchedRead read;
    read.submit(*proxy, [&] { proxy->wake_waiters(); });  // as a driver's event does when it is set
    bool served = false;
    auto took = std::chrono::steady_clock::duration::max();
    std::thread waiter([&] {
        const auto start = std::chrono::steady_clock::now();
        served = read.wait_here(*proxy, std::chrono::seconds(30));
        took = std::chrono::steady_clock::now() - start;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    proxy->cancel(0x81);
    waiter.join();
    EXPECT_TRUE(served);
    EXPECT_TRUE(read.done.load());
    EXPECT_EQ(read.result.status, bus::Status::cancelled);
    EXPECT_LT(took, std::chrono::seconds(10)) << "the waiter slept through the end of its transfer";
}

TEST_F(Ampsim, AnUnplugSeenByAWaitingThreadFailsItsReadAndDetaches)
{
    bus::AmpsimServer server(m_device, "served-2");
    bus::ampsim::start_watcher();
    auto proxy = proxy_for("served-2");
    ASSERT_TRUE(proxy);
    WatchedRead read;
    read.submit(*proxy);
    BusWatch gone("served-2", false);
    std::thread waiter([&] { read.wait_here(*proxy, std::chrono::seconds(30)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.unplug();
    waiter.join();
    EXPECT_TRUE(read.done.load());
    EXPECT_EQ(read.result.status, bus::Status::no_device);
    EXPECT_TRUE(gone.wait());
    EXPECT_FALSE(proxy->complete_here(std::chrono::steady_clock::now() + std::chrono::seconds(30), [] {
        return false;
    })) << "a device that is gone is not waited on";
}

TEST_F(Ampsim, AnAmpsimStartedLaterIsFound)
{
    bus::ampsim::start_watcher();
    BusWatch found("late-1", true);
    bus::AmpsimServer server(m_device, "late-1");
    EXPECT_TRUE(found.wait());
}

TEST_F(Ampsim, AStaleSocketIsIgnoredAndRemoved)
{
    std::string path = m_dir + "/dead-1.sock";
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never listening: what a crashed ampsim leaves
    ASSERT_TRUE(std::filesystem::exists(path));

    bus::ampsim::start_watcher();
    EXPECT_FALSE(proxy_for("dead-1"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
