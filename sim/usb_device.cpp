#include "sim/usb_device.h"

#include <algorithm>
#include <cstring>

namespace sim {

using platform::bus::Result;
using platform::bus::Setup;
using platform::bus::Status;

namespace {
constexpr uint8_t GET_STATUS = 0, SET_CONFIGURATION = 9, GET_CONFIGURATION = 8, GET_DESCRIPTOR = 6, GET_INTERFACE = 10,
                  SET_INTERFACE = 11;

std::vector<uint8_t> setup_bytes(const Setup& s)
{
    return {s.requestType,
            s.request,
            uint8_t(s.value & 0xFF),
            uint8_t(s.value >> 8),
            uint8_t(s.index & 0xFF),
            uint8_t(s.index >> 8),
            uint8_t(s.length & 0xFF),
            uint8_t(s.length >> 8)};
}

// Walks a configuration block's descriptors, stopping at a zero length or the block's end.
template <class F>
void each_descriptor(const Bytes& block, F f)
{
    size_t pos = 0;
    while (pos + 2 <= block.size() && block[pos] != 0) {
        f(block.data() + pos, std::min<size_t>(block[pos], block.size() - pos));
        pos += block[pos];
    }
}
}  // namespace

UsbDevice::UsbDevice(DescriptorSet descriptors, std::string location, std::string backend)
    : m_descriptors(std::move(descriptors)), m_location(std::move(location)), m_backend(std::move(backend))
{
    if (!m_descriptors.configurations.empty() && m_descriptors.configurations[0].size() > 5)
        m_configuration = m_descriptors.configurations[0][5];
}

UsbDevice::~UsbDevice()
{
    fail_all(Status::no_device);
}

std::string UsbDevice::backend() const
{
    return m_backend;
}
std::string UsbDevice::location() const
{
    return m_location;
}

uint32_t UsbDevice::driver_version() const
{
    std::lock_guard lock(m_mutex);
    return m_driverVersion;
}

void UsbDevice::set_driver_version(uint32_t version)
{
    std::lock_guard lock(m_mutex);
    m_driverVersion = version;
}

void UsbDevice::set_descriptors(DescriptorSet descriptors)
{
    std::lock_guard lock(m_mutex);
    m_descriptors = std::move(descriptors);
}

DescriptorSet UsbDevice::descriptors() const
{
    std::lock_guard lock(m_mutex);
    return m_descriptors;
}

void UsbDevice::set_alt_setting(uint8_t interfaceNumber, uint8_t alt)
{
    std::lock_guard lock(m_mutex);
    m_altSettings[interfaceNumber] = alt;
}

uint8_t UsbDevice::alt_setting(uint8_t interfaceNumber) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_altSettings.find(interfaceNumber);
    return it == m_altSettings.end() ? 0 : it->second;
}

uint8_t UsbDevice::configuration() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration;
}

void UsbDevice::set_gone(bool gone)
{
    {
        std::lock_guard lock(m_mutex);
        m_gone = gone;
    }
    if (gone) fail_all(Status::no_device);
}

Result UsbDevice::control(const Setup& setup, std::span<uint8_t> data)
{
    bool in = setup.requestType & 0x80;
    size_t room = std::min<size_t>(setup.length, data.size());
    Result result;
    {
        std::lock_guard lock(m_mutex);
        result = m_gone ? Result{Status::no_device, 0} : standard_request(setup, data.first(room));
    }
    std::vector<uint8_t> logged = setup_bytes(setup);
    if (in) {
        m_log.out(0x00, logged);
        m_log.in(0x00, data.first(result.bytes), result.status);
    } else {
        logged.insert(logged.end(), data.begin(), data.begin() + room);
        m_log.out(0x00, logged, result.status);
    }
    return result;
}

bool UsbDevice::has_alt_setting(uint8_t interfaceNumber, uint8_t alt) const
{
    for (const Bytes& block : m_descriptors.configurations) {
        if (block.size() < 6 || block[5] != m_configuration) continue;
        bool found = false;
        each_descriptor(block, [&](const uint8_t* d, size_t len) {
            if (len >= 4 && d[1] == 4 && d[2] == interfaceNumber && d[3] == alt) found = true;
        });
        return found;
    }
    return false;
}

Result UsbDevice::standard_request(const Setup& s, std::span<uint8_t> data)
{
    const Result stall{Status::stall, 0};
    if ((s.requestType & 0x60) != 0) return stall;  // class and vendor requests: none known
    uint8_t recipient = s.requestType & 0x1F;
    bool in = s.requestType & 0x80;
    auto answer = [&](std::initializer_list<uint8_t> bytes) {
        size_t n = std::min(bytes.size(), data.size());
        std::copy_n(bytes.begin(), n, data.begin());
        return Result{Status::ok, uint32_t(n)};
    };
    switch (s.request) {
    case GET_DESCRIPTOR:
        if (!in || recipient != 0) return stall;
        return get_descriptor(s, data);
    case GET_CONFIGURATION:
        if (!in || recipient != 0) return stall;
        return answer({m_configuration});
    case SET_CONFIGURATION: {
        if (in || recipient != 0) return stall;
        uint8_t value = uint8_t(s.value);
        bool known = value == 0;
        for (const Bytes& block : m_descriptors.configurations)
            if (block.size() > 5 && block[5] == value) known = true;
        if (!known) return stall;
        m_configuration = value;
        m_altSettings.clear();
        return {Status::ok, 0};
    }
    case GET_INTERFACE: {
        if (!in || recipient != 1) return stall;
        uint8_t number = uint8_t(s.index);
        auto it = m_altSettings.find(number);
        uint8_t alt = it == m_altSettings.end() ? 0 : it->second;
        if (!has_alt_setting(number, alt)) return stall;
        return answer({alt});
    }
    case SET_INTERFACE:
        if (in || recipient != 1) return stall;
        if (!has_alt_setting(uint8_t(s.index), uint8_t(s.value))) return stall;
        m_altSettings[uint8_t(s.index)] = uint8_t(s.value);
        return {Status::ok, 0};
    case GET_STATUS:
        if (!in || recipient > 2) return stall;
        return answer({0, 0});  // bus powered, no remote wake-up, no halted endpoint
    default: return stall;
    }
}

