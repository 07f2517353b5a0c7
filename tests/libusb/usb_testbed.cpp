#include "tests/libusb/usb_testbed.h"

#include <umockdev.h>

#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

namespace libusb_test {

using platform::bus::Result;
using platform::bus::Setup;
using platform::bus::Status;

namespace {

std::vector<uint8_t> read_descriptor(platform::bus::Device& model, uint8_t type, uint8_t index, uint16_t length)
{
    std::vector<uint8_t> bytes(length);
    const Result r = model.control(Setup{0x80, 6, uint16_t(type << 8 | index), 0, length}, bytes);
    if (r.status != Status::ok) return {};
    bytes.resize(r.bytes);
    return bytes;
}

std::string hex(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

int errno_of(Status status)
{
    switch (status) {
    case Status::ok: return 0;
    case Status::stall: return -EPIPE;
    case Status::cancelled: return -ENOENT;
    case Status::no_device: return -ENODEV;
    default: return -EPROTO;
    }
}

struct Urb {
    UMockdevIoctlData* urb = nullptr;     // the client's usbdevfs_urb, written back at reap
    UMockdevIoctlData* buffer = nullptr;  // its buffer
    bool done = false;
    bool discarded = false;
};

// Gives a URB's data back to umockdev once it has been reaped (or will never be).
void release_urb(const std::shared_ptr<Urb>& u)
{
    if (u->buffer) g_object_unref(u->buffer);
    if (u->urb) g_object_unref(u->urb);
    u->buffer = nullptr;
    u->urb = nullptr;
}

}  // namespace

// One plugged-in device: its model and the URBs between submit and reap.
struct UsbTestbed::Fake {
    std::shared_ptr<platform::bus::Device> model;
    std::string syspath;
    std::string devnode;
    UMockdevIoctlBase* handler = nullptr;

    mutable std::mutex mutex;
    bool gone = false;
    int claimError = 0;
    size_t opens = 0;
    std::deque<std::shared_ptr<Urb>> pending;
    std::deque<std::shared_ptr<Urb>> completed;
    std::vector<std::string> requests;

    usbdevfs_urb& fields(Urb& u) { return *reinterpret_cast<usbdevfs_urb*>(u.urb->data); }

    // With `mutex` held.
    void finish(const std::shared_ptr<Urb>& u, int status, uint32_t bytes)
    {
        if (u->done) return;
        u->done = true;
        fields(*u).status = status;
        fields(*u).actual_length = int(bytes);
        for (auto it = pending.begin(); it != pending.end(); ++it)
            if (*it == u) {
                pending.erase(it);
                break;
            }
        completed.push_back(u);
    }

    void note(std::string what)
    {
        std::lock_guard lock(mutex);
        requests.push_back(std::move(what));
    }

    int submit(UMockdevIoctlData* arg)
    {
        auto u = std::make_shared<Urb>();
        u->urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        if (!u->urb) return -EFAULT;
        const usbdevfs_urb head = fields(*u);
        if (head.buffer_length > 0) {
            u->buffer = umockdev_ioctl_data_resolve(u->urb, offsetof(usbdevfs_urb, buffer), size_t(head.buffer_length),
                                                    nullptr);
            if (!u->buffer) return -EFAULT;
        }
        {
            std::lock_guard lock(mutex);
            if (gone) return -ENODEV;
            pending.push_back(u);
        }

        if (head.type == USBDEVFS_URB_TYPE_CONTROL) {
            note("SUBMITURB control");
            if (head.buffer_length < 8) return -EINVAL;
            const uint8_t* s = u->buffer->data;
            const Setup setup{s[0], s[1], uint16_t(s[2] | s[3] << 8), uint16_t(s[4] | s[5] << 8),
                              uint16_t(s[6] | s[7] << 8)};
            std::span<uint8_t> data(u->buffer->data + 8, size_t(head.buffer_length - 8));
            if (setup.length > data.size()) return -EINVAL;
            const Result r = model->control(setup, data.first(setup.length));
            std::lock_guard lock(mutex);
            finish(u, errno_of(r.status), r.bytes);
            return 0;
        }

        char what[40];
        std::snprintf(what, sizeof what, "SUBMITURB %s 0x%02x", head.type == USBDEVFS_URB_TYPE_BULK ? "bulk" : "other",
                      head.endpoint);
        note(what);
        std::span<uint8_t> data;
        if (u->buffer) data = std::span(u->buffer->data, size_t(head.buffer_length));
        model->submit(head.endpoint, data, [this, u](Result r) {
            std::lock_guard lock(mutex);
            if (!u->discarded) finish(u, errno_of(r.status), r.bytes);
        });
        return 0;
    }

