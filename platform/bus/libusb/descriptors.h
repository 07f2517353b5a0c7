// Standard descriptors rebuilt as the device sent them from what libusb caches, so that
// GET_DESCRIPTOR for the device and its configurations needs no bus traffic.
#pragma once

#include <cstdint>
#include <vector>

struct libusb_device_descriptor;
struct libusb_config_descriptor;

namespace platform::bus::libusb {

std::vector<uint8_t> device_descriptor_bytes(const libusb_device_descriptor& d);
// The whole block: configuration, then each interface setting with its endpoints, class
// descriptors where they stood; wTotalLength is the block's length.
std::vector<uint8_t> config_descriptor_bytes(const libusb_config_descriptor& c);

}  // namespace platform::bus::libusb
