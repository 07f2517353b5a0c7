#include "platform/bus/libusb/usb_device.h"

#include "platform/bus/libusb/backend.h"
#include "platform/bus/libusb/descriptors.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/time.h>

namespace platform::bus::libusb {

std::string location_of(libusb_device* device)
{
    std::string location = std::to_string(libusb_get_bus_number(device));
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, sizeof ports);
    if (n <= 0) return location + "-a" + std::to_string(libusb_get_device_address(device));
    for (int i = 0; i < n; ++i) location += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return location;
}

namespace {

constexpr unsigned kControlTimeoutMs = 5000;
// How long giving a handle back waits for cancelled transfers to come home.
constexpr auto kDrainLimit = std::chrono::seconds(2);

Status status_of(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_ERROR_PIPE: return Status::stall;
    case LIBUSB_ERROR_NO_DEVICE: return Status::no_device;
    default: return Status::error;
    }
}

Status status_of_transfer(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return Status::ok;
    case LIBUSB_TRANSFER_STALL: return Status::stall;
    case LIBUSB_TRANSFER_NO_DEVICE: return Status::no_device;
    case LIBUSB_TRANSFER_CANCELLED: return Status::cancelled;
    default: return Status::error;
    }
}


}  // namespace

// One asynchronous transfer: `reaped` once libusb has handed it back, `finished` once its
// completion has been taken to be run. It is freed when both are set.
struct UsbDevice::Pending {
    uint64_t id = 0;
    UsbDevice* owner = nullptr;
    libusb_transfer* transfer = nullptr;
    uint8_t endpoint = 0;
    std::span<uint8_t> data;
    Completion done;
    // libusb moves data through its own buffer: a transfer completed early (cancel, unplug)
    // may still be written by libusb after the caller's buffer is gone.
    std::vector<uint8_t> bounce;
    Result result;
    bool reaped = false;
    bool finished = false;

    ~Pending()
    {
        if (transfer) libusb_free_transfer(transfer);
    }
};

UsbDevice::UsbDevice(Backend& backend, libusb_device* device)
    : m_location(location_of(device)), m_backend(&backend), m_device(libusb_ref_device(device))
{
    libusb_device_descriptor d{};
    libusb_get_device_descriptor(device, &d);
    m_deviceDescriptor = device_descriptor_bytes(d);
    for (uint8_t i = 0; i < d.bNumConfigurations; ++i) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(device, i, &config) != 0) break;
        m_configDescriptors.push_back(config_descriptor_bytes(*config));
        libusb_free_config_descriptor(config);
    }
}

UsbDevice::~UsbDevice()
{
    // The backend gives every handle back before its context ends; this is the last resort.
    if (m_handle) {
        libusb_release_interface(m_handle, 0);
        libusb_close(m_handle);
    }
    if (m_device) libusb_unref_device(m_device);
}

uint16_t UsbDevice::vendor_id() const
{
    return uint16_t(m_deviceDescriptor[8] | m_deviceDescriptor[9] << 8);
}
uint16_t UsbDevice::product_id() const
{
    return uint16_t(m_deviceDescriptor[10] | m_deviceDescriptor[11] << 8);
}

bool UsbDevice::on_event_thread() const
{
    std::lock_guard lock(m_mutex);
    return m_backend && m_backend->on_event_thread();
}

void UsbDevice::report_lost()
{
    std::lock_guard lock(m_mutex);
    if (!m_gone && m_backend) m_backend->device_gone(m_device);
}

// With m_handleMutex held.
Status UsbDevice::ensure_open_locked(bool counted)
{
    Backend* backend = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_gone || !m_backend) return Status::no_device;
        backend = m_backend;
    }
    if (!m_handle) {
        libusb_device_handle* handle = nullptr;
        int r = libusb_open(m_device, &handle);
        if (r == 0) {
            libusb_set_auto_detach_kernel_driver(handle, 1);
            r = libusb_claim_interface(handle, 0);
            if (r != 0) libusb_close(handle);
        }
        if (r != 0) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x:%04x", vendor_id(), product_id());
            const std::string what = r == LIBUSB_ERROR_ACCESS ? "permission denied (is the udev rule installed?)"
                                     : r == LIBUSB_ERROR_BUSY ? "device busy (another program has claimed it)"
                                                              : libusb_error_name(r);
            backend->report("libusb: cannot open " + std::string(ids) + " at " + m_location + ": " + what);
            return status_of(r);
        }
        m_handle = handle;
        m_altSetting.clear();
    }
    if (counted) ++m_openCount;
    else if (m_openCount == 0) m_heldWithoutOpen = true;
    return Status::ok;
}

