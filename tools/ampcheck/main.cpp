// ampcheck: the acceptance test of the first amplifier, through the capture engine amprecord
// uses. The checks, their limits and the reports are ampcheck_core's; this opens the amplifier.
#include "acquisition/capture_stop.h"
#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "tools/ampcheck/engine_source.h"

#include <iostream>

int main(int argc, char** argv)
{
    // A signal stops the capture under way: the amplifier is stopped in order (11, then 2) and
    // the program ends with status 2 and one line.
    CStopSignals signals;
    // --help, --version and a bad option need no device: the backends start when one is opened.
    auto open = [](const ampcheck::Options& options, ampcheck::Identity& identity, std::string& error) {
        platform::bus::start_backends();
        platform::usbdriver::install();
        return ampcheck::open_amplifier(options, identity, error);
    };
    int status = ampcheck::program_main(argc, argv, open, std::cout, std::cerr);
    platform::bus::stop_backends();
    return status;
}
