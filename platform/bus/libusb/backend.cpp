#include "platform/bus/libusb/backend.h"

#include "platform/bus/bus.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "platform/bus/libusb/usb_device.h"

#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sys/time.h>

namespace platform::bus::libusb {

Backend::Backend(DeviceTable table) : m_table(std::move(table)) {}

Backend::~Backend()
{
    stop();
}

bool Backend::start()
{
    if (const int r = libusb_init(&m_context); r != 0) {
        report(std::string("libusb: cannot start: ") + libusb_error_name(r) + "; real amplifiers are not seen");
        m_context = nullptr;
        return false;
    }
    m_hotplug = libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0;
    if (m_hotplug) {
        // Devices present now are announced during registration; they are attached below,
        // before start() returns, so that a program enumerating at once finds them.
        const int r = libusb_hotplug_register_callback(
            m_context, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_ENUMERATE,
            LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
            [](libusb_context* c, libusb_device* d, libusb_hotplug_event e, void* self) {
                return Backend::on_hotplug(c, d, int(e), self);
            },
            this, &m_hotplugHandle);
        m_hotplug = r == 0;
    }
    if (!m_hotplug) {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(m_context, &list);
        for (ssize_t i = 0; i < n; ++i) arrived(list[i]);
        if (n >= 0) libusb_free_device_list(list, 1);
    }
    run_posted();

    m_stopping = false;
    m_thread = std::thread([this] { event_loop(); });
    return true;
}

void Backend::stop()
{
    if (!m_context) return;
    if (m_thread.joinable()) {
        m_stopping = true;
        libusb_interrupt_event_handler(m_context);
        m_thread.join();
    }
    if (m_hotplug) libusb_hotplug_deregister_callback(m_context, m_hotplugHandle);
    m_hotplug = false;
    run_posted();

    auto devices = std::move(m_devices);
    m_devices.clear();
    for (auto& [usb, device] : devices) {
        device->unplugged();
        bus::detach(device);
        device->release_handle();
    }
    devices.clear();
    run_posted();
    libusb_exit(m_context);
    m_context = nullptr;
}

void Backend::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_postMutex);
        m_posted.push_back(std::move(work));
    }
    if (m_context && !on_event_thread()) libusb_interrupt_event_handler(m_context);
}

void Backend::run_posted()
{
    // Work may post more work (a handle waiting for its transfers): run that next round.
    std::vector<std::function<void()>> work;
    {
        std::lock_guard lock(m_postMutex);
        work.swap(m_posted);
    }
    for (auto& w : work) w();
}

void Backend::device_gone(libusb_device* device)
{
    libusb_ref_device(device);
    post([this, device] {
        left(device);
        libusb_unref_device(device);
    });
}

void Backend::report(const std::string& line)
{
    std::lock_guard lock(m_reportMutex);
    if (m_reported.insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
}

void Backend::arrived(libusb_device* device)
{
    if (m_devices.contains(device)) return;
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) != 0) return;
    // Anything outside the table stays untouched: no open, no claim, no driver detach.
    if (!m_table.contains(d.idVendor, d.idProduct)) return;
    auto usb = std::make_shared<UsbDevice>(*this, device);
    m_devices.emplace(device, usb);
    bus::attach(usb);
}

void Backend::left(libusb_device* device)
{
    const auto it = m_devices.find(device);
    if (it == m_devices.end()) return;
    auto usb = it->second;
    m_devices.erase(it);
    usb->unplugged();
    bus::detach(usb);
    usb->release_handle();
}

int Backend::on_hotplug(libusb_context*, libusb_device* device, int event, void* self)
{
    auto* backend = static_cast<Backend*>(self);
    libusb_ref_device(device);
    backend->post([backend, device, event] {
        if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) backend->arrived(device);
        else backend->left(device);
        libusb_unref_device(device);
    });
    return 0;
}

void Backend::event_loop()
{
    m_threadId = std::this_thread::get_id();
    while (!m_stopping) {
        timeval tv{0, 200000};
        libusb_handle_events_timeout_completed(m_context, &tv, nullptr);
        run_posted();
    }
    m_threadId = std::thread::id{};
}

// The process-wide backend behind start()/stop(). Not destroyed at exit by itself: a program
// that never calls stop() must not have its devices detached during static destruction.
namespace {
std::mutex g_backendMutex;
Backend* g_backend = nullptr;
}  // namespace

bool start()
{
    return start(load_device_table(std::cerr));
}

bool start(DeviceTable table)
{
    std::lock_guard lock(g_backendMutex);
    if (g_backend) return true;
    auto backend = std::make_unique<Backend>(std::move(table));
    if (!backend->start()) return false;
    g_backend = backend.release();
    return true;
}

void stop()
{
    std::unique_ptr<Backend> backend;
    {
        std::lock_guard lock(g_backendMutex);
        backend.reset(g_backend);
        g_backend = nullptr;
    }
    if (backend) backend->stop();
}

bool running()
{
    std::lock_guard lock(g_backendMutex);
    return g_backend != nullptr;
}

}  // namespace platform::bus::libusb
