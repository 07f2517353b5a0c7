// Reading a template's property bag: values come as the template stored them, so a number may be
// an int or a double and a flag may be a bool or the text "True"/"False". Colours are stored as
// 0x00BBGGRR ints or by name ("clRed", "clYellow", ...).
#pragma once

#include "platform/com/com.h"

#include <QColor>

#include <optional>
#include <string>
#include <string_view>

namespace platform::instruments {

const com::Variant* FindProperty(const com::PropertyBag& bag, std::string_view name);
std::optional<std::string> BagString(const com::PropertyBag& bag, std::string_view name);
std::optional<double> BagDouble(const com::PropertyBag& bag, std::string_view name);
std::optional<int> BagInt(const com::PropertyBag& bag, std::string_view name);
std::optional<bool> BagBool(const com::PropertyBag& bag, std::string_view name);
std::optional<QColor> BagColor(const com::PropertyBag& bag, std::string_view name);

QColor ColorFromBgr(int64_t bgr);
// A colour from its stored name or number; nullopt for "default" or an unknown name.
std::optional<QColor> ParseColor(std::string_view text);

}  // namespace platform::instruments
