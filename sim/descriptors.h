// USB descriptor bytes for device models: the standard amplifier set, and builders that let a
// test present any set at all (several configurations, alternate settings, class-specific or
// malformed blocks). Everything here is plain bytes; nothing is validated on purpose.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

// What a device answers to GET_DESCRIPTOR. Strings are raw string descriptors by index;
// index 0 is the language table. A missing entry (or empty device bytes) stalls the request.
struct DescriptorSet {
    Bytes device;
    std::vector<Bytes> configurations;  // by configuration index, whole wTotalLength blocks
    std::map<uint8_t, Bytes> strings;
};

struct DeviceFields {
    uint16_t usbVersion = 0x0200;
    uint8_t deviceClass = 0;
    uint8_t deviceSubClass = 0;
    uint8_t deviceProtocol = 0;
    uint8_t maxPacketSize0 = 64;
    uint16_t vendorId = 0x1209;
    uint16_t productId = 0xA404;
    uint16_t deviceRelease = 0x0100;
    uint8_t manufacturerIndex = 1;
    uint8_t productIndex = 2;
    uint8_t serialIndex = 3;
    uint8_t configCount = 1;
};

Bytes device_descriptor(const DeviceFields& fields);
// bLength, type 3, then the UTF-16LE units.
Bytes string_descriptor(std::u16string_view text);
// ASCII/Latin-1 text, one unit per byte.
Bytes string_descriptor(std::string_view text);
// UTF-8 to UTF-16 (surrogate pairs beyond U+FFFF); nullopt for malformed UTF-8: a stray or
// missing continuation byte, an overlong form, a surrogate, or a code point beyond U+10FFFF.
std::optional<std::u16string> utf16_from_utf8(std::string_view text);
// A product or other text string given in UTF-8; malformed UTF-8 goes one unit per byte.
Bytes text_descriptor(std::string_view utf8);
Bytes language_table(std::initializer_list<uint16_t> languages);

// Builds one configuration block in call order. wTotalLength, bNumInterfaces and each
// interface's bNumEndpoints are counted unless overridden (to make malformed blocks).
class ConfigBuilder {
public:
    explicit ConfigBuilder(uint8_t value = 1, uint8_t attributes = 0x80, uint8_t maxPower = 250,
                           uint8_t stringIndex = 0);

    ConfigBuilder& interface(uint8_t number, uint8_t alt, uint8_t cls = 0xFF, uint8_t subClass = 0,
                             uint8_t protocol = 0, uint8_t stringIndex = 0);
    ConfigBuilder& endpoint(uint8_t address, uint8_t attributes, uint16_t maxPacket = 512, uint8_t interval = 0);
    // Any descriptor bytes, placed as they are (class-specific, zero-length, truncated, ...).
    ConfigBuilder& raw(Bytes bytes);

    ConfigBuilder& total_length(uint16_t length);  // instead of the counted one
    ConfigBuilder& num_interfaces(uint8_t count);  // instead of the distinct numbers seen
    ConfigBuilder& num_endpoints(uint8_t count);   // for the last interface added

    Bytes build() const;

private:
    struct Interface {
        size_t offset;
        uint8_t endpoints = 0;
        int forced = -1;
    };
    Bytes m_bytes;
    std::vector<Interface> m_interfaces;
    int m_totalLength = -1;
    int m_numInterfaces = -1;
};

// The amplifier's own set: one configuration, interface 0 alt 0 (vendor class) with bulk OUT
// 0x01 and bulk IN 0x81 of 512 bytes; strings 1 manufacturer, 2 product (UTF-8), 3 serial.
DescriptorSet amplifier_descriptors(uint16_t productId, const std::string& product, const std::string& serial);

}  // namespace sim
