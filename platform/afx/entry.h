// What the panel programs' entry does before and beside running the application: answers --help
// and --version without a display, and with no display serves the panel through Qt's VNC
// platform on the loopback address only.
#pragma once

#include "platform/afx/dialog_template.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::afx {

// What a panel program tells about itself before any window exists, as a Windows program's
// version resource does: the line its --help and manual page open with, and its main window's
// template (whose size is the size of the screen the panel gets without a display).
struct ProgramInfo {
    const char* description;
    const DialogTemplate& (*mainTemplate)();
};

// --help or --version anywhere before "--": prints the answer on stdout and gives the exit
// status. Nothing for any other command line, which goes on to Qt.
std::optional<int> AnswerCommandLine(int argc, char** argv, const std::string& program, const ProgramInfo& info);

// Qt's VNC server listens on every address, sends a new viewer its cursor before any picture,
// sends 32-bit pixels unconverted whatever layout the viewer asked for, and fails on a viewer
// that keeps the server's pixel format. The panel is therefore served by a relay of our own on
// 127.0.0.1 that hands each viewer to Qt's server (moved to the loopback address as well),
// fixes the pixel format at the start and leaves the cursor shape out; the screen is 16-bit,
// which Qt converts correctly for every viewer.
class VncService {
public:
    // Before QApplication. When neither DISPLAY nor WAYLAND_DISPLAY is set and no platform is
    // asked for, or when the VNC platform is asked for, picks Qt's VNC platform (rewriting the
    // platform option in argv if it came from there) and holds the port: the one asked for, or
    // the first free one from 5900. Null when the panel goes to a display; null with `problem`
    // set when no port can be had.
    static std::unique_ptr<VncService> Prepare(int argc, char** argv, const ProgramInfo& info, std::string& problem);
    ~VncService();

    // After QApplication: moves Qt's server to the loopback address, starts the relay and prints
    // where the panel is. False with `problem` set when Qt's server is not found.
    bool Start(std::string& problem);

    int port() const;

private:
    VncService();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform::afx

// Each panel program defines its own, beside its application object.
extern const platform::afx::ProgramInfo theProgramInfo;
