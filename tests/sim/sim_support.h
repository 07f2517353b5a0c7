// Driving a device model the way the driver does: OUT writes, IN reads waited for with a
// real-time bound so that a broken model fails the test instead of hanging it.
#pragma once

#include "platform/bus/device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

namespace simtest {

using platform::bus::Status;

struct Transfer {
    Status status = Status::ok;
    std::vector<uint8_t> bytes;
};

class PendingRead {
public:
    PendingRead(platform::bus::Device& device, size_t room = 512, uint8_t endpoint = 0x81)
        : m_buffer(std::make_shared<std::vector<uint8_t>>(room, 0xEE))
    {
        auto buffer = m_buffer;
        auto promise = std::make_shared<std::promise<Transfer>>();
        m_future = promise->get_future();
        device.submit(endpoint, *m_buffer, [buffer, promise](platform::bus::Result r) {
            promise->set_value({r.status, {buffer->begin(), buffer->begin() + r.bytes}});
        });
    }
    bool done() const { return m_future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    Transfer wait()
    {
        if (m_future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "read did not complete";
            return {Status::error, {}};
        }
        return m_future.get();
    }

private:
    std::shared_ptr<std::vector<uint8_t>> m_buffer;
    std::future<Transfer> m_future;
};

inline Transfer read(platform::bus::Device& device, size_t room = 512)
{
    return PendingRead(device, room).wait();
}

inline platform::bus::Result send(platform::bus::Device& device, std::vector<uint8_t> bytes, uint8_t endpoint = 0x01)
{
    platform::bus::Result result{Status::error, 0};
    device.submit(endpoint, bytes, [&](platform::bus::Result r) { result = r; });
    return result;
}

inline uint16_t value(const std::vector<uint8_t>& packet, int frame, int channel)
{
    size_t at = 4 + 2 * size_t(8 * frame + channel);
    return uint16_t(packet[at] | packet[at + 1] << 8);
}

}  // namespace simtest
