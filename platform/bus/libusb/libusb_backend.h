// Real amplifiers: the bus backend over libusb. One libusb context and one event thread; every
// device of the device table that is plugged in, now or later, becomes one bus::Device in the
// registry, and leaves it when unplugged. Devices outside the table are never touched.
#pragma once

#include "platform/bus/libusb/device_table.h"

namespace platform::bus::libusb {

// Starts the backend with the installed table and $AMP_USB_IDS. False, with one line on stderr,
// when libusb cannot start (the programs then go on with the other backends). Idempotent.
bool start();
// The same with a given table (tests).
bool start(DeviceTable table);
// Detaches the backend's devices (pending transfers complete with no_device), joins the event
// thread and ends the context. Idempotent; start() may follow again.
void stop();
bool running();

}  // namespace platform::bus::libusb
