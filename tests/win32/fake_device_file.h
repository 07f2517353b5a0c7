// A device file whose answers a test scripts: complete at once, fail at once, or stay pending.
#pragma once

#include "platform/win32/device_namespace.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace test {

inline constexpr DWORD kCompleteAtOnce = 1;
inline constexpr DWORD kFailAtOnce = 2;
inline constexpr DWORD kKeepPending = 3;

// Lets a waiting thread serve the file's requests: completes the oldest pending one on the
// waiting thread when told to, else sleeps until done(), the deadline or wake_waiters().
class FakeCompleter : public platform::win32::Completer {
public:
    explicit FakeCompleter(class FakeDeviceFile& file) : m_file(file) {}
    bool complete_here(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) override;
    void wake_waiters() override
    {
        {
            std::lock_guard lock(mutex);
            ++wakes;
        }
        cv.notify_all();
    }

    std::mutex mutex;
    std::condition_variable cv;
    bool answerHere = false;
    int wakes = 0;
    int serves = 0;
    std::thread::id answeredOn;

private:
    FakeDeviceFile& m_file;
};

class FakeDeviceFile : public platform::win32::DeviceFile {
public:
    void ioctl(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
               std::shared_ptr<platform::win32::IoRequest> request) override
    {
        if (code == kCompleteAtOnce) {
            for (auto& b : out) b = 0xA5;
            request->complete(ERROR_SUCCESS, static_cast<DWORD>(out.size()));
        } else if (code == kFailAtOnce) {
            request->complete(ERROR_GEN_FAILURE, 0);
        } else if (code == kKeepPending) {
            std::lock_guard lock(mutex);
            pending.push_back(std::move(request));
        } else {
            request->complete(ERROR_INVALID_FUNCTION, 0);
        }
    }
    void close() override
    {
        std::lock_guard lock(mutex);
        ++closes;
        for (auto& r : pending) r->complete(ERROR_OPERATION_ABORTED, 0);
        pending.clear();
    }
    std::shared_ptr<platform::win32::Completer> completer() override { return servedBy; }
    std::shared_ptr<platform::win32::IoRequest> take_pending()
    {
        std::lock_guard lock(mutex);
        if (pending.empty()) return nullptr;
        auto r = pending.front();
        pending.erase(pending.begin());
        return r;
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<platform::win32::IoRequest>> pending;
    int closes = 0;
    std::shared_ptr<FakeCompleter> servedBy;  // nullptr: waiters wait on the event alone
};

inline bool FakeCompleter::complete_here(std::chrono::steady_clock::time_point deadline,
                                         const std::function<bool()>& done)
{
    std::unique_lock lock(mutex);
    ++serves;
    if (answerHere) {
        lock.unlock();
        if (auto request = m_file.take_pending()) {
            answeredOn = std::this_thread::get_id();
            request->complete(ERROR_SUCCESS, 5);
        }
        return true;
    }
    const int seen = wakes;
    lock.unlock();
    if (done()) return true;
    lock.lock();
    cv.wait_until(lock, deadline, [&] { return wakes != seen; });
    return true;
}

inline constexpr GUID kTestClass = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr GUID kOtherClass = {0x99999999, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

}  // namespace test
