// The ampsim end of the ampsim backend: serves one device model on a socket in runtime_dir(),
// so that programs in other processes see it plugged in. Destroying the server unplugs it.
#pragma once

#include "platform/bus/device.h"

#include <memory>
#include <string>

namespace platform::bus {

class AmpsimServer {
public:
    // `name` becomes the socket's name and the device's location; it must be unique.
    AmpsimServer(std::shared_ptr<Device> device, std::string name);
    ~AmpsimServer();
    AmpsimServer(const AmpsimServer&) = delete;
    AmpsimServer& operator=(const AmpsimServer&) = delete;

    // Plugged in on construction. unplug() ends every connection and removes the socket;
    // plug() puts it back. Both are idempotent.
    bool plug();  // false (with a line on stderr) when the socket cannot be made
    void unplug();
    bool plugged() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform::bus