    int discard(UMockdevIoctlData* arg)
    {
        const auto address = *reinterpret_cast<unsigned long*>(arg->data);
        uint8_t endpoint = 0;
        {
            std::lock_guard lock(mutex);
            requests.push_back("DISCARDURB");
            std::shared_ptr<Urb> found;
            for (auto& u : pending)
                if (u->urb->client_addr == address) found = u;
            if (!found) return -EINVAL;
            found->discarded = true;
            endpoint = fields(*found).endpoint;
            finish(found, -ENOENT, 0);
        }
        // The model's read is ended too; its completion finds the URB already discarded.
        model->cancel(endpoint);
        return 0;
    }

    int reap(UMockdevIoctlData* arg)
    {
        std::shared_ptr<Urb> u;
        {
            std::lock_guard lock(mutex);
            if (gone && completed.empty()) return -ENODEV;
            if (completed.empty()) return -EAGAIN;
            u = completed.front();
            completed.pop_front();
        }
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
        if (!slot) return -EFAULT;
        umockdev_ioctl_data_set_ptr(slot, 0, u->urb);
        g_object_unref(slot);
        release_urb(u);
        return 0;
    }

    int handle(gulong request, UMockdevIoctlData* arg)
    {
        switch (request) {
        case USBDEVFS_SUBMITURB: return submit(arg);
        case USBDEVFS_REAPURBNDELAY:
        case USBDEVFS_REAPURB: return reap(arg);
        case USBDEVFS_DISCARDURB: return discard(arg);
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
            if (!caps) return -EFAULT;
            const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            std::memcpy(caps->data, &value, sizeof value);
            g_object_unref(caps);
            return 0;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            std::lock_guard lock(mutex);
            requests.push_back("CLAIMINTERFACE");
            return gone ? -ENODEV : -claimError;
        }
        case USBDEVFS_RELEASEINTERFACE: note("RELEASEINTERFACE"); return 0;
        case USBDEVFS_SETINTERFACE: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_setinterface), nullptr);
            if (!d) return -EFAULT;
            const auto si = *reinterpret_cast<usbdevfs_setinterface*>(d->data);
            g_object_unref(d);
            note("SETINTERFACE");
            std::span<uint8_t> none;
            const Result r = model->control(Setup{0x01, 11, uint16_t(si.altsetting), uint16_t(si.interface), 0}, none);
            return errno_of(r.status);
        }
        case USBDEVFS_CLEAR_HALT: note("CLEAR_HALT"); return 0;
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL: return -ENODATA;  // no kernel driver bound
        default: return -ENOTTY;
        }
    }

    static void on_client(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer self)
    {
        auto* fake = static_cast<Fake*>(self);
        std::lock_guard lock(fake->mutex);
        ++fake->opens;
    }

    static gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* fake = static_cast<Fake*>(self);
        const int r = fake->handle(umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
        umockdev_ioctl_client_complete(client, r < 0 ? -1 : r, r < 0 ? -r : 0);
        return TRUE;
    }
};

struct UsbTestbed::Impl {
    UMockdevTestbed* testbed = nullptr;
    std::map<std::string, std::unique_ptr<Fake>> fakes;

    Fake& fake(const std::string& syspath) const
    {
        const auto it = fakes.find(syspath);
        if (it == fakes.end()) throw std::invalid_argument("no device at " + syspath);
        return *it->second;
    }
};

UsbTestbed::UsbTestbed() : m_impl(std::make_unique<Impl>())
{
    m_impl->testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment())
        throw std::runtime_error("run under libumockdev-preload (LD_PRELOAD=libumockdev-preload.so.0)");
}

