#include "platform/usbdriver/driver.h"

#include "platform/bus/bus.h"
#include "platform/usbdriver/request_record.h"
#include "platform/win32/device_namespace.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

namespace platform::usbdriver {

namespace {

using win32::IoRequest;

struct Outcome {
    uint32_t status1;
    uint32_t status2;
    DWORD error;
};

Outcome outcome_of(bus::Status s)
{
    switch (s) {
    case bus::Status::ok: return {kStatusOk, 0, ERROR_SUCCESS};
    case bus::Status::stall: return {kStatusStall, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE};
    case bus::Status::cancelled: return {kStatusCancelled, ERROR_OPERATION_ABORTED, ERROR_OPERATION_ABORTED};
    case bus::Status::no_device: return {kStatusNoDevice, ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED};
    case bus::Status::error:
    case bus::Status::busy: break;
    }
    return {kStatusError, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE};
}

constexpr Outcome kBadRequest{kStatusBadRequest, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER};

// A transfer handed to the device. Whoever claims it first (the device's completion, an abort,
// CloseHandle or the unplug) completes the caller's request; everyone after finds it claimed.
struct Pending {
    std::shared_ptr<IoRequest> request;
    std::span<uint8_t> record;  // where the status words go
    uint32_t byteBase = 0;      // reported bytes = byteBase + data bytes
    uint8_t endpoint = 0;
    const void* file = nullptr;
    std::atomic<bool> claimed{false};
};

void finish(Pending& p, Outcome o, uint32_t bytes)
{
    write_status(p.record, o.status1, o.status2);
    p.request->complete(o.error, p.byteBase + bytes);
}

// The driver's view of one attached device.
struct Instance {
    std::shared_ptr<bus::Device> device;
    win32::InterfaceId interface = 0;
    uint8_t deviceDescriptor[18]{};
    std::vector<uint8_t> endpoints;  // from the configuration descriptors; empty: not known
    std::string name;                // backend-location

    std::mutex mutex;
    bool gone = false;
    std::vector<std::shared_ptr<Pending>> pending;  // a handful at most

    Instance() { pending.reserve(16); }

    void unlink_locked(Pending* p)
    {
        auto it = std::find_if(pending.begin(), pending.end(), [&](const auto& q) { return q.get() == p; });
        if (it == pending.end()) return;
        std::swap(*it, pending.back());
        pending.pop_back();
    }
    // The device answered: complete unless someone else got there first.
    void completed(Pending& p, bus::Result r)
    {
        if (p.claimed.exchange(true, std::memory_order_acq_rel)) return;
        {
            std::lock_guard lock(mutex);
            unlink_locked(&p);
        }
        finish(p, outcome_of(r.status), r.bytes);
    }

    // Takes every pending transfer that `match` picks; `andGone` marks the device unplugged.
    template <class Match>
    std::vector<std::shared_ptr<Pending>> take(Match match, bool andGone = false)
    {
        std::vector<std::shared_ptr<Pending>> taken;
        std::lock_guard lock(mutex);
        if (andGone) gone = true;
        for (size_t i = 0; i < pending.size();) {
            Pending& p = *pending[i];
            if (match(p) && !p.claimed.exchange(true, std::memory_order_acq_rel)) {
                taken.push_back(std::move(pending[i]));
                pending[i] = std::move(pending.back());
                pending.pop_back();
            } else {
                ++i;
            }
        }
        return taken;
    }
    // End transfers so that the device has let go of their buffers, then fail them with `s`.
    void end(std::vector<std::shared_ptr<Pending>> taken, bus::Status s)
    {
        std::vector<uint8_t> eps;
        for (auto& p : taken)
            if (std::find(eps.begin(), eps.end(), p->endpoint) == eps.end()) eps.push_back(p->endpoint);
        for (uint8_t ep : eps) device->cancel(ep);
        for (auto& p : taken) finish(*p, outcome_of(s), 0);
    }

