#include "tests/usb/fake_driver.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <span>
#include <thread>
#include <vector>

using namespace usbtest;
using platform::win32::IoRequest;

namespace {

// Completes held requests from its own thread, as a driver would from the bus. Whatever has
// gathered is completed newest first, so results come back in another order than asked. Each
// read is filled with a tag of its own; each write's byte is noted as it arrives.
class Completer {
public:
    explicit Completer(FakeDriverFile& file) : m_file(file)
    {
        m_file.transfer = [this](DWORD code, std::span<uint8_t>, std::span<uint8_t> out,
                                 std::shared_ptr<IoRequest> request) {
            // A buffered request carries the record ahead of its data; a direct one the data alone.
            std::span<uint8_t> data = code == IOCTL_BUFFERED_TRANSFER ? out.subspan(TRANSFER_RECORD_SIZE) : out;
            std::lock_guard lock(m_mutex);
            m_queue.push_back({std::move(request), DWORD(out.size()), data});
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

    // The bytes written, in the order they reached the driver.
    std::vector<BYTE> written;
    // The tags handed to reads.
    std::vector<uint16_t> tags;

private:
    struct Held {
        std::shared_ptr<IoRequest> request;
        DWORD bytes;
        std::span<uint8_t> data;
    };

    void Run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            std::deque<Held> batch;
            batch.swap(m_queue);
            for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
                if (it->data.size() == 1) {
                    written.push_back(it->data[0]);
                } else if (!it->data.empty()) {
                    uint16_t tag = m_nextTag++;
                    tags.push_back(tag);
                    std::fill(it->data.begin(), it->data.end(), BYTE(tag));
                    it->data[0] = BYTE(tag >> 8);
                }
            }
            lock.unlock();
            for (auto it = batch.rbegin(); it != batch.rend(); ++it) it->request->complete(ERROR_SUCCESS, it->bytes);
            lock.lock();
        }
    }

    FakeDriverFile& m_file;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Held> m_queue;
    bool m_stop = false;
    uint16_t m_nextTag = 0x0100;
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
    const int rounds = 300;
    std::atomic<int> failures{0};
    std::vector<uint16_t> received[2];
    {
        Completer completer(m_driver.file());
        auto reader = [&](std::vector<uint16_t>& got) {
            std::array<BYTE, 68> buffer{};
            for (int i = 0; i < rounds; ++i) {
                buffer.fill(0);
                LONG length = 68;
                if (!m_device.bulkInEndPoint->TransferData(buffer.data(), length) || length != 68) ++failures;
                // One request's tag from end to end: its high byte first, its low byte throughout.
                uint16_t tag = uint16_t(buffer[0] << 8 | buffer[1]);
                for (size_t b = 1; b < buffer.size(); ++b)
                    if (buffer[b] != BYTE(tag)) ++failures;
                got.push_back(tag);
            }
        };
        auto writer = [&](BYTE first) {
            for (int i = 0; i < rounds; ++i) {
                BYTE command = BYTE(first + i % 128);
                LONG length = 1;
                if (!m_device.bulkOutEndPoint->TransferData(&command, length) || length != 1) ++failures;
            }
        };
        std::thread a(reader, std::ref(received[0])), b(reader, std::ref(received[1])), c(writer, BYTE(0)),
            d(writer, BYTE(128));
        a.join();
        b.join();
        c.join();
        d.join();
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(m_device.bulkInEndPoint->bytesTransferred, 68);
        EXPECT_EQ(m_device.bulkOutEndPoint->bytesTransferred, 1);

        // Every read got a tag of its own, and together exactly the tags handed out.
        std::vector<uint16_t> all = received[0];
        all.insert(all.end(), received[1].begin(), received[1].end());
        std::sort(all.begin(), all.end());
        std::vector<uint16_t> handedOut = completer.tags;
        std::sort(handedOut.begin(), handedOut.end());
        EXPECT_EQ(all.size(), size_t(2 * rounds));
        EXPECT_EQ(all, handedOut);
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a tag reached two reads";

        // Each writer's bytes reached the driver whole and in its own order.
        std::vector<BYTE> fromC, fromD;
        for (BYTE w : completer.written) (w < 128 ? fromC : fromD).push_back(w);
        std::vector<BYTE> sentC, sentD;
        for (int i = 0; i < rounds; ++i) {
            sentC.push_back(BYTE(i % 128));
            sentD.push_back(BYTE(128 + i % 128));
        }
        EXPECT_EQ(fromC, sentC);
        EXPECT_EQ(fromD, sentD);
    }
    // Each transfer reached the driver as one request.
    size_t transfers = 0;
    for (const Request& r : m_driver.file().requests())
        transfers += r.code == IOCTL_BUFFERED_TRANSFER || r.code == IOCTL_DIRECT_TRANSFER;
    EXPECT_EQ(transfers, size_t(4 * rounds));
}

INSTANTIATE_TEST_SUITE_P(Modes, ConcurrentTransfer, ::testing::Values(0x01050700u, 0x01050400u));