UsbTestbed::~UsbTestbed()
{
    for (auto& [path, fake] : m_impl->fakes) {
        umockdev_testbed_detach_ioctl(m_impl->testbed, fake->devnode.c_str(), nullptr);
        g_object_unref(fake->handler);
        // Reads the model still holds end now, while this fake can still hear about them.
        std::vector<uint8_t> endpoints;
        {
            std::lock_guard lock(fake->mutex);
            for (auto& u : fake->pending) endpoints.push_back(fake->fields(*u).endpoint);
        }
        for (uint8_t ep : endpoints) fake->model->cancel(ep);
        std::lock_guard lock(fake->mutex);
        for (auto& u : fake->pending) release_urb(u);
        fake->pending.clear();
        for (auto& u : fake->completed) release_urb(u);
        fake->completed.clear();
    }
    g_object_unref(m_impl->testbed);
}

std::string UsbTestbed::plug(std::shared_ptr<platform::bus::Device> model, int devnum, int port)
{
    auto device = read_descriptor(*model, 1, 0, 18);
    if (device.size() != 18) throw std::invalid_argument("the model has no device descriptor");
    auto descriptors = device;
    for (uint8_t i = 0; i < device[17]; ++i) {
        const auto head = read_descriptor(*model, 2, i, 9);
        if (head.size() < 4) break;
        const auto block = read_descriptor(*model, 2, i, uint16_t(head[2] | head[3] << 8));
        descriptors.insert(descriptors.end(), block.begin(), block.end());
    }

    char devnode[64], record[4096];
    std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/001/%03d", devnum);
    const std::string syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port);
    std::snprintf(record, sizeof record,
                  "P: /devices/pci0000:00/0000:00:14.0/usb1/1-%d\n"
                  "N: bus/usb/001/%03d\n"
                  "E: DEVNAME=%s\n"
                  "E: SUBSYSTEM=usb\n"
                  "E: DEVTYPE=usb_device\n"
                  "E: BUSNUM=001\n"
                  "E: DEVNUM=%03d\n"
                  "A: busnum=1\n"
                  "A: devnum=%d\n"
                  "A: idVendor=%02x%02x\n"
                  "A: idProduct=%02x%02x\n"
                  "A: speed=480\n"
                  "A: bConfigurationValue=1\n"
                  "A: bNumConfigurations=%d\n"
                  "H: descriptors=%s\n",
                  port, devnum, devnode, devnum, devnum, device[9], device[8], device[11], device[10], device[17],
                  hex(descriptors).c_str());

    auto fake = std::make_unique<Fake>();
    fake->model = std::move(model);
    fake->syspath = syspath;
    fake->devnode = devnode;
    fake->handler = umockdev_ioctl_base_new();
    g_signal_connect(fake->handler, "handle-ioctl", G_CALLBACK(&Fake::on_ioctl), fake.get());
    g_signal_connect(fake->handler, "client-connected", G_CALLBACK(&Fake::on_client), fake.get());

    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(m_impl->testbed, record, &error) ||
        !umockdev_testbed_attach_ioctl(m_impl->testbed, devnode, fake->handler, &error)) {
        const std::string message = error ? error->message : "umockdev refused the device";
        if (error) g_error_free(error);
        g_object_unref(fake->handler);
        throw std::runtime_error(message);
    }
    m_impl->fakes.emplace(syspath, std::move(fake));
    return syspath;
}

void UsbTestbed::unplug(const std::string& syspath)
{
    Fake& fake = m_impl->fake(syspath);
    {
        std::lock_guard lock(fake.mutex);
        fake.gone = true;
    }
    umockdev_testbed_uevent(m_impl->testbed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(m_impl->testbed, syspath.c_str());
}

void UsbTestbed::set_claim_error(const std::string& syspath, int error)
{
    Fake& fake = m_impl->fake(syspath);
    std::lock_guard lock(fake.mutex);
    fake.claimError = error;
}

std::vector<std::string> UsbTestbed::requests(const std::string& syspath) const
{
    Fake& fake = m_impl->fake(syspath);
    std::lock_guard lock(fake.mutex);
    return fake.requests;
}

size_t UsbTestbed::opens(const std::string& syspath) const
{
    Fake& fake = m_impl->fake(syspath);
    std::lock_guard lock(fake.mutex);
    return fake.opens;
}

size_t UsbTestbed::pending_urbs(const std::string& syspath) const
{
    Fake& fake = m_impl->fake(syspath);
    std::lock_guard lock(fake.mutex);
    return fake.pending.size();
}

}  // namespace libusb_test
