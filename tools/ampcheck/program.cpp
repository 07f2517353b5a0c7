#include "tools/ampcheck/program.h"

#include "ampbench/version.h"
#include "tools/ampcheck/limits.h"
#include "tools/ampcheck/runner.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <unistd.h>

namespace ampcheck {

namespace {

const char* kDescription =
    "Acceptance test of the first amplifier found (either model): captures its calibration signal at several "
    "settings, EEG with and without the notch, and its electrode impedances, measures them and judges each "
    "measurement against a stated limit. The bench does not know the amplifier's absolute scale, so most checks "
    "compare channels with each other, ranges with each other, or the notch's output with its input.";

// The checks with their limits, for --help and so for the manual page, from the limits the
// checks are judged by. The reasons for each are in limits.h and docs/ampcheck.md.
std::string checks_text()
{
    using namespace limits;
    std::string text = "Checks and their limits:\n";
    auto row = [&](const char* name, const char* format, auto... values) {
        char line[256];
        int at = std::snprintf(line, sizeof line, "  %-22s ", name);
        std::snprintf(line + at, sizeof line - size_t(at), format, values...);
        text += line;
        text += "\n";
    };
    row("sample rate error", "within +/- %g %% of 256 samples/s, against the host's clock", kSampleRatePercent);
    row("short reads", "at most %g reads that brought less than a 68-byte packet", kShortReads);
    row("lost packets", "at most %g, told from the packets' arrival times", kLostPackets);
    row("longest gap", "at most %g s between two packets of a capture", kGapS);
    row("dead or stuck", "each live channel's calibration wave at least %g %% as tall as the others' median",
        kLiveSharePercent);
    row("gain matching", "the wave's height within +/- %g %% of the other live channels' median", kGainMatchPercent);
    row("calibration frequency", "within +/- %g %% of the frequency set, at 2, 10 and 20 Hz (Quorvex)",
        kCalibrationFrequencyPercent);
    row("test signal frequency", "within +/- %g %% of the other channels' (Pellion)", kCalibrationFrequencyPercent);
    row("amplitude linearity",
        "no step off the line through the six steps by more than %g %% of the 100 uV step "
        "(Quorvex)",
        kLinearityPercent);
    row("range ratio", "ranges 50 and 500 read the microvolts of range 100 within +/- %g %%", kRangeRatioPercent);
    row("mains pick-up", "at most %g uV of mains with the notch away from the mains frequency", kMainsUv);
    row("notch rejection", "the notch takes at least %g dB off the mains line", kNotchRejectionDb);
    row("noise ratio", "noise between %g and %g Hz at most %g x the other EEG inputs' median", kNoiseBandLowHz,
        kNoiseBandHighHz, kNoiseRatio);
    row("impedance", "each electrode at most --max-impedance kilohms (default %g)", kDefaultMaxImpedanceKohm);
    return text +
           "\nExit status:\n"
           "  0  every check passed\n"
           "  1  at least one check failed\n"
           "  2  it could not run: no amplifier, the wrong model, a bad option, a report that cannot be written, or "
           "the test stopped (a signal, an amplifier that went away)\n"
           "\nWhat each capture sets, how each value is measured and why each limit is what it is: ampcheck.md in "
           "the package's documents (docs/ampcheck.md in the source).";
}

// A report that cannot be written is found out before a minute of capturing, not after.
bool writable(const std::string& path, std::string& error)
{
    if (path.empty()) return true;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + " is a folder";
        return false;
    }
    if (!std::filesystem::is_directory(folder, ec) || ::access(folder.c_str(), W_OK) != 0) {
        error = "cannot write " + path + ": no folder " + folder.string() + " to write in";
        return false;
    }
    return true;
}

bool write_file(const std::string& path, const std::string& text, std::string& error)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::string now_text()
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return text;
}

}  // namespace

