// ampinfo: opens the first amplifier through the device-access library and prints what the
// library read from it. Exits non-zero with one line on stderr when no amplifier answers.
#include "amp/descriptor_text.h"
#include "ampbench/version.h"
#include "platform/bus/bus.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "platform/bus/libusb/look_alikes.h"
#include "platform/usbdriver/driver.h"
#include "usb/usb_device.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace {

const GUID kAmplifierInterface = {0xD0CDEB7E, 0x87C6, 0x4F20, {0x86, 0x2B, 0x21, 0x9B, 0xBB, 0xED, 0x8C, 0x03}};

const char* Kind(BYTE attributes)
{
    switch (attributes) {
    case 0: return "control";
    case 1: return "isochronous";
    case 2: return "bulk";
    case 3: return "interrupt";
    default: return "unknown";
    }
}

void PrintDevice(const CUsbDevice& device)
{
    std::printf("device %u: %s\n", unsigned(device.deviceIndex), device.devicePath);
    std::printf("  usb version      %x.%02x\n", device.usbVersion >> 8, device.usbVersion & 0xFF);
    std::printf("  vendor:product   %04x:%04x\n", device.vendorId, device.productId);
    std::printf("  device release   %x.%02x\n", device.deviceRelease >> 8, device.deviceRelease & 0xFF);
    std::printf("  class            %02x/%02x/%02x\n", device.deviceClass, device.deviceSubClass,
                device.deviceProtocol);
    std::printf("  max packet ep0   %u\n", unsigned(device.maxPacketSize0));
    std::printf("  configurations   %u\n", unsigned(device.configCount));
    std::printf("  language         0x%04x\n", device.languageId);
    std::printf("  manufacturer     \"%s\"\n", DescriptorText(device.manufacturerString, USB_STRING_UNITS).c_str());
    std::printf("  product          \"%s\"\n", DescriptorText(device.productString, USB_STRING_UNITS).c_str());
    std::printf("  serial number    \"%s\"\n", DescriptorText(device.serialNumberString, USB_STRING_UNITS).c_str());
    std::printf("  driver version   %u.%u.%u.%u (0x%08x)\n", unsigned(device.driverVersion >> 24),
                unsigned(device.driverVersion >> 16 & 0xFF), unsigned(device.driverVersion >> 8 & 0xFF),
                unsigned(device.driverVersion & 0xFF), unsigned(device.driverVersion));

    for (int c = 0; c < MAX_CONFIGURATIONS; ++c) {
        const CUsbConfiguration* configuration = device.configurations[c];
        if (!configuration) continue;
        std::printf("  configuration %d%s: value %u, attributes 0x%02x, max power %u mA, %u interfaces, %u bytes\n", c,
                    c == device.configIndex ? " (current)" : "", unsigned(configuration->configValue),
                    unsigned(configuration->attributes), unsigned(configuration->maxPower) * 2,
                    unsigned(configuration->numInterfaces), unsigned(configuration->totalLength));
        for (int s = 0; s < configuration->settingCount; ++s) {
            const CUsbInterfaceSetting* setting = configuration->settings[s];
            std::printf("    interface %u alt %u%s: class %02x/%02x/%02x, %u endpoints\n",
                        unsigned(setting->interfaceNumber), unsigned(setting->altSetting),
                        setting == device.currentInterface ? " (current)" : "", setting->interfaceClass,
                        setting->interfaceSubClass, setting->interfaceProtocol, unsigned(setting->numEndPoints));
            for (int e = 1; e < MAX_SETTING_END_POINTS; ++e) {
                const CUsbEndPoint* endPoint = setting->endPoints[e];
                if (!endPoint) continue;
                std::printf("      endpoint 0x%02x %s %s, %s, packet size %u\n", unsigned(endPoint->address),
                            Kind(endPoint->attributes), endPoint->isIn ? "IN" : "OUT",
                            endPoint->directMode ? "direct" : "buffered", unsigned(endPoint->maxPacketSize));
            }
        }
    }
}

// The driver's path names the backend and the ids: \\?\usb#vid_XXXX&pid_YYYY#<backend>-<location>#{class}.
std::string PathField(const std::string& path, int field)
{
    size_t start = 0;
    for (int i = 0; i < field; ++i) {
        start = path.find('#', start);
        if (start == std::string::npos) return {};
        ++start;
    }
    return path.substr(start, path.find('#', start) - start);
}

