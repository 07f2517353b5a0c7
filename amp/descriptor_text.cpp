#include "amp/descriptor_text.h"

#include <cstdint>

std::string DescriptorText(const WCHAR* units, int count)
{
    std::string text;
    for (int i = 0; i < count && units[i] != 0; ++i) {
        uint32_t u = uint16_t(units[i]);
        if (u >= 0xD800 && u < 0xE000) {
            const uint32_t low = i + 1 < count ? uint16_t(units[i + 1]) : 0;
            if (u < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                u = 0xFFFD;
            }
        }
        if (u < 0x80) {
            text += char(u);
        } else if (u < 0x800) {
            text += char(0xC0 | u >> 6);
            text += char(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            text += char(0xE0 | u >> 12);
            text += char(0x80 | (u >> 6 & 0x3F));
            text += char(0x80 | (u & 0x3F));
        } else {
            text += char(0xF0 | u >> 18);
            text += char(0x80 | (u >> 12 & 0x3F));
            text += char(0x80 | (u >> 6 & 0x3F));
            text += char(0x80 | (u & 0x3F));
        }
    }
    return text;
}
