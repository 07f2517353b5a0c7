// Inside the libusb backend: the context, the event thread and the work it runs between
// libusb events (attach, detach, giving handles back), so nothing heavy runs inside a libusb
// callback.
#pragma once

#include "platform/bus/libusb/device_table.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct libusb_context;
struct libusb_device;

namespace platform::bus::libusb {

class UsbDevice;

class Backend {
public:
    explicit Backend(DeviceTable table);
    ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    bool start();
    void stop();

    libusb_context* context() const { return m_context; }
    bool on_event_thread() const { return std::this_thread::get_id() == m_threadId.load(); }
    // Runs `work` on the event thread after the current libusb events.
    void post(std::function<void()> work);
    // A transfer or request found the device gone: detach it as hot-plug removal would.
    void device_gone(libusb_device* device);
    // One line on stderr, once per distinct text.
    void report(const std::string& line);

private:
    void arrived(libusb_device* device);
    void left(libusb_device* device);
    void run_posted();
    void event_loop();
    static int on_hotplug(libusb_context*, libusb_device* device, int event, void* self);

    DeviceTable m_table;
    libusb_context* m_context = nullptr;
    int m_hotplugHandle = 0;
    bool m_hotplug = false;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_stopping{false};

    std::mutex m_postMutex;
    std::vector<std::function<void()>> m_posted;

    std::mutex m_reportMutex;
    std::set<std::string> m_reported;

    // Touched on the event thread only (and by start/stop while it is not running).
    std::map<libusb_device*, std::shared_ptr<UsbDevice>> m_devices;
};

}  // namespace platform::bus::libusb