    bool knows_endpoint(uint8_t ep) const
    {
        if (ep == 0) return false;
        return endpoints.empty() || std::find(endpoints.begin(), endpoints.end(), ep) != endpoints.end();
    }
};

// A thread waiting on a request reads the device's answers itself, where the backend lets it.
class DeviceCompleter final : public win32::Completer {
public:
    explicit DeviceCompleter(std::shared_ptr<bus::Device> device) : m_device(std::move(device)) {}
    bool complete_here(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) override
    {
        return m_device->complete_here(deadline, done);
    }
    void wake_waiters() override { m_device->wake_waiters(); }

private:
    const std::shared_ptr<bus::Device> m_device;
};

class File final : public win32::DeviceFile {
public:
    File(std::shared_ptr<Instance> instance, bool opened)
        : m_instance(std::move(instance)), m_completer(std::make_shared<DeviceCompleter>(m_instance->device)),
          m_opened(opened)
    {
    }

    void ioctl(DWORD code, std::span<uint8_t> in, std::span<uint8_t> out, std::shared_ptr<IoRequest> request) override
    {
        switch (code) {
        case IOCTL_DRIVER_VERSION: {
            uint32_t v = m_instance->device->driver_version();
            return answer(out, request, v ? v : kDriverVersion, 4);
        }
        case IOCTL_INFO_DWORD_1: return answer(out, request, 1, 4);
        case IOCTL_INFO_BYTE_4: return answer(out, request, 1, 1);
        case IOCTL_INFO_DWORD_19: return answer(out, request, 2, 4);
        case IOCTL_ALT_SETTING: return alt_setting(out, request);
        case IOCTL_INFO_BLOCK_15:
        case IOCTL_INFO_BLOCK_16: return info_block(code, out, request);
        case IOCTL_ABORT_ENDPOINT: return abort(in, request);
        case IOCTL_CONTROL_TRANSFER: return control(in, out, request);
        case IOCTL_BUFFERED_TRANSFER: return buffered(in, out, request);
        case IOCTL_DIRECT_TRANSFER: return direct(in, out, request);
        default: request->complete(ERROR_INVALID_FUNCTION, 0);
        }
    }

    void close() override
    {
        cancel();
        if (m_opened.exchange(false)) m_instance->device->close();
    }

    std::shared_ptr<win32::Completer> completer() override { return m_completer; }

    void cancel() override
    {
        m_instance->end(m_instance->take([this](const Pending& p) { return p.file == this; }), bus::Status::cancelled);
    }

private:
    bool gone()
    {
        std::lock_guard lock(m_instance->mutex);
        return m_instance->gone;
    }

    void answer(std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request, uint32_t value, size_t size)
    {
        if (gone()) return request->complete(ERROR_DEVICE_NOT_CONNECTED, 0);
        if (out.size() < size) return request->complete(ERROR_INSUFFICIENT_BUFFER, 0);
        std::memcpy(out.data(), &value, size);
        request->complete(ERROR_SUCCESS, static_cast<DWORD>(size));
    }

    void alt_setting(std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request)
    {
        if (gone()) return request->complete(ERROR_DEVICE_NOT_CONNECTED, 0);
        if (out.empty()) return request->complete(ERROR_INSUFFICIENT_BUFFER, 0);
        // GET_INTERFACE for interface 0; a device that refuses it is on setting 0.
        uint8_t alt = 0;
        bus::Result r = m_instance->device->control({0x81, 10, 0, 0, 1}, std::span<uint8_t>(&alt, 1));
        out[0] = (r.status == bus::Status::ok && r.bytes == 1) ? alt : 0;
        request->complete(ERROR_SUCCESS, 1);
    }

    void info_block(DWORD code, std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request)
    {
        if (gone()) return request->complete(ERROR_DEVICE_NOT_CONNECTED, 0);
        if (out.size() < 256) return request->complete(ERROR_INSUFFICIENT_BUFFER, 0);
        std::memset(out.data(), 0, 256);
        if (code == IOCTL_INFO_BLOCK_15)
            std::memcpy(out.data(), m_instance->name.data(), std::min<size_t>(255, m_instance->name.size()));
        else std::memcpy(out.data(), m_instance->deviceDescriptor, sizeof m_instance->deviceDescriptor);
        request->complete(ERROR_SUCCESS, 256);
    }

