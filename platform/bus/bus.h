// Where USB devices come from. Backends attach and detach devices; the driver listens and
// publishes one device interface per attached device. The order of devices() is the order
// programs enumerate them in: real hardware first, then ampsim, then local.
#pragma once

#include "platform/bus/device.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::bus {

using ListenerId = uint64_t;
using Listener = std::function<void(const std::shared_ptr<Device>& device, bool attached)>;

// Process-wide registry of attached devices.
ListenerId subscribe(Listener listener);  // also called at once for every device attached now
void unsubscribe(ListenerId id);
void attach(std::shared_ptr<Device> device);
// Detaching completes every pending transfer of the device with Status::no_device.
void detach(const std::shared_ptr<Device>& device);
std::vector<std::shared_ptr<Device>> devices();

// Starts the backends a program uses, as AMP_BUS says ("libusb", "ampsim", "local"; unset: all
// but local). Idempotent; stop_backends() at exit joins their threads.
void start_backends();
void stop_backends();

// The folder where ampsim processes put their sockets: $AMP_RUNTIME_DIR, else
// $XDG_RUNTIME_DIR/ampbench, else a private /tmp/ampbench-<uid>. Created on demand (mode 0700).
// A folder that cannot be made or used is described in one line in *problem when given,
// otherwise on stderr.
std::string runtime_dir(std::string* problem = nullptr);

namespace local {
// Plugs a device model in, in this process (tests, benchmarks). Unplug with bus::detach.
void plug(std::shared_ptr<Device> device);
}  // namespace local

}  // namespace platform::bus
