// The published interfaces, for CreateFileA and the SetupDi* enumeration.
#pragma once

#include "platform/win32/device_namespace.h"

#include <optional>
#include <vector>

namespace platform::win32::detail {

struct InterfaceEntry {
    InterfaceId id = 0;
    GUID classGuid{};
    std::string path;
};

// In enumeration order: rank, then publication.
std::vector<InterfaceEntry> interfaces();

struct Opener {
    InterfaceId id = 0;
    std::function<std::shared_ptr<DeviceFile>()> open;
};
// Device paths compare without regard to case; "\\.\" stands for "\\?\".
std::optional<Opener> find_interface(const std::string& path);

}  // namespace platform::win32::detail
