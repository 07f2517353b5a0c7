// A device file whose answers a test scripts: complete at once, fail at once, or stay pending.
#pragma once

#include "platform/win32/device_namespace.h"

#include <mutex>
#include <vector>

namespace test {

inline constexpr DWORD kCompleteAtOnce = 1;
inline constexpr DWORD kFailAtOnce = 2;
inline constexpr DWORD kKeepPending = 3;

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
};

inline constexpr GUID kTestClass = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr GUID kOtherClass = {0x99999999, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

}  // namespace test
