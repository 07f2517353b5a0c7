// The ampcheck program apart from the amplifier: its command line, the order of its work, what
// it prints and writes, and its exit codes. main() gives it a way to open the amplifier.
#pragma once

#include "tools/ampcheck/plan.h"
#include "tools/ampcheck/source.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace ampcheck {

enum ExitCode : int {
    kExitPass = 0,       // every check passed
    kExitFail = 1,       // at least one check failed
    kExitCannotRun = 2,  // no amplifier, the wrong model, a bad option, a failed capture or report
};

struct Options {
    std::optional<Model> model;  // --model: refuse any other
    int mainsHz = 50;
    double maxImpedanceKohm = 10.0;
    std::string jsonPath;
    std::string htmlPath;
    std::string recordPath;  // --record FILE.edf: for the capture engine, every capture annotated
};

struct Parsed {
    std::optional<Options> options;  // empty: end at once with exitCode (help, version, bad option)
    int exitCode = kExitPass;
};

Parsed parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Opens the first amplifier, identifies it and powers it on (and starts the recording when
// options.recordPath is set). Returns nullptr with `error` set for the technician when there is
// none or it does not answer. Destroying the source stops the amplifier in order.
using OpenAmplifier =
    std::function<std::unique_ptr<CaptureSource>(const Options& options, Identity& identity, std::string& error)>;

// The whole program: parse, open, check the model, capture with progress, judge, print one line
// a check and the verdict, write the reports. Returns the exit code.
int program_main(int argc, const char* const* argv, const OpenAmplifier& open, std::ostream& out, std::ostream& err);

}  // namespace ampcheck
