// --help and --version for the panel programs, answered before Qt so that neither needs a display.
#include "platform/afx/entry.h"

#include "ampbench/version.h"

#include <cstdio>
#include <cstring>

namespace platform::afx {

namespace {

void PrintHelp(const std::string& program, const ProgramInfo& info)
{
    std::printf("Usage: %s [OPTIONS]\n\n", program.c_str());
    std::printf("%s\n\n", info.description);
    std::printf("Options:\n"
                "  -h,--help                   Print this help message and exit\n"
                "  --version                   Display program version information and exit\n"
                "  -platform NAME[:OPTIONS]    Qt's platform plugin: xcb, wayland, vnc or offscreen (Qt's\n"
                "                              other options are taken as well)\n"
                "\n"
                "Environment:\n"
                "  DISPLAY, WAYLAND_DISPLAY    The display to open. A display that is set but cannot be\n"
                "                              reached is refused. With neither set, the panel is served\n"
                "                              through VNC on 127.0.0.1 only, at the first free port from\n"
                "                              5900, and one line says which; connect any VNC viewer\n"
                "                              there (over ssh: ssh -L 5900:127.0.0.1:5900 bench-pc).\n"
                "  QT_QPA_PLATFORM             As -platform. vnc:port=N:size=WxH serves on that port.\n"
                "  AMP_BUS                     Device sources: libusb, ampsim, local (comma list; default\n"
                "                              libusb,ampsim).\n"
                "  AMP_USB_IDS                 Extra VID:PID pairs of real amplifiers not in the device\n"
                "                              table.\n"
                "  AMP_USB_IDS_FILE            A device table to use instead of the installed one\n"
                "                              (share/ampbench/amp-usb-ids).\n"
                "  AMP_RUNTIME_DIR             Where simulated amplifiers (ampsim) put their sockets\n"
                "                              (default $XDG_RUNTIME_DIR/ampbench).\n"
                "  AMP_DATA_DIR                A folder whose skins/ holds the skin file (default the\n"
                "                              installed share/ampbench).\n");
}

}  // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv, const std::string& program, const ProgramInfo& info)
{
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) break;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            PrintHelp(program, info);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", program.c_str(), AMPBENCH_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace platform::afx