    void abort(std::span<uint8_t> in, const std::shared_ptr<IoRequest>& request)
    {
        if (in.empty()) return request->complete(ERROR_INVALID_PARAMETER, 0);
        uint8_t ep = in[0];
        if (ep == 0) return request->complete(ERROR_SUCCESS, 0);  // control requests never stay pending
        if (!m_instance->knows_endpoint(ep)) return request->complete(ERROR_INVALID_PARAMETER, 0);
        m_instance->device->cancel(ep);
        // A device that kept something despite cancel() still gets it ended here, once.
        m_instance->end(m_instance->take([ep](const Pending& p) { return p.endpoint == ep; }), bus::Status::cancelled);
        request->complete(ERROR_SUCCESS, 0);
    }

    // METHOD_BUFFERED: the answer goes into `out`, which is normally `in` itself.
    static std::optional<std::span<uint8_t>> system_buffer(std::span<uint8_t> in, std::span<uint8_t> out)
    {
        if (out.size() < in.size()) return std::nullopt;
        if (out.data() != in.data() && !in.empty()) std::memmove(out.data(), in.data(), in.size());
        return out.first(in.size());
    }

    static void fail(std::span<uint8_t> record, const std::shared_ptr<IoRequest>& request, Outcome o)
    {
        write_status(record, o.status1, o.status2);
        request->complete(o.error, 0);
    }

    void control(std::span<uint8_t> in, std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request)
    {
        auto buffer = system_buffer(in, out);
        if (!buffer) return request->complete(ERROR_INSUFFICIENT_BUFFER, 0);
        auto h = read_header(*buffer);
        if (!h) return request->complete(ERROR_INVALID_PARAMETER, 0);
        if (h->endpoint != 0 || h->dataLength != h->setup.length ||
            !area_fits(h->dataOffset, h->dataLength, buffer->size()))
            return fail(*buffer, request, kBadRequest);
        if (gone()) return fail(*buffer, request, outcome_of(bus::Status::no_device));
        std::span<uint8_t> data = h->dataLength ? buffer->subspan(h->dataOffset, h->dataLength) : std::span<uint8_t>();
        bus::Result r = m_instance->device->control(h->setup, data);
        Outcome o = outcome_of(r.status);
        write_status(*buffer, o.status1, o.status2);
        uint32_t base = h->dataLength ? h->dataOffset : 0;
        request->complete(o.error, base + std::min(r.bytes, h->dataLength));
    }

    void buffered(std::span<uint8_t> in, std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request)
    {
        auto buffer = system_buffer(in, out);
        if (!buffer) return request->complete(ERROR_INSUFFICIENT_BUFFER, 0);
        auto h = read_header(*buffer);
        if (!h) return request->complete(ERROR_INVALID_PARAMETER, 0);
        if (!m_instance->knows_endpoint(h->endpoint) || !areas_fit(*h, buffer->size()))
            return fail(*buffer, request, kBadRequest);
        if (h->packetInfoLength) std::memset(buffer->data() + h->packetInfoOffset, 0, h->packetInfoLength);
        std::span<uint8_t> data = h->dataLength ? buffer->subspan(h->dataOffset, h->dataLength) : std::span<uint8_t>();
        submit(*buffer, data, h->endpoint, h->dataLength ? h->dataOffset : 0, request);
    }

    void direct(std::span<uint8_t> in, std::span<uint8_t> out, const std::shared_ptr<IoRequest>& request)
    {
        // METHOD_NEITHER: `in` is the caller's own record, `out` the caller's data buffer.
        auto h = read_header(in);
        if (!h) return request->complete(ERROR_INVALID_PARAMETER, 0);
        if (!m_instance->knows_endpoint(h->endpoint) || (h->dataLength != 0 && h->dataLength != out.size()) ||
            !area_fits(h->packetInfoOffset, h->packetInfoLength, in.size()))
            return fail(in, request, kBadRequest);
        if (h->packetInfoLength) std::memset(in.data() + h->packetInfoOffset, 0, h->packetInfoLength);
        submit(in, out, h->endpoint, 0, request);
    }

    void submit(std::span<uint8_t> record, std::span<uint8_t> data, uint8_t ep, uint32_t byteBase,
                const std::shared_ptr<IoRequest>& request)
    {
        auto p = std::make_shared<Pending>();
        p->request = request;
        p->record = record;
        p->byteBase = byteBase;
        p->endpoint = ep;
        p->file = this;
        Instance& inst = *m_instance;
        bool linked;
        {
            std::lock_guard lock(inst.mutex);
            linked = !inst.gone;
            if (linked) inst.pending.push_back(p);
        }
        if (!linked) return finish(*p, outcome_of(bus::Status::no_device), 0);
        inst.device->submit(ep, data,
                            [keepInstance = m_instance, p](bus::Result r) { keepInstance->completed(*p, r); });
    }

