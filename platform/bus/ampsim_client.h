// The program end of the ampsim backend: watches runtime_dir() for ampsim sockets, attaches a
// proxy device for each live one and detaches it when its socket closes. Stale sockets of dead
// ampsim processes are removed.
#pragma once

namespace platform::bus::ampsim {

void start_watcher();  // idempotent; scans once before returning
void stop_watcher();   // detaches every proxy and joins the threads
// Looks at the folder now instead of at the next notice (tests).
void scan_now();

}  // namespace platform::bus::ampsim