// USB devices outside the table that look like an amplifier, one line each with the table line
// that would make them one. Only where the programs use real hardware (AMP_BUS).
int ListLookAlikes()
{
    if (!platform::bus::libusb::running()) return 0;
    struct : std::streambuf {
    } discard;
    std::ostream quiet(&discard);  // the backend has reported the table's problems already
    const auto table = platform::bus::libusb::load_device_table(quiet);
    const std::string tablePath = platform::bus::libusb::device_table_path();
    const auto found = platform::bus::libusb::find_look_alikes(table);
    for (const auto& d : found)
        std::printf("-  libusb  %04x:%04x  not in the table: a vendor-specific interface with bulk OUT 0x01 and "
                    "IN 0x81 at %s; add the line \"%04x:%04x\" to %s\n",
                    d.vendor, d.product, d.location.c_str(), d.vendor, d.product, tablePath.c_str());
    return int(found.size());
}

// One line a device interface: index, backend, ids, product string, path. A device that does
// not open is still listed, with the reason. With `all`, then the look-alikes outside the table.
int ListDevices(bool all)
{
    auto device = std::make_unique<CUsbDevice>(nullptr, kAmplifierInterface, false);
    const BYTE count = device->DeviceCount();
    if (count == 0) {
        if (all) ListLookAlikes();
        std::fprintf(stderr, "ampinfo: no amplifier found\n");
        return 1;
    }
    for (BYTE i = 0; i < count; ++i) {
        const bool opened = device->Open(i) || device->driverHandle != INVALID_HANDLE_VALUE;
        const DWORD error = GetLastError();
        const std::string path = device->devicePath;
        const std::string where = PathField(path, 2);
        const std::string backend = where.substr(0, where.find('-'));
        if (opened) {
            std::printf("%u  %-7s %04x:%04x  \"%s\"  %s\n", unsigned(i), backend.c_str(), device->vendorId,
                        device->productId, DescriptorText(device->productString, USB_STRING_UNITS).c_str(),
                        path.c_str());
        } else {
            std::string ids = PathField(path, 1);  // vid_XXXX&pid_YYYY
            if (ids.size() == 17) ids = ids.substr(4, 4) + ":" + ids.substr(13, 4);
            const char* why = error == ERROR_ACCESS_DENIED          ? "cannot open: access denied or busy"
                              : error == ERROR_DEVICE_NOT_CONNECTED ? "cannot open: unplugged"
                                                                    : "cannot open";
            std::printf("%u  %-7s %s  (%s)  %s\n", unsigned(i), backend.c_str(), ids.c_str(), why, path.c_str());
        }
        try {
            device->Close();
        } catch (const char* message) {
            std::fprintf(stderr, "ampinfo: %s\n", message);
        }
    }
    if (all) ListLookAlikes();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Opens the first amplifier and prints what the device-access library read from it.", "ampinfo"};
    app.set_version_flag("--version", std::string("ampinfo ") + AMPBENCH_VERSION);
    bool list = false;
    bool all = false;
    auto* listOption =
        app.add_flag("--list", list, "List every amplifier interface with its backend, ids and product string");
    app.add_flag("--all", all,
                 "With --list, also list USB devices not in the device table that look like an amplifier "
                 "(a vendor-specific interface with bulk OUT 0x01 and IN 0x81), with the table line to add")
        ->needs(listOption);
    CLI11_PARSE(app, argc, argv);

    platform::bus::start_backends();
    platform::usbdriver::install();
    if (list) {
        const int listed = ListDevices(all);
        platform::bus::stop_backends();
        return listed;
    }

    int status = 0;
    {
        auto device = std::make_unique<CUsbDevice>(nullptr, kAmplifierInterface, false);
        if (!device->Open(0) && device->driverHandle == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "ampinfo: no amplifier found\n");
            status = 1;
        } else {
            PrintDevice(*device);
            if (!device->bulkInEndPoint || !device->bulkOutEndPoint) {
                std::fprintf(stderr, "ampinfo: the device has no bulk IN and OUT endpoints\n");
                status = 1;
            }
        }
        try {
            device->Close();
        } catch (const char* message) {
            std::fprintf(stderr, "ampinfo: %s\n", message);
            status = 1;
        }
    }
    platform::bus::stop_backends();
    return status;
}
