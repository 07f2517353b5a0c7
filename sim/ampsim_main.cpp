// ampsim: plugs one simulated amplifier in for programs in other processes, until told to
// quit (stdin "quit", SIGTERM, SIGINT). Standard input takes commands; EOF leaves it running.
#include "ampbench/version.h"
#include "platform/bus/ampsim_server.h"
#include "platform/win32/clock.h"
#include "sim/amplifier.h"

#include <CLI/CLI.hpp>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

const char* kCommands =
    "Commands on standard input (one a line; end of input keeps ampsim running):\n"
    "  unplug                 unplug the amplifier (programs see it go)\n"
    "  plug                   plug it back in\n"
    "  impedance CH KOHM      electrode CH (0-4) now measures about KOHM kilohms\n"
    "  fault NAME on|off      NAME: no-answer, short, garbled, status, detach,\n"
    "                         wrong-product, old-driver\n"
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

void complain(const std::string& text) { std::cerr << "ampsim: " << text << std::endl; }

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
        if (!(in >> channel >> kohm) || (in >> extra))
            return complain("usage: impedance CH KOHM");
        if (!amp.set_impedance(channel, kohm))
            return complain("impedance: channel 0 to 4 and kilohms 0 or more");
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
    double rate = 256;
    app.add_option("--model", model, "quorvex or pellion")
        ->check(CLI::IsMember({"quorvex", "pellion"}))->capture_default_str();
    app.add_option("--product", product, "USB product string (default carries the model digit)");
    app.add_option("--log", logFile, "write the wire log to FILE as JSON lines");
    app.add_option("--serial", serial, "serial number")->check(CLI::Range(0, 65535))->capture_default_str();
    app.add_option("--firmware", firmware, "firmware version")->check(CLI::Range(0, 255))->capture_default_str();
    app.add_option("--usb-driver", usbDriver, "USB driver version in the version reply")
        ->check(CLI::Range(0, 255))->capture_default_str();
    app.add_option("--rate", rate, "samples per second per channel")
        ->check(CLI::PositiveNumber & CLI::Range(1.0, 100000.0))->capture_default_str();
    app.add_option("--mains", mains, "mains frequency in the EEG signal, 50 or 60")
        ->check(CLI::IsMember({50, 60}))->capture_default_str();
    app.add_option("--name", name, "socket name (default MODEL-SERIAL)");
    try {
        app.parse(argc, argv);
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
    options.backend = "ampsim";
    if (name.empty()) name = model + "-" + std::to_string(serial);
    options.location = name;

    std::ofstream log;
    std::mutex logMutex;
    if (!logFile.empty()) {
        log.open(logFile, std::ios::out | std::ios::trunc);
        if (!log) {
            complain("cannot write the log file " + logFile);
            return 1;
        }
    }

    // Signals are taken by one thread with sigwait, so every other thread runs undisturbed.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto amp = std::make_shared<sim::Amplifier>(options);
    amp->log().set_origin(platform::win32::clock().now());
    if (log.is_open())
        amp->log().set_sink([&](const sim::WireEntry& e) {
            std::lock_guard lock(logMutex);
            log << sim::WireLog::json_line(e) << '\n' << std::flush;
        });
    {
        platform::bus::AmpsimServer server(amp, name);
        if (!server.plugged()) return 1;  // the server said why

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
