#include "platform/bus/libusb/look_alikes.h"

#include "platform/bus/libusb/usb_device.h"

#include <libusb.h>

#include <algorithm>

namespace platform::bus::libusb {

namespace {

bool IsBulk(const libusb_endpoint_descriptor& e, uint8_t address)
{
    return e.bEndpointAddress == address && (e.bmAttributes & 0x03) == LIBUSB_TRANSFER_TYPE_BULK;
}

bool LooksLikeAnAmplifier(libusb_device* device, uint8_t configurations)
{
    for (uint8_t c = 0; c < configurations; ++c) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(device, c, &config) != 0) continue;
        bool found = false;
        for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
            const libusb_interface& interface = config->interface[i];
            for (int a = 0; a < interface.num_altsetting && !found; ++a) {
                const libusb_interface_descriptor& setting = interface.altsetting[a];
                if (setting.bInterfaceClass != LIBUSB_CLASS_VENDOR_SPEC) continue;
                const auto* first = setting.endpoint;
                const auto* last = setting.endpoint + setting.bNumEndpoints;
                found = std::any_of(first, last, [](auto& e) { return IsBulk(e, 0x01); }) &&
                        std::any_of(first, last, [](auto& e) { return IsBulk(e, 0x81); });
            }
        }
        libusb_free_config_descriptor(config);
        if (found) return true;
    }
    return false;
}

}  // namespace

std::vector<LookAlike> find_look_alikes(const DeviceTable& table)
{
    std::vector<LookAlike> found;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return found;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        if (table.contains(d.idVendor, d.idProduct)) continue;
        if (LooksLikeAnAmplifier(list[i], d.bNumConfigurations))
            found.push_back({d.idVendor, d.idProduct, location_of(list[i])});
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    libusb_exit(context);
    std::sort(found.begin(), found.end(),
              [](const LookAlike& a, const LookAlike& b) { return a.location < b.location; });
    return found;
}

}  // namespace platform::bus::libusb
