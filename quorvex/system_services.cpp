#include "quorvex/system_services.h"

#ifdef _WIN32

void StartSystemServices() {}
void StopSystemServices() {}

#else

#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"

void StartSystemServices()
{
    platform::bus::start_backends();
    platform::usbdriver::install();
}

void StopSystemServices()
{
    platform::bus::stop_backends();
}

#endif
