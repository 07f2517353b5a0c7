// A fake USB bus for libusb, without hardware or root: a umockdev testbed whose usbfs handler
// hands every URB to a bus::Device model, so the libusb backend talks to the same simulated
// amplifier as the other backends. Create it before libusb starts; the process must run with
// libumockdev-preload loaded.
#pragma once

#include "platform/bus/device.h"

#include <memory>
#include <string>
#include <vector>

namespace libusb_test {

class UsbTestbed {
public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    // Plugs `model` in at bus 1, device number `devnum`, hub port `port` (location "1-<port>"),
    // with the sysfs record its own descriptors give. Returns the sysfs path.
    std::string plug(std::shared_ptr<platform::bus::Device> model, int devnum, int port);
    // Unplugs: the removal uevent, then every URB (pending or new) fails with ENODEV.
    void unplug(const std::string& syspath);

    // Claiming the interface fails with `error` (EBUSY: another program holds it); 0 again allows it.
    void set_claim_error(const std::string& syspath, int error);

    // usbfs requests seen for the device at `syspath`, in order, by name ("CLAIMINTERFACE",
    // "SUBMITURB bulk 0x01", ...); reaps are not listed.
    std::vector<std::string> requests(const std::string& syspath) const;
    size_t pending_urbs(const std::string& syspath) const;
    // How often a process opened the device's node.
    size_t opens(const std::string& syspath) const;

private:
    struct Fake;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace libusb_test
