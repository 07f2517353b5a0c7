#include "platform/instruments/bag.h"

#include <cstdlib>

namespace platform::instruments {

namespace {

std::optional<double> NumberFromText(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty()) return std::nullopt;
    std::string copy(s);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return v;
}

}  // namespace

const com::Variant* FindProperty(const com::PropertyBag& bag, std::string_view name)
{
    // The last occurrence wins, as when a template sets a property twice.
    const com::Variant* found = nullptr;
    for (const auto& [key, value] : bag)
        if (key == name) found = &value;
    return found;
}

std::optional<std::string> BagString(const com::PropertyBag& bag, std::string_view name)
{
    const com::Variant* v = FindProperty(bag, name);
    if (!v) return std::nullopt;
    if (auto s = std::get_if<std::string>(v)) return *s;
    if (auto i = std::get_if<int32_t>(v)) return std::to_string(*i);
    return std::nullopt;
}

std::optional<double> BagDouble(const com::PropertyBag& bag, std::string_view name)
{
    const com::Variant* v = FindProperty(bag, name);
    if (!v) return std::nullopt;
    if (auto d = std::get_if<double>(v)) return *d;
    if (auto i = std::get_if<int32_t>(v)) return double(*i);
    if (auto s = std::get_if<std::string>(v)) return NumberFromText(*s);
    return std::nullopt;
}

std::optional<int> BagInt(const com::PropertyBag& bag, std::string_view name)
{
    const com::Variant* v = FindProperty(bag, name);
    if (!v) return std::nullopt;
    if (auto i = std::get_if<int32_t>(v)) return *i;
    if (auto b = std::get_if<bool>(v)) return *b ? 1 : 0;
    if (auto d = BagDouble(bag, name)) return int(*d);
    return std::nullopt;
}

std::optional<bool> BagBool(const com::PropertyBag& bag, std::string_view name)
{
    const com::Variant* v = FindProperty(bag, name);
    if (!v) return std::nullopt;
    if (auto b = std::get_if<bool>(v)) return *b;
    if (auto i = std::get_if<int32_t>(v)) return *i != 0;
    if (auto s = std::get_if<std::string>(v)) {
        if (*s == "True" || *s == "true" || *s == "1") return true;
        if (*s == "False" || *s == "false" || *s == "0") return false;
    }
    return std::nullopt;
}

QColor ColorFromBgr(int64_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

std::optional<QColor> ParseColor(std::string_view text)
{
    struct Named {
        std::string_view name;
        int bgr;
    };
    static constexpr Named names[] = {
        {"clBlack", 0x000000},  {"clMaroon", 0x000080},  {"clGreen", 0x008000}, {"clOlive", 0x008080},
        {"clNavy", 0x800000},   {"clPurple", 0x800080},  {"clTeal", 0x808000},  {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},     {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
        {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},  {"clWhite", 0xFFFFFF},
    };
    for (const auto& n : names)
        if (n.name == text) return ColorFromBgr(n.bgr);
    if (auto v = NumberFromText(text)) return ColorFromBgr(int64_t(*v));
    return std::nullopt;
}

std::optional<QColor> BagColor(const com::PropertyBag& bag, std::string_view name)
{
    const com::Variant* v = FindProperty(bag, name);
    if (!v) return std::nullopt;
    if (auto i = std::get_if<int32_t>(v)) return ColorFromBgr(uint32_t(*i));
    if (auto d = std::get_if<double>(v)) return ColorFromBgr(int64_t(*d));
    if (auto s = std::get_if<std::string>(v)) return ParseColor(*s);
    return std::nullopt;
}

}  // namespace platform::instruments
