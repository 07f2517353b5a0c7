// A device model that answers at once: the amplifier's descriptors on endpoint 0, every IN
// read filled to the reader's room, every OUT write accepted. What remains of a transfer's
// cost is the path above the device.
#pragma once

#include "platform/bus/device.h"

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace usbbench {

class LoopbackDevice : public platform::bus::Device {
public:
    LoopbackDevice(std::string location, uint32_t driverVersion)
        : m_location(std::move(location)), m_version(driverVersion)
    {
        m_descriptors[0x0100] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x09, 0x12, 0x04, 0xA4, 0x00, 0x01, 1, 2, 3, 1};
        m_descriptors[0x0300] = {4, 3, 0x09, 0x04};
        m_descriptors[0x0301] = Text(u"Bench");
        m_descriptors[0x0302] = Text(u"QRVX-4 EEG Amplifier");
        m_descriptors[0x0303] = Text(u"0001");
        m_descriptors[0x0200] = {9, 2, 32,   0, 1,    1,    0, 0x80, 250,  //
                                 9, 4, 0,    0, 2,    0xFF, 0, 0,    0,    //
                                 7, 5, 0x01, 2, 0x00, 0x02, 0,             //
                                 7, 5, 0x81, 2, 0x00, 0x02, 0};
    }

    std::string backend() const override { return "local"; }
    std::string location() const override { return m_location; }
    uint32_t driver_version() const override { return m_version; }

    platform::bus::Result control(const platform::bus::Setup& setup, std::span<uint8_t> data) override
    {
        using platform::bus::Status;
        if (setup.requestType == 0x80 && setup.request == 6) {
            auto it = m_descriptors.find(setup.value);
            if (it == m_descriptors.end()) return {Status::stall, 0};
            size_t n = std::min({data.size(), size_t(setup.length), it->second.size()});
            std::memcpy(data.data(), it->second.data(), n);
            return {Status::ok, uint32_t(n)};
        }
        if (setup.requestType == 0x81 && setup.request == 10 && !data.empty()) {  // GET_INTERFACE
            data[0] = 0;
            return {Status::ok, 1};
        }
        if (setup.requestType == 0x80 && setup.request == 8 && !data.empty()) {  // GET_CONFIGURATION
            data[0] = 1;
            return {Status::ok, 1};
        }
        return {Status::ok, 0};
    }

    void submit(uint8_t endpoint, std::span<uint8_t> data, Completion done) override
    {
        if (endpoint & 0x80)
            for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
        m_transfers.fetch_add(1, std::memory_order_relaxed);
        done({platform::bus::Status::ok, uint32_t(data.size())});
    }
    void cancel(uint8_t) override {}

    uint64_t transfers() const { return m_transfers.load(); }

private:
    static std::vector<uint8_t> Text(std::u16string_view text)
    {
        std::vector<uint8_t> bytes{uint8_t(2 + 2 * text.size()), 3};
        for (char16_t unit : text) {
            bytes.push_back(uint8_t(unit & 0xFF));
            bytes.push_back(uint8_t(unit >> 8));
        }
        return bytes;
    }

    std::string m_location;
    uint32_t m_version;
    std::map<uint16_t, std::vector<uint8_t>> m_descriptors;
    std::atomic<uint64_t> m_transfers{0};
};

}  // namespace usbbench
