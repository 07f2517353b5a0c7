// Reading and checking the request record. Nothing here trusts the caller's offsets.
#pragma once

#include "platform/bus/device.h"
#include "platform/usbdriver/driver.h"

#include <bit>
#include <cstring>
#include <optional>
#include <span>

namespace platform::usbdriver {

static_assert(std::endian::native == std::endian::little, "the request record is little-endian");

struct RecordHeader {
    bus::Setup setup;
    uint32_t timeoutSeconds = 0;
    uint8_t endpoint = 0;
    uint32_t packetInfoOffset = 0;
    uint32_t packetInfoLength = 0;
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
};

inline uint32_t read_u32(std::span<const uint8_t> bytes, size_t at)
{
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

inline std::optional<RecordHeader> read_header(std::span<const uint8_t> bytes)
{
    if (bytes.size() < record::kHeaderSize) return std::nullopt;
    RecordHeader h;
    h.setup.requestType = bytes[0];
    h.setup.request = bytes[1];
    std::memcpy(&h.setup.value, bytes.data() + 2, 2);
    std::memcpy(&h.setup.index, bytes.data() + 4, 2);
    std::memcpy(&h.setup.length, bytes.data() + 6, 2);
    h.timeoutSeconds = read_u32(bytes, record::kTimeoutSeconds);
    h.endpoint = bytes[record::kEndPointAddress];
    h.packetInfoOffset = read_u32(bytes, record::kPacketInfoOffset);
    h.packetInfoLength = read_u32(bytes, record::kPacketInfoLength);
    h.dataOffset = read_u32(bytes, record::kDataOffset);
    h.dataLength = read_u32(bytes, record::kDataLength);
    return h;
}

inline void write_status(std::span<uint8_t> bytes, uint32_t status1, uint32_t status2)
{
    if (bytes.size() < record::kHeaderSize) return;
    std::memcpy(bytes.data() + record::kStatus1, &status1, 4);
    std::memcpy(bytes.data() + record::kStatus2, &status2, 4);
}

// An area behind the header that lies wholly inside `size` bytes; empty areas always fit.
inline bool area_fits(uint32_t offset, uint32_t length, size_t size)
{
    if (length == 0) return true;
    return offset >= record::kHeaderSize && offset <= size && length <= size - offset;
}

// The packet-info area and the data area, checked against `size` and against each other.
inline bool areas_fit(const RecordHeader& h, size_t size)
{
    if (!area_fits(h.packetInfoOffset, h.packetInfoLength, size)) return false;
    if (!area_fits(h.dataOffset, h.dataLength, size)) return false;
    if (h.packetInfoLength && h.dataLength) {
        uint64_t pi0 = h.packetInfoOffset, pi1 = pi0 + h.packetInfoLength;
        uint64_t d0 = h.dataOffset, d1 = d0 + h.dataLength;
        if (pi0 < d1 && d0 < pi1) return false;
    }
    return true;
}

}  // namespace platform::usbdriver
