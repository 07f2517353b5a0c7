// One table device seen through libusb, as the driver sees any bus::Device. The handle is
// opened and interface 0 claimed on the first open() (or first use by a caller that never
// opens), and given back when the last open() is closed. Transfers complete on the event thread.
#pragma once

#include "platform/bus/device.h"

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace platform::bus::libusb {

class Backend;

// Where a device sits: bus, then the hub ports, as "1-4" or "1-4.2" ("1-a5": address 5, no ports).
std::string location_of(libusb_device* device);

class UsbDevice final : public Device, public std::enable_shared_from_this<UsbDevice> {
public:
    UsbDevice(Backend& backend, libusb_device* device);
    ~UsbDevice() override;

    std::string backend() const override { return "libusb"; }
    std::string location() const override { return m_location; }
    Result control(const Setup& setup, std::span<uint8_t> data) override;
    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override;
    void cancel(uint8_t endpoint) override;
    Status open() override;
    void close() override;

    libusb_device* usb_device() const { return m_device; }
    uint16_t vendor_id() const;
    uint16_t product_id() const;

    // The device is gone (hot-plug removal, a no-device answer, or the backend stopping):
    // every pending transfer completes with no_device now and later calls fail the same way.
    void unplugged();
    // Gives the handle back once nobody holds it open (or the device is gone); transfers
    // still inside libusb are cancelled and waited for first.
    void release_handle();
    // Transfers libusb has not handed back yet.
    size_t in_flight() const;

private:
    struct Pending;
    static void on_transfer_done(libusb_transfer* transfer);
    void transfer_done(Pending* pending);
    void deliver(uint64_t id);
    std::vector<Completion> take_pending(uint8_t endpoint, bool all);

    Status ensure_open_locked(bool counted);
    bool standard_request(const Setup& setup, std::span<uint8_t> data, Result& result);
    int endpoint_type(uint8_t endpoint) const;
    Result failed(int libusbError);
    void report_lost();
    bool on_event_thread() const;
    void release_handle_locked();

    std::string m_location;
    std::vector<uint8_t> m_deviceDescriptor;
    std::vector<std::vector<uint8_t>> m_configDescriptors;

    // Lock order: m_handleMutex, then m_mutex. libusb calls on_transfer_done while holding
    // locks of its own that opening and closing take, so that path takes m_mutex only and
    // nothing calls libusb_open or libusb_close with m_mutex held.
    mutable std::mutex m_handleMutex;
    libusb_device_handle* m_handle = nullptr;
    int m_openCount = 0;
    bool m_heldWithoutOpen = false;
    std::map<uint8_t, uint8_t> m_altSetting;  // interface number -> alternate setting

    mutable std::mutex m_mutex;
    // Given up (under both locks) once the device is gone and its handle released: the
    // backend and its libusb context may end while the driver still holds the device.
    Backend* m_backend;
    libusb_device* m_device;
    bool m_gone = false;
    uint64_t m_nextId = 1;
    std::list<std::unique_ptr<Pending>> m_pending;
};

}  // namespace platform::bus::libusb
