// A small USB device for driver and bus tests: one bulk IN (0x81), one bulk OUT (0x02) and one
// isochronous IN (0x83) endpoint. OUT data loops back to IN; an IN read with nothing to give
// waits until the test completes it (from any thread), or until cancel().
#pragma once

#include "platform/bus/device.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace test {

class TestDevice : public platform::bus::Device {
public:
    explicit TestDevice(std::string location = "test-1", std::string backend = "local")
        : m_location(std::move(location)), m_backend(std::move(backend))
    {
    }

    std::string backend() const override { return m_backend; }
    std::string location() const override { return m_location; }
    uint32_t driver_version() const override { return driverVersion; }

    platform::bus::Result control(const platform::bus::Setup& s, std::span<uint8_t> data) override
    {
        using platform::bus::Status;
        std::lock_guard lock(m_mutex);
        ++controls;
        if (s.requestType == 0x80 && s.request == 6) {
            const std::vector<uint8_t>* d = nullptr;
            if (s.value == 0x0100) d = &kDevice;
            if (s.value == 0x0200) d = &kConfig;
            if (!d) return {Status::stall, 0};
            size_t n = std::min({d->size(), data.size(), static_cast<size_t>(s.length)});
            if (n) std::memcpy(data.data(), d->data(), n);
            return {Status::ok, static_cast<uint32_t>(n)};
        }
        if (s.requestType == 0x81 && s.request == 10 && !data.empty()) {
            data[0] = altSetting;
            return {Status::ok, 1};
        }
        if (s.requestType == 0x40 && s.request == 1) {  // vendor OUT: remembered
            vendorBytes.assign(data.begin(), data.end());
            return {Status::ok, static_cast<uint32_t>(data.size())};
        }
        return {Status::stall, 0};
    }

    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override
    {
        using platform::bus::Status;
        std::unique_lock lock(m_mutex);
        ++submits;
        if (endpoint == 0x02) {
            if (loopback) m_loop.emplace_back(data.begin(), data.end());
            lock.unlock();
            done({Status::ok, static_cast<uint32_t>(data.size())});
            return;
        }
        if (endpoint == 0x81 && !m_loop.empty()) {
            auto packet = std::move(m_loop.front());
            m_loop.pop_front();
            lock.unlock();
            size_t n = std::min(packet.size(), data.size());
            if (n) std::memcpy(data.data(), packet.data(), n);
            done({Status::ok, static_cast<uint32_t>(n)});
            return;
        }
        if (endpoint == 0x83) {
            lock.unlock();
            for (auto& b : data) b = 0x5A;
            done({Status::ok, static_cast<uint32_t>(data.size())});
            return;
        }
        m_waiting.push_back({endpoint, data, std::move(done)});
    }

    void cancel(uint8_t endpoint) override
    {
        std::vector<Read> ended;
        {
            std::lock_guard lock(m_mutex);
            ++cancels;
            for (auto it = m_waiting.begin(); it != m_waiting.end();) {
                if (it->endpoint == endpoint && !keepDespiteCancel) {
                    ended.push_back(std::move(*it));
                    it = m_waiting.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& r : ended) r.done({platform::bus::Status::cancelled, 0});
    }

    // Completes the oldest waiting read with `bytes` (filled with `fill`); false if none waits.
    bool answer(std::vector<uint8_t> bytes, platform::bus::Status status = platform::bus::Status::ok)
    {
        Read r;
        {
            std::lock_guard lock(m_mutex);
            if (m_waiting.empty()) return false;
            r = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        size_t n = std::min(bytes.size(), r.data.size());
        if (n) std::memcpy(r.data.data(), bytes.data(), n);
        r.done({status, static_cast<uint32_t>(n)});
        return true;
    }
    size_t waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting.size();
    }

    // Device 0x1234:0x5678, one configuration, interface 0 with three endpoints.
    inline static const std::vector<uint8_t> kDevice = {18,   1,    0x00, 0x02, 0,    0, 0, 64, 0x34,
                                                        0x12, 0x78, 0x56, 0x00, 0x01, 1, 2, 3,  1};
    inline static const std::vector<uint8_t> kConfig = {
        9, 2, 39,   0, 1,    1,    0, 0x80, 50,  // configuration, wTotalLength 39
        9, 4, 0,    0, 3,    0xFF, 0, 0,    0,   // interface 0, three endpoints
        7, 5, 0x81, 2, 64,   0,    0,            // bulk IN
        7, 5, 0x02, 2, 64,   0,    0,            // bulk OUT
        7, 5, 0x83, 1, 0x00, 0x02, 1};           // isochronous IN

    uint32_t driverVersion = 0;
    uint8_t altSetting = 0;
    bool keepDespiteCancel = false;
    bool loopback = true;
    std::vector<uint8_t> vendorBytes;
    int controls = 0, submits = 0, cancels = 0;

private:
    struct Read {
        uint8_t endpoint = 0;
        std::span<uint8_t> data;
        Completion done;
    };
    std::mutex m_mutex;
    std::string m_location, m_backend;
    std::deque<std::vector<uint8_t>> m_loop;
    std::deque<Read> m_waiting;
};

}  // namespace test
