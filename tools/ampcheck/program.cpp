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
    "measurement against a stated limit.\n"
    "Exit status: 0 every check passed, 1 a check failed, 2 it could not run.";

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
    app.set_version_flag("--version", std::string("ampcheck ") + AMPBENCH_VERSION);
    app.add_option("--model", model, "Insist on this model: quorvex or pellion")
        ->check(CLI::IsMember({"quorvex", "pellion"}, CLI::ignore_case));
    app.add_option("--mains", options.mainsHz, "Mains frequency where the test runs, 50 or 60 (default 50)")
        ->check(CLI::IsMember({50, 60}));
    app.add_option("--max-impedance", options.maxImpedanceKohm,
                   "Highest electrode impedance that passes, in kilohms (default 10)")
        ->check(CLI::PositiveNumber);
    app.add_option("--json", options.jsonPath, "Write the report as JSON to FILE");
    app.add_option("--html", options.htmlPath, "Write the report as a self-contained web page to FILE");
    app.add_option("--record", options.recordPath, "Record every capture to FILE.edf (EDF+), one annotation a step");
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
        err << "ampcheck: the amplifier is a " << model_name(identity.model) << ", not a "
            << model_name(*options.model) << "\n";
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
    source.reset();  // the amplifier stops before the reports are written
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
    return report.pass() ? kExitPass : kExitFail;
}

}  // namespace ampcheck
