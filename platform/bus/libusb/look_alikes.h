// USB devices outside the device table that look like an amplifier: a vendor-specific interface
// with a bulk OUT endpoint 0x01 and a bulk IN endpoint 0x81. Found from the descriptors libusb
// already holds for every device (read by the system at plug-in); no device is opened, so a
// unit nobody may touch is still found, and nothing else on the bus is disturbed.
#pragma once

#include "platform/bus/libusb/device_table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::bus::libusb {

struct LookAlike {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string location;  // "1-4"
};

// Ordered by where they sit. Empty when libusb cannot start.
std::vector<LookAlike> find_look_alikes(const DeviceTable& table);

}  // namespace platform::bus::libusb
