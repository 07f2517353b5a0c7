// ampsim: plugs one simulated amplifier in for programs in other processes, until told to
// quit (stdin "quit", SIGTERM, SIGINT). Standard input takes commands; EOF leaves it running.
#include "ampbench/version.h"
#include "platform/bus/ampsim_server.h"
#include "platform/bus/bus.h"
#include "platform/win32/clock.h"
#include "sim/amplifier.h"
#include "sim/descriptors.h"

#include <CLI/CLI.hpp>

#include <sched.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

const char* kCommands = "Commands on standard input (one a line; end of input keeps ampsim running):\n"
                        "  unplug                 unplug the amplifier (programs see it go)\n"
                        "  plug                   plug it back in\n"
                        "  impedance CH KOHM      electrode CH (0-4, Pellion 0-3) now measures about KOHM kilohms\n"
                        "  fault NAME on|off      NAME: no-answer, short, garbled, status, detach,\n"
                        "                         wrong-product, old-driver\n"
                        "  defect gain CH FACTOR  chart channel CH (1-8) reads FACTOR times what it should\n"
                        "  defect dead CH         CH carries nothing but its own noise\n"
                        "  defect noise CH UV     CH gets UV microvolts rms more white noise\n"
                        "  defect stuck CH [COUNT]  CH reads COUNT (default 32768) on every sample\n"
                        "  defect mains UV        UV microvolts more mains pick-up at every input\n"
                        "  defect rate PERCENT    the sample clock runs PERCENT % fast (negative: slow)\n"
                        "  defect stall MS        once a second the next packet comes MS ms late\n"
                        "  defect off             healthy again (docs/signals.md says what each does)\n"
                        "  quit                   unplug and exit (as SIGTERM and SIGINT do)\n";

std::mutex g_doneMutex;
std::condition_variable g_done;
bool g_quit = false;
// Held while a command runs, and by main from the moment it starts tearing down.
std::mutex g_commandMutex;
bool g_closing = false;

void quit()
{
    std::lock_guard lock(g_doneMutex);
    g_quit = true;
    g_done.notify_all();
}

void complain(const std::string& text)
{
    std::cerr << "ampsim: " << text << std::endl;
}

// CLI11's own range checks let "nan" through and describe a failure in several hundred
// characters; these take the whole text and say in one line what was wanted.
std::string range_text(double lo, double hi)
{
    std::ostringstream text;
    text << std::setprecision(12) << lo << " to " << hi;
    return text.str();
}

CLI::Validator whole_number(long long lo, long long hi)
{
    std::string wanted = "a whole number from " + range_text(double(lo), double(hi));
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            long long v = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
            bool ok = error == std::errc() && end == text.data() + text.size() && v >= lo && v <= hi;
            return ok ? std::string() : "'" + text + "' is not " + wanted;
        },
        "");
}

CLI::Validator real_number(double lo, double hi)
{
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double v = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
            bool ok = error == std::errc() && end == text.data() + text.size() && std::isfinite(v) && v >= lo &&
                      v <= hi;
            return ok ? std::string() : "'" + text + "' is not a number from " + range_text(lo, hi);
        },
        "");
}