    const std::shared_ptr<Instance> m_instance;
    const std::shared_ptr<DeviceCompleter> m_completer;
    std::atomic<bool> m_opened;
};

// Reads the device descriptor and the endpoint addresses of every configuration.
void describe(Instance& inst)
{
    bus::Setup setup{0x80, 6, 0x0100, 0, 18};
    bus::Result r = inst.device->control(setup, inst.deviceDescriptor);
    if (r.status != bus::Status::ok || r.bytes < 18) return;
    int configs = std::min<int>(inst.deviceDescriptor[17], 4);
    for (int i = 0; i < configs; ++i) {
        uint8_t head[9]{};
        r = inst.device->control({0x80, 6, static_cast<uint16_t>(0x0200 | i), 0, 9}, head);
        if (r.status != bus::Status::ok || r.bytes < 9) continue;
        uint16_t total = static_cast<uint16_t>(head[2] | head[3] << 8);
        std::vector<uint8_t> block(total);
        r = inst.device->control({0x80, 6, static_cast<uint16_t>(0x0200 | i), 0, total}, block);
        if (r.status != bus::Status::ok) continue;
        size_t size = std::min<size_t>(r.bytes, block.size());
        for (size_t at = 0; at + 2 <= size && block[at] != 0; at += block[at]) {
            if (block[at + 1] == 5 && block[at] >= 7 && at + 3 <= size) inst.endpoints.push_back(block[at + 2]);
        }
    }
}

std::string sanitized(std::string s)
{
    for (char& c : s)
        if (c == '#' || c == '\\' || c == '/' || c == ' ') c = '_';
    return s;
}

int rank_of(const std::string& backend)
{
    if (backend == "libusb") return 0;
    if (backend == "ampsim") return 1;
    return 2;
}

struct Driver {
    std::once_flag installed;
    std::mutex mutex;
    std::map<bus::Device*, std::shared_ptr<Instance>> instances;
};

Driver& driver()
{
    static Driver* d = new Driver;
    return *d;
}

void on_attach(const std::shared_ptr<bus::Device>& device)
{
    auto inst = std::make_shared<Instance>();
    inst->device = device;
    describe(*inst);
    inst->name = sanitized(device->backend() + "-" + device->location());
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%02x%02x&pid_%02x%02x", inst->deviceDescriptor[9], inst->deviceDescriptor[8],
                  inst->deviceDescriptor[11], inst->deviceDescriptor[10]);
    std::string path = std::string("\\\\?\\usb#") + ids + "#" + inst->name + "#{d0cdeb7e-87c6-4f20-862b-219bbbed8c03}";
    std::weak_ptr<Instance> weak = inst;
    {
        std::lock_guard lock(driver().mutex);
        driver().instances[device.get()] = inst;
    }
    inst->interface = win32::publish_interface(
        kInterfaceClass, path,
        [weak]() -> std::shared_ptr<win32::DeviceFile> {
            auto i = weak.lock();
            if (!i) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            bus::Status s = i->device->open();
            if (s != bus::Status::ok) {
                SetLastError(s == bus::Status::no_device ? ERROR_DEVICE_NOT_CONNECTED : ERROR_ACCESS_DENIED);
                return nullptr;
            }
            return std::make_shared<File>(i, true);
        },
        rank_of(device->backend()));
}

void on_detach(const std::shared_ptr<bus::Device>& device)
{
    std::shared_ptr<Instance> inst;
    {
        std::lock_guard lock(driver().mutex);
        auto it = driver().instances.find(device.get());
        if (it == driver().instances.end()) return;
        inst = it->second;
        driver().instances.erase(it);
    }
    win32::withdraw_interface(inst->interface);
    inst->end(inst->take([](const Pending&) { return true; }, true), bus::Status::no_device);
}

}  // namespace

void install()
{
    std::call_once(driver().installed, [] {
        bus::subscribe([](const std::shared_ptr<bus::Device>& device, bool attached) {
            if (attached) on_attach(device);
            else on_detach(device);
        });
    });
}

}  // namespace platform::usbdriver