Parsed parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    Options options;
    options.maxImpedanceKohm = limits::kDefaultMaxImpedanceKohm;
    std::string model;
    CLI::App app{kDescription, "ampcheck"};
    app.footer(checks_text());
    app.set_version_flag("--version", std::string("ampcheck ") + AMPBENCH_VERSION);
    app.add_option("--model", model, "Insist on this model: quorvex or pellion")
        ->check(CLI::IsMember({"quorvex", "pellion"}, CLI::ignore_case));
    app.add_option("--mains", options.mainsHz, "Mains frequency where the test runs, 50 or 60 (default 50)")
        ->check(CLI::IsMember({50, 60}));
    app.add_option("--max-impedance", options.maxImpedanceKohm,
                   "Highest electrode impedance that passes, in kilohms (default 10)")
        ->check(CLI::PositiveNumber)
        ->type_name("KOHM");
    app.add_option("--json", options.jsonPath, "Write the report as JSON to FILE")->type_name("FILE");
    app.add_option("--html", options.htmlPath, "Write the report as a self-contained web page to FILE")
        ->type_name("FILE");
    app.add_option("--record", options.recordPath, "Record every capture to FILE.edf (EDF+), one annotation a step")
        ->type_name("FILE.edf");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e, out, err);
        return Parsed{std::nullopt, code == 0 ? kExitPass : kExitCannotRun};
    }
    if (!model.empty()) options.model = (model[0] == 'q' || model[0] == 'Q') ? Model::quorvex : Model::pellion;
    return Parsed{options, kExitPass};
}

int program_main(int argc, const char* const* argv, const OpenAmplifier& open, std::ostream& out, std::ostream& err)
{
    Parsed parsed = parse_command_line(argc, argv, out, err);
    if (!parsed.options) return parsed.exitCode;
    const Options& options = *parsed.options;

    std::string error;
    for (const std::string* path : {&options.jsonPath, &options.htmlPath, &options.recordPath}) {
        if (!writable(*path, error)) {
            err << "ampcheck: " << error << "\n";
            return kExitCannotRun;
        }
    }

    Identity identity;
    std::unique_ptr<CaptureSource> source = open(options, identity, error);
    if (!source) {
        err << "ampcheck: " << (error.empty() ? "no amplifier found" : error) << "\n";
        return kExitCannotRun;
    }
    if (options.model && *options.model != identity.model) {
        err << "ampcheck: the amplifier is a " << model_name(identity.model) << ", not a " << model_name(*options.model)
            << "\n";
        return kExitCannotRun;
    }
    char line[256];
    if (identity.versionRead)
        std::snprintf(line, sizeof line, "%s \"%s\", serial %d, firmware %02d, USB driver %02d\n",
                      model_name(identity.model), identity.product.c_str(), identity.serial, identity.firmware,
                      identity.usbDriver);
    else
        std::snprintf(line, sizeof line, "%s \"%s\", no version reply\n", model_name(identity.model),
                      identity.product.c_str());
    out << line << std::flush;

    RunOptions run{options.mainsHz, options.maxImpedanceKohm};
    RunResult result = run_checks(identity, run, *source, [&](size_t index, size_t count, const Step& step) {
        std::snprintf(line, sizeof line, "[%2zu/%zu] %s (%.2f s)\n", index + 1, count, step.name.c_str(),
                      step.packets / 64.0);
        out << line << std::flush;
    });
    // The amplifier stops, and the recording is closed, before the reports are written.
    std::string finishError;
    const bool finished = source->finish(finishError);
    source.reset();
    if (!result.completed) {
        err << "ampcheck: stopped at " << result.error << "\n";
        return kExitCannotRun;
    }
    Report& report = result.report;
    report.version = AMPBENCH_VERSION;
    report.date = now_text();
    write_text(report, out);

    if ((!options.jsonPath.empty() && !write_file(options.jsonPath, to_json(report), error)) ||
        (!options.htmlPath.empty() && !write_file(options.htmlPath, to_html(report), error))) {
        err << "ampcheck: " << error << "\n";
        return kExitCannotRun;
    }
    if (!finished) {
        err << "ampcheck: " << finishError << "\n";
        return kExitCannotRun;
    }
    return report.pass() ? kExitPass : kExitFail;
}

}  // namespace ampcheck