Status UsbDevice::open()
{
    std::lock_guard lock(m_handleMutex);
    return ensure_open_locked(true);
}

void UsbDevice::close()
{
    std::lock_guard lock(m_handleMutex);
    if (m_openCount == 0) return;
    if (--m_openCount > 0 || m_heldWithoutOpen || !m_handle) return;
    if (on_event_thread()) {
        // Cancelled transfers come home on this very thread: give the handle back afterwards.
        std::lock_guard inner(m_mutex);
        m_backend->post([self = shared_from_this()] { self->release_handle(); });
        return;
    }
    release_handle_locked();
}

void UsbDevice::release_handle()
{
    std::lock_guard lock(m_handleMutex);
    {
        std::lock_guard inner(m_mutex);
        if (m_openCount > 0 && !m_gone) return;  // opened again meanwhile
        const bool busy = std::any_of(m_pending.begin(), m_pending.end(), [](auto& p) { return !p->reaped; });
        if (busy && m_backend && m_backend->on_event_thread()) {
            for (auto& p : m_pending)
                if (!p->reaped) libusb_cancel_transfer(p->transfer);
            m_backend->post([self = shared_from_this()] { self->release_handle(); });
            return;
        }
    }
    release_handle_locked();
}

// With m_handleMutex held (m_mutex not).
void UsbDevice::release_handle_locked()
{
    libusb_context* context = nullptr;
    bool eventThread = false;
    {
        std::lock_guard lock(m_mutex);
        for (auto& p : m_pending)
            if (!p->reaped) libusb_cancel_transfer(p->transfer);
        context = m_backend ? m_backend->context() : nullptr;
        eventThread = m_backend && m_backend->on_event_thread();
    }
    // Cancelled transfers come home through libusb events: handle them here (or wait for the
    // event thread's turn).
    const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
    while (context && !eventThread && in_flight() > 0 && std::chrono::steady_clock::now() < limit) {
        timeval tv{0, 10000};
        libusb_handle_events_timeout_completed(context, &tv, nullptr);
    }
    if (m_handle) {
        // Releasing hands the interface back to its kernel driver (auto-detach).
        libusb_release_interface(m_handle, 0);
        libusb_close(m_handle);
        m_handle = nullptr;
    }
    m_heldWithoutOpen = false;

    std::lock_guard lock(m_mutex);
    if (m_gone && m_device && (m_pending.empty() || !eventThread)) {
        libusb_unref_device(m_device);
        m_device = nullptr;
        m_backend = nullptr;
    }
}

size_t UsbDevice::in_flight() const
{
    std::lock_guard lock(m_mutex);
    return size_t(std::count_if(m_pending.begin(), m_pending.end(), [](auto& p) { return !p->reaped; }));
}

Result UsbDevice::failed(int libusbError)
{
    if (libusbError == LIBUSB_ERROR_NO_DEVICE) report_lost();
    return {status_of(libusbError), 0};
}

// Device and configuration descriptors come from libusb's cache; the alternate setting is the
// one we set. Interface and configuration changes go through libusb so that it keeps track.
// With m_handleMutex held.
bool UsbDevice::standard_request(const Setup& setup, std::span<uint8_t> data, Result& result)
{
    const uint8_t type = uint8_t(setup.value >> 8), index = uint8_t(setup.value & 0xFF);
    const auto answer = [&](std::span<const uint8_t> bytes) {
        const size_t n = std::min({bytes.size(), size_t(setup.length), data.size()});
        std::memcpy(data.data(), bytes.data(), n);
        result = {Status::ok, uint32_t(n)};
        return true;
    };

    if (setup.requestType == 0x80 && setup.request == LIBUSB_REQUEST_GET_DESCRIPTOR) {
        if (type == LIBUSB_DT_DEVICE) return answer(m_deviceDescriptor);
        if (type == LIBUSB_DT_CONFIG) {
            if (index >= m_configDescriptors.size()) {
                result = {Status::stall, 0};
                return true;
            }
            return answer(m_configDescriptors[index]);
        }
        return false;
    }
    if (setup.requestType == 0x81 && setup.request == LIBUSB_REQUEST_GET_INTERFACE) {
        const auto it = m_altSetting.find(uint8_t(setup.index));
        const uint8_t alt = it == m_altSetting.end() ? 0 : it->second;
        return answer(std::span(&alt, 1));
    }

    const bool setInterface = setup.requestType == 0x01 && setup.request == LIBUSB_REQUEST_SET_INTERFACE;
    const bool clearHalt = setup.requestType == 0x02 && setup.request == LIBUSB_REQUEST_CLEAR_FEATURE &&
                           setup.value == 0;
    const bool setConfig = setup.requestType == 0x00 && setup.request == LIBUSB_REQUEST_SET_CONFIGURATION;
    if (!setInterface && !clearHalt && !setConfig) return false;

    if (const Status s = ensure_open_locked(false); s != Status::ok) {
        result = {s, 0};
        return true;
    }
    int r = 0;
    if (setInterface) {
        r = libusb_set_interface_alt_setting(m_handle, setup.index, setup.value);
        if (r == 0) m_altSetting[uint8_t(setup.index)] = uint8_t(setup.value);
    } else if (clearHalt) {
        r = libusb_clear_halt(m_handle, uint8_t(setup.index));
    } else {
        // The claim keeps the configuration fixed: give it up for the change.
        libusb_release_interface(m_handle, 0);
        r = libusb_set_configuration(m_handle, setup.value);
        const int claimed = libusb_claim_interface(m_handle, 0);
        if (r == 0) r = claimed;
        if (r == 0) m_altSetting.clear();
    }
    result = r == 0 ? Result{Status::ok, 0} : failed(r);
    return true;
}

