// What the driver sees of one attached USB device, whichever backend it comes from: local
// device models, an ampsim process, or real hardware. Calls come from any thread; every
// asynchronous transfer completes exactly once, inside submit() or later from another thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace platform::bus {

struct Setup {
    uint8_t requestType = 0;  // bmRequestType
    uint8_t request = 0;      // bRequest
    uint16_t value = 0;       // wValue
    uint16_t index = 0;       // wIndex
    uint16_t length = 0;      // wLength
};

enum class Status : uint8_t {
    ok,
    stall,      // the endpoint stalled, or the device refused the request
    cancelled,  // ended by cancel()
    no_device,  // the device is gone
    error,      // anything else: garbled, overrun, babble, ...
    busy,       // open(): another handle or program holds the device
};

struct Result {
    Status status = Status::ok;
    uint32_t bytes = 0;  // data bytes moved (written into the buffer for IN)
};

class Device {
public:
    virtual ~Device() = default;

    // "local", "ampsim" or "libusb".
    virtual std::string backend() const = 0;
    // Stable name of where the device sits, unique on its backend ("1-4.2", "quorvex-1234", ...).
    virtual std::string location() const = 0;

    // A control transfer on endpoint 0, synchronous. For IN the answer goes into `data`
    // (room for setup.length bytes); for OUT `data` holds setup.length bytes.
    virtual Result control(const Setup& setup, std::span<uint8_t> data) = 0;

    using Completion = std::function<void(Result)>;
    // A bulk, interrupt or isochronous transfer on `endpoint` (the address, bit 7 set for IN).
    // OUT: `data` holds the bytes to send. IN: `data` is the room to fill. `data` stays valid
    // until `done` has run.
    virtual void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) = 0;
    // Completes every pending transfer of `endpoint` with Status::cancelled before returning.
    virtual void cancel(uint8_t endpoint) = 0;

    // A handle on the device opens and closes it (CreateFileA, CloseHandle): a backend may
    // claim the hardware only while someone holds it open. Each open() that returned
    // Status::ok is matched by one close(). By default one handle holds the device at a time,
    // as a claimed USB interface is held: open() is Status::busy until the holder has closed.
    virtual Status open()
    {
        std::lock_guard lock(m_holdMutex);
        if (m_held) return Status::busy;
        m_held = true;
        return Status::ok;
    }
    virtual void close()
    {
        std::lock_guard lock(m_holdMutex);
        m_held = false;
    }

    // A thread waiting for one of this device's transfers may read the device's answers itself
    // rather than be woken by the backend's thread: one thread hand-over less per transfer. Runs
    // completions (anyone's) on the calling thread until done() holds or `deadline` passes, and
    // is true then; false at once when the backend cannot, or the device is gone, and the caller
    // waits as usual. done() is called without locks held.
    virtual bool complete_here(std::chrono::steady_clock::time_point /*deadline*/,
                               const std::function<bool()>& /*done*/)
    {
        return false;
    }
    // Something other than this device's answers may have made a waiter's done() true (a transfer
    // ended by cancel on another thread, an event set by hand): the waiters look again.
    virtual void wake_waiters() {}

    // The driver version the driver should report for this device; 0: the driver's own.
    // Lets a device model stand behind an old driver.
    virtual uint32_t driver_version() const { return 0; }

    // The backend that plugged the device in sets this; a device model calls request_detach()
    // to unplug itself (the detach fault). Safe to call from any thread, also without a handler.
    void set_detach_handler(std::function<void()> handler)
    {
        std::lock_guard lock(m_detachMutex);
        m_detach = std::move(handler);
    }
    void request_detach()
    {
        std::function<void()> handler;
        {
            std::lock_guard lock(m_detachMutex);
            handler = m_detach;
        }
        if (handler) handler();
    }

private:
    std::mutex m_holdMutex;
    bool m_held = false;
    std::mutex m_detachMutex;
    std::function<void()> m_detach;
};

}  // namespace platform::bus
