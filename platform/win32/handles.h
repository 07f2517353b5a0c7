// The process's handle table: what HANDLE, HDEVINFO and HDEVNOTIFY values stand for.
// Values are multiples of 4 and never reused, so a stale handle fails instead of hitting a new object.
#pragma once

#include "platform/win32/device_namespace.h"
#include "platform/win32/windows.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::win32::detail {

enum class Kind { event, file, device_info_set, notification };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
};

HANDLE insert_handle(std::shared_ptr<Object> object);
std::shared_ptr<Object> find_handle(HANDLE handle, Kind kind);
// Takes the handle out of the table; nullptr when it is not a live handle of that kind.
std::shared_ptr<Object> remove_handle(HANDLE handle, Kind kind);

template <class T>
std::shared_ptr<T> find(HANDLE handle)
{
    return std::static_pointer_cast<T>(find_handle(handle, T::kKind));
}

struct Event final : Object {
    static constexpr Kind kKind = Kind::event;
    Event(bool manualReset, bool initialState) : Object(kKind), manual(manualReset), signalled(initialState) {}

    // Waits until signalled or `deadline` passes; consumes the signal of an auto-reset event.
    bool wait_until(std::chrono::steady_clock::time_point deadline, bool forever);
    // Waits until ready() holds (checked under `mutex`) or `deadline` passes; false on time-out.
    // A waiter reads the device's answers itself when the pending request's device lets it.
    bool await(std::chrono::steady_clock::time_point deadline, bool forever, const std::function<bool()>& ready);
    void set();
    void reset();
    // Signals after `change` ran under the lock, and wakes whoever waits.
    template <class Change>
    void signal(Change&& change)
    {
        std::shared_ptr<Completer> serving;
        {
            std::lock_guard lock(mutex);
            change();
            signalled = true;
            if (serving_waiters > 0) serving = completer.lock();
        }
        // Woken after the lock is let go: woken under it, a waiter would block on it at once and
        // need a second wake-up.
        cv.notify_all();
        if (serving) serving->wake_waiters();
    }
    // The device of the request now pending on this event, if a waiter may serve it.
    void serve_with(std::shared_ptr<Completer> c);

    std::mutex mutex;
    std::condition_variable cv;
    const bool manual;
    bool signalled;
    std::weak_ptr<Completer> completer;
    int serving_waiters = 0;  // waiters inside completer->complete_here()
};

// A handle CreateFileA gave out, on the interface it was opened on.
struct File final : Object {
    static constexpr Kind kKind = Kind::file;
    File(std::shared_ptr<DeviceFile> f, InterfaceId i) : Object(kKind), file(std::move(f)), interface(i) {}
    const std::shared_ptr<DeviceFile> file;
    const InterfaceId interface;
};

}  // namespace platform::win32::detail