Result UsbDevice::get_descriptor(const Setup& s, std::span<uint8_t> data)
{
    uint8_t type = uint8_t(s.value >> 8), index = uint8_t(s.value & 0xFF);
    const Bytes* source = nullptr;
    if (type == 1 && index == 0 && !m_descriptors.device.empty()) {
        source = &m_descriptors.device;
    } else if (type == 2 && index < m_descriptors.configurations.size()) {
        source = &m_descriptors.configurations[index];
    } else if (type == 3) {
        auto it = m_descriptors.strings.find(index);
        if (it != m_descriptors.strings.end()) source = &it->second;
    }
    if (!source) return {Status::stall, 0};
    size_t n = std::min(source->size(), data.size());
    std::copy_n(source->begin(), n, data.begin());
    return {Status::ok, uint32_t(n)};
}

void UsbDevice::submit(uint8_t endpoint, std::span<uint8_t> data, Completion done)
{
    bool gone;
    {
        std::lock_guard lock(m_mutex);
        gone = m_gone;
        if (!gone && (endpoint & 0x80)) {
            m_reads[endpoint].push_back({data, std::move(done)});
            m_changed.notify_all();
        }
    }
    if (gone) {
        if (!(endpoint & 0x80)) m_log.out(endpoint, data, Status::no_device);
        done({Status::no_device, 0});
        return;
    }
    if (endpoint & 0x80) {
        service(endpoint);
        return;
    }
    Status status = out_status(endpoint);
    m_log.out(endpoint, data, status);
    if (status == Status::ok) on_out(endpoint, data);
    done({status, status == Status::ok ? uint32_t(data.size()) : 0});
    std::vector<uint8_t> waiting;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [ep, reads] : m_reads)
            if (!reads.empty()) waiting.push_back(ep);
    }
    for (uint8_t ep : waiting) service(ep);
}

void UsbDevice::cancel(uint8_t endpoint)
{
    std::deque<Read> reads;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_reads.find(endpoint);
        if (it != m_reads.end()) reads.swap(it->second);
        m_changed.notify_all();
    }
    for (Read& r : reads) r.done({Status::cancelled, 0});
}

void UsbDevice::fail_all(Status status)
{
    std::map<uint8_t, std::deque<Read>> reads;
    {
        std::lock_guard lock(m_mutex);
        reads.swap(m_reads);
        m_changed.notify_all();
    }
    for (auto& [ep, list] : reads)
        for (Read& r : list) r.done({status, 0});
}

void UsbDevice::queue_in(std::vector<uint8_t> packet, uint8_t endpoint)
{
    {
        std::lock_guard lock(m_mutex);
        m_queued[endpoint].push_back(std::move(packet));
        m_changed.notify_all();
    }
    service(endpoint);
}

size_t UsbDevice::queued_in(uint8_t endpoint) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_queued.find(endpoint);
    return it == m_queued.end() ? 0 : it->second.size();
}

size_t UsbDevice::pending_reads(uint8_t endpoint) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_reads.find(endpoint);
    return it == m_reads.end() ? 0 : it->second.size();
}

void UsbDevice::service(uint8_t endpoint)
{
    for (;;) {
        std::vector<uint8_t> packet;
        Read read;
        {
            std::lock_guard lock(m_mutex);
            auto& q = m_queued[endpoint];
            auto& reads = m_reads[endpoint];
            if (q.empty() || reads.empty()) return;
            packet = std::move(q.front());
            q.pop_front();
            read = std::move(reads.front());
            reads.pop_front();
            m_changed.notify_all();
        }
        complete(endpoint, read, packet, Status::ok);
    }
}

bool UsbDevice::deliver(uint8_t endpoint, std::span<const uint8_t> packet, Status status)
{
    Read read;
    {
        std::lock_guard lock(m_mutex);
        auto& reads = m_reads[endpoint];
        if (reads.empty()) return false;
        read = std::move(reads.front());
        reads.pop_front();
        m_changed.notify_all();
    }
    complete(endpoint, read, packet, status);
    return true;
}

void UsbDevice::complete(uint8_t endpoint, Read& read, std::span<const uint8_t> packet, Status status)
{
    Result result{status, 0};
    if (status == Status::ok) {
        size_t n = std::min(packet.size(), read.room.size());
        if (n > 0) std::memcpy(read.room.data(), packet.data(), n);
        result.bytes = uint32_t(n);
        if (n < packet.size()) result.status = Status::error;  // babble: more than the room
    }
    m_log.in(endpoint, read.room.first(result.bytes), result.status);
    read.done(result);
}

}  // namespace sim