Result UsbDevice::control(const Setup& setup, std::span<uint8_t> data)
{
    if (setup.length > data.size()) return {Status::error, 0};
    std::lock_guard lock(m_handleMutex);
    if (Result result; standard_request(setup, data, result)) return result;
    if (const Status s = ensure_open_locked(false); s != Status::ok) return {s, 0};

    // libusb's own synchronous call would do, but its completion flag is invisible to the
    // sanitizers; this one hands over through an atomic. Like libusb, the waiting thread
    // handles events itself whenever the event thread is busy elsewhere.
    std::vector<uint8_t> buffer(LIBUSB_CONTROL_SETUP_SIZE + setup.length);
    libusb_fill_control_setup(buffer.data(), setup.requestType, setup.request, setup.value, setup.index, setup.length);
    if (!(setup.requestType & LIBUSB_ENDPOINT_IN))
        std::memcpy(buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, data.data(), setup.length);
    std::atomic<bool> completed{false};
    libusb_transfer* t = libusb_alloc_transfer(0);
    libusb_fill_control_transfer(
        t, m_handle, buffer.data(),
        [](libusb_transfer* transfer) {
            static_cast<std::atomic<bool>*>(transfer->user_data)->store(true, std::memory_order_release);
        },
        &completed, kControlTimeoutMs);
    if (const int r = libusb_submit_transfer(t); r != 0) {
        libusb_free_transfer(t);
        return failed(r);
    }
    libusb_context* context = nullptr;
    {
        std::lock_guard inner(m_mutex);
        context = m_backend ? m_backend->context() : nullptr;
    }
    while (!completed.load(std::memory_order_acquire)) {
        timeval tv{0, 10000};
        libusb_handle_events_timeout_completed(context, &tv, nullptr);
    }
    const libusb_transfer_status status = t->status;
    const uint32_t bytes = uint32_t(std::max(t->actual_length, 0));
    libusb_free_transfer(t);
    if (status != LIBUSB_TRANSFER_COMPLETED) {
        const Status s = status_of_transfer(status);
        if (s == Status::no_device) report_lost();
        return {s == Status::ok ? Status::error : s, 0};
    }
    if (setup.requestType & LIBUSB_ENDPOINT_IN)
        std::memcpy(data.data(), buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, std::min<size_t>(bytes, setup.length));
    return {Status::ok, bytes};
}

// With m_handleMutex held: the current alternate setting of each interface first, then any
// setting that has the endpoint.
int UsbDevice::endpoint_type(uint8_t endpoint) const
{
    const auto alt_of = [this](uint8_t iface) {
        const auto it = m_altSetting.find(iface);
        return it == m_altSetting.end() ? 0 : it->second;
    };
    int fallback = -1;
    if (m_configDescriptors.empty()) return fallback;
    const auto& block = m_configDescriptors.front();
    int iface = -1, alt = -1;
    for (size_t pos = 0; pos + 3 < block.size() && block[pos] >= 2; pos += block[pos]) {
        if (block[pos + 1] == LIBUSB_DT_INTERFACE) {
            iface = block[pos + 2];
            alt = block[pos + 3];
        } else if (block[pos + 1] == LIBUSB_DT_ENDPOINT && block[pos + 2] == endpoint) {
            const int type = block[pos + 3] & LIBUSB_TRANSFER_TYPE_MASK;
            if (iface >= 0 && alt == alt_of(uint8_t(iface))) return type;
            if (fallback < 0) fallback = type;
        }
    }
    return fallback;
}

