// The USB half of a device model: answers the standard requests on endpoint 0 from a
// DescriptorSet, logs and hands on what arrives on OUT endpoints, and completes IN reads
// from a packet queue. Usable alone: a test presents any descriptor set and queues raw packets.
#pragma once

#include "platform/bus/device.h"
#include "sim/descriptors.h"
#include "sim/wire_log.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace sim {

class UsbDevice : public platform::bus::Device {
public:
    UsbDevice(DescriptorSet descriptors, std::string location, std::string backend = "local");
    ~UsbDevice() override;

    std::string backend() const override;
    std::string location() const override;
    platform::bus::Result control(const platform::bus::Setup& setup, std::span<uint8_t> data) override;
    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override;
    void cancel(uint8_t endpoint) override;
    uint32_t driver_version() const override;

    void set_driver_version(uint32_t version);  // 0: the driver's own
    void set_descriptors(DescriptorSet descriptors);
    DescriptorSet descriptors() const;
    // The alternate setting GET_INTERFACE reports (SET_INTERFACE also changes it).
    void set_alt_setting(uint8_t interfaceNumber, uint8_t alt);
    uint8_t alt_setting(uint8_t interfaceNumber) const;
    uint8_t configuration() const;  // bConfigurationValue; the first one until SET_CONFIGURATION

    // The next read of `endpoint` gets this packet, whatever its length (longer than the
    // reader's room: the room is filled and the read ends with Status::error).
    void queue_in(std::vector<uint8_t> packet, uint8_t endpoint = 0x81);
    size_t queued_in(uint8_t endpoint = 0x81) const;
    size_t pending_reads(uint8_t endpoint = 0x81) const;

    WireLog& log() { return m_log; }
    const WireLog& log() const { return m_log; }

protected:
    // The status an OUT transfer on `endpoint` completes with; only ok ones reach on_out().
    virtual platform::bus::Status out_status(uint8_t endpoint) { return platform::bus::Status::ok; }
    // A packet arrived on an OUT endpoint (already logged). Called without the device's lock;
    // afterwards every IN endpoint with pending reads is serviced.
    virtual void on_out(uint8_t endpoint, std::span<const uint8_t> packet) {}
    // A read became pending or a packet was queued on `endpoint`. Called without the lock.
    // Default: pair pending reads with queued packets, oldest first.
    virtual void service(uint8_t endpoint);

    struct Read {
        std::span<uint8_t> room;
        Completion done;
    };
    // Completes the oldest pending read of `endpoint` with `packet` (or `status` and no data
    // when status is not ok); false when none was pending. Logs the delivery.
    bool deliver(uint8_t endpoint, std::span<const uint8_t> packet,
                 platform::bus::Status status = platform::bus::Status::ok);
    // Completes `read` (already taken off its queue) and logs it. Called without the lock.
    void complete(uint8_t endpoint, Read& read, std::span<const uint8_t> packet, platform::bus::Status status);
    // Completes every pending read of every endpoint with `status`.
    void fail_all(platform::bus::Status status);
    // While set, every transfer completes at once with Status::no_device.
    void set_gone(bool gone);

    mutable std::mutex m_mutex;         // guards everything below and the subclass's state
    std::condition_variable m_changed;  // a read became pending, was completed or state changed
    std::map<uint8_t, std::deque<Read>> m_reads;
    std::map<uint8_t, std::deque<std::vector<uint8_t>>> m_queued;

private:
    platform::bus::Result standard_request(const platform::bus::Setup& setup, std::span<uint8_t> data);
    platform::bus::Result get_descriptor(const platform::bus::Setup& setup, std::span<uint8_t> data);
    bool has_alt_setting(uint8_t interfaceNumber, uint8_t alt) const;

    WireLog m_log;
    DescriptorSet m_descriptors;
    std::string m_location;
    std::string m_backend;
    uint32_t m_driverVersion = 0;
    uint8_t m_configuration = 0;
    bool m_gone = false;
    std::map<uint8_t, uint8_t> m_altSettings;
};

}  // namespace sim
