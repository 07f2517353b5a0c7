// How the device namespace tells the notification registry about arrivals and removals.
#pragma once

#include "platform/win32/device_namespace.h"

#include <string>

namespace platform::win32::detail {

void notify_interface(const GUID& classGuid, const std::string& path, InterfaceId id, bool arrival);

}  // namespace platform::win32::detail
