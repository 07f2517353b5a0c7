// The skinning component: the automation object "PanelSkin.Skin3" that gives a panel program its
// instrument look. It takes four calls (17, 1 and 2 with one argument each, 18 with none), loads
// the named skin file when it finds it and otherwise falls back to a built-in dark panel look.
#pragma once

#include "platform/com/com.h"

#include <map>
#include <optional>
#include <string>

namespace platform::com {

inline constexpr CLSID CLSID_PanelSkin = MakeGuid("{7F2E5B10-93C4-4E61-A7D8-2C0B6E4F9A35}");
inline constexpr const char* kPanelSkinProgId = "PanelSkin.Skin3";

enum SkinDispid : DISPID {
    kSkinDispidEnable = 1,     // int: 0 leaves the look alone, anything else lets Apply skin
    kSkinDispidLoadFile = 2,   // string: the skin file's path
    kSkinDispidSetStyle = 17,  // int: style flags, kept for the file's defaults
    kSkinDispidApply = 18,     // none: applies the loaded (or built-in) look to the application
    kSkinDispidSource = 100,   // property get, string: the file in use, or "built-in"
};

// Registers the component's class under its CLSID and ProgID.
void RegisterSkin();

// Skin files are key=value lines (a line starting with '#' is a comment); colours as #rrggbb. Keys: window, panel,
// text, caption, button, button_text, highlight, group_frame, group_engrave, font_family,
// font_size (group box titles; empty, the built-in value, keeps the dialog's font). Unknown keys
// are ignored; missing keys take the built-in value.
using SkinValues = std::map<std::string, std::string>;
SkinValues BuiltInSkin();
std::optional<SkinValues> ReadSkinFile(const std::string& path);  // nullopt when unreadable

// Where a Windows skin path ("c:\Tavorin\Tavorin.skf", any case) lives here: the file of that
// name, compared without case, in $AMP_DATA_DIR/skins or else <exe dir>/../share/ampbench/skins.
// A path that exists as given is used as it is. Empty when nothing is found.
std::string ResolveSkinPath(const std::string& windowsPath);

// The style sheet Apply installs for `values`.
std::string SkinStyleSheet(const SkinValues& values);

}  // namespace platform::com
