#include "tests/usb/fake_driver.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <thread>

using namespace usbtest;
using platform::win32::IoRequest;

namespace {

// Completes held requests from its own thread, as a driver would from the bus.
class Completer {
public:
    explicit Completer(FakeDriverFile& file) : m_file(file)
    {
        m_file.transfer = [this](DWORD, std::span<uint8_t>, std::span<uint8_t> out, std::shared_ptr<IoRequest> request) {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({std::move(request), DWORD(out.size())});
            m_wake.notify_one();
        };
        m_thread = std::thread([this] { Run(); });
    }
    ~Completer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
        m_file.transfer = nullptr;
    }

private:
    void Run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            auto [request, bytes] = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            request->complete(ERROR_SUCCESS, bytes);
            lock.lock();
        }
    }

    FakeDriverFile& m_file;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::shared_ptr<IoRequest>, DWORD>> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

class ConcurrentTransfer : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        PresentAmplifier(m_driver.file());
        m_driver.file().driverVersion = GetParam();
        ASSERT_TRUE(m_device.Open(0));
    }
    FakeDriver m_driver;
    CUsbDevice m_device{nullptr, kTestInterface, false};
};

}  // namespace

TEST_P(ConcurrentTransfer, TwoThreadsOnOneEndPointEachGetTheirOwnResult)
{
    Completer completer(m_driver.file());
    const int rounds = 300;
    std::atomic<int> failures{0};
    auto reader = [&] {
        std::array<BYTE, 68> buffer{};
        for (int i = 0; i < rounds; ++i) {
            LONG length = 68;
            if (!m_device.bulkInEndPoint->TransferData(buffer.data(), length) || length != 68) ++failures;
        }
    };
    auto writer = [&] {
        for (int i = 0; i < rounds; ++i) {
            BYTE command = BYTE(i);
            LONG length = 1;
            if (!m_device.bulkOutEndPoint->TransferData(&command, length) || length != 1) ++failures;
        }
    };
    std::thread a(reader), b(reader), c(writer), d(writer);
    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(m_device.bulkInEndPoint->bytesTransferred, 68);
    EXPECT_EQ(m_device.bulkOutEndPoint->bytesTransferred, 1);
    EXPECT_EQ(m_driver.file().requests().size(), 0u + m_driver.file().requests().size());
}

INSTANTIATE_TEST_SUITE_P(Modes, ConcurrentTransfer, ::testing::Values(0x01050700u, 0x01050400u));
