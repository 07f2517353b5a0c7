// The kernel side of CreateFileA and DeviceIoControl: a driver publishes device interfaces
// under a class GUID (what SetupDi* enumerates) and answers the requests made on handles
// opened on them. Requests may complete at once or later, from any thread.
#pragma once

#include "platform/win32/windows.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace platform::win32 {

// One DeviceIoControl request in flight. The driver completes it exactly once, from any thread;
// completion fills the caller's OVERLAPPED (Internal = status, InternalHigh = bytes) and signals
// its event, or wakes a caller that gave no OVERLAPPED record.
class IoRequest {
public:
    virtual ~IoRequest() = default;
    // error: a Windows error code, ERROR_SUCCESS on success. bytes: the byte count to report.
    virtual void complete(DWORD error, DWORD bytes) = 0;
    // True once complete() has run.
    virtual bool completed() const = 0;
};

// Lets a thread that waits for a request read the device's answers itself, so that an answer wakes
// the thread waiting for it rather than a driver thread that then wakes it.
class Completer {
public:
    virtual ~Completer() = default;
    // Runs completions on the calling thread until done() holds or `deadline` passes (true);
    // false at once when it cannot, and the caller waits as usual.
    virtual bool complete_here(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) = 0;
    // done() of a thread in complete_here() may have changed another way: it looks again.
    virtual void wake_waiters() = 0;
};

// What CreateFileA returns a handle to.
class DeviceFile {
public:
    virtual ~DeviceFile() = default;
    // Answers DeviceIoControl. `in` and `out` may be the same memory (METHOD_BUFFERED); for
    // METHOD_NEITHER `in` is the caller's request record (the driver may write its status words
    // there) and `out` the caller's own buffer. Both stay valid until `request` completes.
    // The driver either completes `request` before returning or keeps it and completes it later.
    virtual void ioctl(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
                       std::shared_ptr<IoRequest> request) = 0;
    // CloseHandle: every request still pending must be completed (with an error) before this returns.
    virtual void close() = 0;
    // CancelIo: like close(), for the requests pending now, but the file stays open.
    virtual void cancel() {}
    // Who may complete this file's pending requests on a waiting thread; nullptr: nobody.
    virtual std::shared_ptr<Completer> completer() { return nullptr; }
};

using InterfaceId = uint64_t;

// Publishes a device interface: `open` runs for every CreateFileA on `path` and returns the file
// object, or nullptr with a Windows error set (ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ...).
// Interfaces are enumerated in the order of `rank` (lower first), then of publication.
InterfaceId publish_interface(const GUID& classGuid, const std::string& path,
                              std::function<std::shared_ptr<DeviceFile>()> open, int rank = 0);
// Withdraws it (unplug): later enumerations and opens no longer see it; open handles stay
// valid until closed (their requests fail as the driver decides).
void withdraw_interface(InterfaceId id);

}  // namespace platform::win32