void run_command(const std::string& line, sim::Amplifier& amp, platform::bus::AmpsimServer& server)
{
    std::istringstream in(line);
    std::string word, extra;
    if (!(in >> word)) return;
    if (word == "quit" || word == "unplug" || word == "plug") {
        if (in >> extra) return complain("'" + word + "' takes no arguments");
        if (word == "quit") quit();
        else if (word == "unplug") server.unplug();
        else {
            if (amp.detached()) amp.reattach();
            server.plug();
        }
    } else if (word == "impedance") {
        int channel, kohm;
        if (!(in >> channel >> kohm) || (in >> extra)) return complain("usage: impedance CH KOHM");
        if (!amp.set_impedance(channel, kohm))
            return complain(amp.model() == sim::Model::quorvex ? "impedance: channel 0 to 4 and kilohms 0 to 999"
                                                               : "impedance: channel 0 to 3 and kilohms 0 to 999");
    } else if (word == "defect") {
        std::string rest;
        std::getline(in, rest);
        if (std::string why = amp.defect(rest); !why.empty()) return complain(why);
    } else if (word == "fault") {
        std::string name, state;
        if (!(in >> name >> state) || (in >> extra) || (state != "on" && state != "off"))
            return complain("usage: fault NAME on|off");
        auto fault = sim::parse_fault(name);
        if (!fault) return complain("unknown fault '" + name + "'");
        amp.set_fault(*fault, state == "on");
    } else {
        complain("unknown command '" + word + "' (see --help)");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app("Plugs in a simulated amplifier that the bench programs can open.", "ampsim");
    app.set_version_flag("--version", std::string("ampsim ") + AMPBENCH_VERSION);
    app.footer(kCommands);
    std::string model = "quorvex", product, logFile, name;
    int serial = 1234, firmware = 23, usbDriver = 11, mains = 50;
    int64_t seed = -1;
    double rate = 256;
    app.add_option("--model", model, "quorvex or pellion")
        ->check(CLI::IsMember({"quorvex", "pellion"}))
        ->capture_default_str();
    app.add_option("--product", product, "USB product string, UTF-8 (default carries the model digit)");
    app.add_option("--log", logFile, "write the wire log to FILE as JSON lines");
    app.add_option("--serial", serial, "serial number")->check(whole_number(0, 65535))->capture_default_str();
    app.add_option("--firmware", firmware, "firmware version")->check(whole_number(0, 255))->capture_default_str();
    app.add_option("--usb-driver", usbDriver, "USB driver version in the version reply")
        ->check(whole_number(0, 255))
        ->capture_default_str();
    app.add_option("--rate", rate, "samples per second per channel")
        ->check(real_number(1, 100000))
        ->capture_default_str();
    app.add_option("--mains", mains, "mains frequency in the EEG signal, 50 or 60")
        ->check(CLI::Validator(
            [](std::string& text) { return text == "50" || text == "60" ? "" : "'" + text + "' is not 50 or 60"; }, ""))
        ->capture_default_str();
    app.add_option("--seed", seed, "seed of the signal's noise (default 0x5EED0000 + serial)")
        ->check(whole_number(0, 4294967295LL));
    app.add_option("--name", name, "socket name (default MODEL-SERIAL)");
    try {
        app.parse(argc, argv);
        if (auto wide = sim::utf16_from_utf8(product); !wide)
            throw CLI::ValidationError("--product", "not valid UTF-8");
        else if (wide->size() > 126)
            throw CLI::ValidationError("--product", "longer than the 126 UTF-16 units a string descriptor holds");
        if (name.find('/') != std::string::npos || name.starts_with('.'))
            throw CLI::ValidationError("--name", "a socket name has no '/' and does not start with '.'");
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        complain(e.what());
        return 2;
    }

    sim::AmplifierOptions options;
    options.model = model == "pellion" ? sim::Model::pellion : sim::Model::quorvex;
    if (!product.empty()) options.product = product;
    options.serial = uint16_t(serial);
    options.firmware = uint8_t(firmware);
    options.usbDriver = uint8_t(usbDriver);
    options.rate = rate;
    options.mainsHz = mains;
    if (seed >= 0) options.seed = uint32_t(seed);
    options.backend = "ampsim";
    if (name.empty()) name = model + "-" + std::to_string(serial);
    options.location = name;

    std::string problem;
    platform::bus::runtime_dir(&problem);
    if (!problem.empty()) {
        complain(problem);
        return 2;
    }
    std::ofstream log;
    std::mutex logMutex;
    if (!logFile.empty()) {
        log.open(logFile, std::ios::out | std::ios::trunc);
        if (!log) {
            complain("cannot write the log file " + logFile + ": " + std::strerror(errno));
            return 2;
        }
    }

    // A real amplifier takes no processor time from the program it serves. Ours runs as a batch
    // task, which the scheduler never lets preempt a program it wakes (each answer and each
    // request would otherwise switch threads twice); its threads inherit this. A refusal changes
    // nothing but that.
    sched_param batch{};
    ::sched_setscheduler(0, SCHED_BATCH, &batch);

    // Signals are taken by one thread with sigwait, so every other thread runs undisturbed.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto amp = std::make_shared<sim::Amplifier>(options);
    amp->log().set_origin(platform::win32::clock().now());
    // Nothing here reads the log back: memory keeps a short tail, the file gets everything.
    amp->log().set_capacity(256);
    if (log.is_open())
        amp->log().set_sink([&](const sim::WireEntry& e) {
            std::lock_guard lock(logMutex);
            log << sim::WireLog::json_line(e) << '\n' << std::flush;
        });
    {
        platform::bus::AmpsimServer server(amp, name);
        if (!server.plugged()) return 2;  // the server said why

        std::thread([&signals] {
            int sig = 0;
            sigwait(&signals, &sig);
            quit();
        }).detach();
        std::thread([&] {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard lock(g_commandMutex);
                if (g_closing) return;
                run_command(line, *amp, server);
            }
        }).detach();

        {
            std::unique_lock lock(g_doneMutex);
            g_done.wait(lock, [] { return g_quit; });
        }
        std::lock_guard lock(g_commandMutex);
        g_closing = true;
    }
    amp->log().set_sink(nullptr);
    {
        std::lock_guard lock(logMutex);
        if (log.is_open()) log.close();
    }
    std::fflush(stdout);
    // The stdin and signal threads may still be blocked; leave without unwinding them.
    std::_Exit(0);
}