void UsbDevice::submit(uint8_t endpoint, std::span<uint8_t> data, Completion done)
{
    Result refused{Status::error, 0};
    {
        std::lock_guard handleLock(m_handleMutex);
        const Status s = ensure_open_locked(false);
        const int type = endpoint_type(endpoint);
        if (s != Status::ok) {
            refused.status = s;
        } else if (type == LIBUSB_TRANSFER_TYPE_BULK || type == LIBUSB_TRANSFER_TYPE_INTERRUPT) {
            auto pending = std::make_unique<Pending>();
            pending->owner = this;
            pending->endpoint = endpoint;
            pending->data = data;
            pending->done = std::move(done);
            pending->bounce.assign(data.begin(), data.end());
            pending->transfer = libusb_alloc_transfer(0);
            auto* t = pending->transfer;
            if (type == LIBUSB_TRANSFER_TYPE_BULK)
                libusb_fill_bulk_transfer(t, m_handle, endpoint, pending->bounce.data(), int(data.size()),
                                          &UsbDevice::on_transfer_done, pending.get(), 0);
            else
                libusb_fill_interrupt_transfer(t, m_handle, endpoint, pending->bounce.data(), int(data.size()),
                                               &UsbDevice::on_transfer_done, pending.get(), 0);
            // Submitting under the lock: a cancel() cannot slip between libusb and the list.
            std::lock_guard lock(m_mutex);
            const int r = libusb_submit_transfer(t);
            if (r == 0) {
                pending->id = m_nextId++;
                m_pending.push_back(std::move(pending));
                return;
            }
            done = std::move(pending->done);
            refused.status = status_of(r);
            if (r == LIBUSB_ERROR_NO_DEVICE && !m_gone && m_backend) m_backend->device_gone(m_device);
        }
        // Isochronous (and unknown) endpoints are refused: the driver's packet records do not
        // map onto libusb's iso packets.
    }
    done(refused);
}

void UsbDevice::on_transfer_done(libusb_transfer* transfer)
{
    auto* pending = static_cast<Pending*>(transfer->user_data);
    pending->owner->transfer_done(pending);
}

// From whichever thread is handling libusb events, inside libusb's own locks: record the
// result and leave the completion to the event loop.
void UsbDevice::transfer_done(Pending* pending)
{
    std::unique_ptr<Pending> done;
    bool lost = false;
    {
        std::lock_guard lock(m_mutex);
        auto* t = pending->transfer;
        pending->reaped = true;
        pending->result = {status_of_transfer(t->status), uint32_t(std::max(t->actual_length, 0))};
        lost = pending->result.status == Status::no_device && !m_gone;
        if (pending->finished) {
            const auto it =
                std::find_if(m_pending.begin(), m_pending.end(), [&](auto& p) { return p.get() == pending; });
            done = std::move(*it);
            m_pending.erase(it);
        } else {
            if (pending->endpoint & LIBUSB_ENDPOINT_IN)
                std::memcpy(pending->data.data(), pending->bounce.data(), pending->result.bytes);
            if (m_backend) m_backend->post([self = shared_from_this(), id = pending->id] { self->deliver(id); });
        }
        if (lost && m_backend) m_backend->device_gone(m_device);
    }
}

void UsbDevice::deliver(uint64_t id)
{
    std::unique_ptr<Pending> pending;
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_pending.begin(), m_pending.end(), [&](auto& p) { return p->id == id; });
        if (it == m_pending.end() || (*it)->finished) return;
        pending = std::move(*it);
        m_pending.erase(it);
    }
    pending->done(pending->result);
}

// With m_mutex held: takes the completions of the unfinished transfers of `endpoint` (or of
// all), cancelling those still inside libusb; transfers already handed back are freed.
std::vector<Device::Completion> UsbDevice::take_pending(uint8_t endpoint, bool all)
{
    std::vector<Completion> dones;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        auto& p = *it;
        if (p->finished || (!all && p->endpoint != endpoint)) {
            ++it;
            continue;
        }
        p->finished = true;
        dones.push_back(std::move(p->done));
        if (p->reaped) {
            it = m_pending.erase(it);
        } else {
            libusb_cancel_transfer(p->transfer);
            ++it;
        }
    }
    return dones;
}

void UsbDevice::cancel(uint8_t endpoint)
{
    std::vector<Completion> dones;
    {
        std::lock_guard lock(m_mutex);
        dones = take_pending(endpoint, false);
    }
    // libusb reports the cancellation later; the caller hears it now.
    for (auto& done : dones) done({Status::cancelled, 0});
}

void UsbDevice::unplugged()
{
    std::vector<Completion> dones;
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        dones = take_pending(0, true);
    }
    for (auto& done : dones) done({Status::no_device, 0});
}

}  // namespace platform::bus::libusb
