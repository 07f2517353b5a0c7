// Which backends a program starts, and where ampsim sockets live.
#include "platform/bus/ampsim_client.h"
#include "platform/bus/bus.h"

// Hook for the hardware backend: CMake defines AMP_BUS_HAVE_LIBUSB once the platform_bus_libusb
// target exists, and its start() and stop() run here.
#ifdef AMP_BUS_HAVE_LIBUSB
#include "platform/bus/libusb/libusb_backend.h"
#endif

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>

namespace platform::bus {

namespace {

struct Started {
    std::mutex mutex;
    bool running = false;
    bool libusb = false;
    bool ampsim = false;
};

Started& started()
{
    static Started* s = new Started;
    return *s;
}

// Empty when the folder is there (made if need be), else why not.
std::string ensure_private_dir(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "cannot make the runtime folder " + path + ": " + (ec ? ec.message() : std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return "the runtime folder " + path + " is not a folder";
    if (st.st_uid == ::getuid() && (st.st_mode & 0777) != 0700) ::chmod(path.c_str(), 0700);
    return {};
}

}  // namespace

std::string runtime_dir(std::string* problem)
{
    std::string dir, trouble;
    if (const char* own = std::getenv("AMP_RUNTIME_DIR"); own && *own) {
        dir = own;
    } else if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
        dir = std::string(xdg) + "/ampbench";
    } else {
        dir = "/tmp/ampbench-" + std::to_string(::getuid());
        // Someone else's folder under a guessable /tmp name must not receive our sockets.
        struct stat st {};
        if (::lstat(dir.c_str(), &st) == 0 && (st.st_uid != ::getuid() || !S_ISDIR(st.st_mode)))
            trouble = dir + " is not a private folder of this user";
    }
    if (trouble.empty()) trouble = ensure_private_dir(dir);
    if (problem) *problem = trouble;
    else if (!trouble.empty()) std::cerr << "ampbench: " << trouble << "\n";
    return dir;
}

void start_backends()
{
    Started& s = started();
    std::lock_guard lock(s.mutex);
    if (s.running) return;
    s.running = true;
    bool libusb = true, ampsim = true;
    if (const char* list = std::getenv("AMP_BUS"); list && *list) {
        libusb = ampsim = false;
        std::stringstream in(list);
        std::string name;
        while (std::getline(in, name, ',')) {
            if (name == "libusb") libusb = true;
            else if (name == "ampsim") ampsim = true;
            else if (name != "local") std::cerr << "ampbench: unknown bus backend \"" << name << "\" in AMP_BUS\n";
        }
    }
#ifdef AMP_BUS_HAVE_LIBUSB
    if (libusb) {
        libusb::start();
        s.libusb = true;
    }
#else
    (void)libusb;
#endif
    if (ampsim) {
        ampsim::start_watcher();
        s.ampsim = true;
    }
}

void stop_backends()
{
    Started& s = started();
    std::lock_guard lock(s.mutex);
    if (!s.running) return;
    if (s.ampsim) ampsim::stop_watcher();
#ifdef AMP_BUS_HAVE_LIBUSB
    if (s.libusb) libusb::stop();
#endif
    s.running = s.libusb = s.ampsim = false;
}

}  // namespace platform::bus
