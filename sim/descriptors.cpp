#include "sim/descriptors.h"

#include <set>

namespace sim {

namespace {
void put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t(v >> 8));
}
}  // namespace

Bytes device_descriptor(const DeviceFields& f)
{
    Bytes b{18, 1};
    put16(b, f.usbVersion);
    b.push_back(f.deviceClass);
    b.push_back(f.deviceSubClass);
    b.push_back(f.deviceProtocol);
    b.push_back(f.maxPacketSize0);
    put16(b, f.vendorId);
    put16(b, f.productId);
    put16(b, f.deviceRelease);
    b.push_back(f.manufacturerIndex);
    b.push_back(f.productIndex);
    b.push_back(f.serialIndex);
    b.push_back(f.configCount);
    return b;
}

Bytes string_descriptor(std::u16string_view text)
{
    // bLength is one byte: longer texts are cut to the 126 units that fit.
    size_t units = std::min<size_t>(text.size(), 126);
    Bytes b{uint8_t(2 + 2 * units), 3};
    for (size_t i = 0; i < units; ++i) put16(b, text[i]);
    return b;
}

Bytes string_descriptor(std::string_view text)
{
    std::u16string wide;
    for (unsigned char c : text) wide.push_back(c);
    return string_descriptor(std::u16string_view(wide));
}

std::optional<std::u16string> utf16_from_utf8(std::string_view text)
{
    std::u16string wide;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = uint8_t(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = uint8_t(text[i + k]);
            if ((next >> 6) != 2) return std::nullopt;
            code = code << 6 | (next & 0x3F);
        }
        static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
        if (code < 0x10000) {
            wide.push_back(char16_t(code));
        } else {
            wide.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
            wide.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
        }
        i += length;
    }
    return wide;
}

Bytes text_descriptor(std::string_view utf8)
{
    if (auto wide = utf16_from_utf8(utf8)) return string_descriptor(std::u16string_view(*wide));
    return string_descriptor(utf8);
}

Bytes language_table(std::initializer_list<uint16_t> languages)
{
    Bytes b{uint8_t(2 + 2 * languages.size()), 3};
    for (uint16_t l : languages) put16(b, l);
    return b;
}

ConfigBuilder::ConfigBuilder(uint8_t value, uint8_t attributes, uint8_t maxPower, uint8_t stringIndex)
    : m_bytes{9, 2, 0, 0, 0, value, stringIndex, attributes, maxPower}
{
}

ConfigBuilder& ConfigBuilder::interface(uint8_t number, uint8_t alt, uint8_t cls, uint8_t subClass, uint8_t protocol,
                                        uint8_t stringIndex)
{
    m_interfaces.push_back({m_bytes.size()});
    m_bytes.insert(m_bytes.end(), {9, 4, number, alt, 0, cls, subClass, protocol, stringIndex});
    return *this;
}

ConfigBuilder& ConfigBuilder::endpoint(uint8_t address, uint8_t attributes, uint16_t maxPacket, uint8_t interval)
{
    m_bytes.insert(m_bytes.end(), {7, 5, address, attributes});
    put16(m_bytes, maxPacket);
    m_bytes.push_back(interval);
    if (!m_interfaces.empty()) ++m_interfaces.back().endpoints;
    return *this;
}

ConfigBuilder& ConfigBuilder::raw(Bytes bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

ConfigBuilder& ConfigBuilder::total_length(uint16_t length)
{
    m_totalLength = length;
    return *this;
}

ConfigBuilder& ConfigBuilder::num_interfaces(uint8_t count)
{
    m_numInterfaces = count;
    return *this;
}

ConfigBuilder& ConfigBuilder::num_endpoints(uint8_t count)
{
    if (!m_interfaces.empty()) m_interfaces.back().forced = count;
    return *this;
}

Bytes ConfigBuilder::build() const
{
    Bytes b = m_bytes;
    std::set<uint8_t> numbers;
    for (const Interface& i : m_interfaces) {
        b[i.offset + 4] = i.forced >= 0 ? uint8_t(i.forced) : i.endpoints;
        numbers.insert(b[i.offset + 2]);
    }
    uint16_t total = m_totalLength >= 0 ? uint16_t(m_totalLength) : uint16_t(b.size());
    b[2] = uint8_t(total & 0xFF);
    b[3] = uint8_t(total >> 8);
    b[4] = m_numInterfaces >= 0 ? uint8_t(m_numInterfaces) : uint8_t(numbers.size());
    return b;
}

DescriptorSet amplifier_descriptors(uint16_t productId, const std::string& product, const std::string& serial)
{
    DeviceFields fields;
    fields.productId = productId;
    DescriptorSet set;
    set.device = device_descriptor(fields);
    set.configurations.push_back(ConfigBuilder().interface(0, 0).endpoint(0x01, 2).endpoint(0x81, 2).build());
    set.strings[0] = language_table({0x0409});
    set.strings[1] = string_descriptor(std::string_view("Tavorin"));
    set.strings[2] = text_descriptor(product);
    set.strings[3] = string_descriptor(std::string_view(serial));
    return set;
}

}  // namespace sim
