// ampsim's memory while a host streams from it as fast as it paces: the resident size of the
// ampsim process once it has run a few seconds and again at the end, at the default rate and at
// 100000 samples per second, with and without --log (the log file goes to /dev/null). A bounded
// ampsim grows by nothing a second once its short wire-log tail is full.
#include "platform/bus/ampsim_client.h"
#include "platform/bus/bus.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono;
namespace bus = platform::bus;

// ampsim keeps the newest 256 wire-log entries: four seconds of reads at the default rate.
constexpr seconds kWarmUp(5);

long resident_kb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::shared_ptr<bus::Device> wait_for(const std::string& name)
{
    for (int i = 0; i < 500; ++i) {
        for (auto& d : bus::devices())
            if (d->backend() == "ampsim" && d->location() == name) return d;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return nullptr;
}

void send(bus::Device& d, uint8_t code)
{
    std::promise<void> done;
    d.submit(0x01, std::span<uint8_t>(&code, 1), [&](bus::Result) { done.set_value(); });
    done.get_future().wait();
}

// Keeps four reads in flight until `stop`; counts the full packets.
struct Reader {
    bus::Device& device;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> packets{0};
    std::atomic<int> inFlight{0};
    std::vector<std::array<uint8_t, 68>> buffers{4};

    void submit(size_t slot)
    {
        ++inFlight;
        device.submit(0x81, buffers[slot], [this, slot](bus::Result r) {
            if (r.bytes == 68) ++packets;
            bool again = !stop && r.status == bus::Status::ok;
            if (again) submit(slot);
            --inFlight;
        });
    }
};

void measure(const std::string& ampsim, const char* label, double rate, bool log, seconds length)
{
    std::string name = "membench-" + std::to_string(int(rate)) + (log ? "-log" : "");
    std::string rateText = std::to_string(rate);
    std::vector<std::string> args{ampsim, "--rate", rateText, "--name", name};
    if (log) args.insert(args.end(), {"--log", "/dev/null"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, ampsim.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        std::printf("%s: cannot start ampsim\n", label);
        return;
    }
    auto device = wait_for(name);
    if (!device) {
        std::printf("%s: ampsim did not plug in\n", label);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return;
    }
    send(*device, 1);
    send(*device, 10);
    Reader reader{*device};
    for (size_t slot = 0; slot < 4; ++slot) reader.submit(slot);
    std::this_thread::sleep_for(kWarmUp);
    long first = resident_kb(pid);
    uint64_t firstPackets = reader.packets;
    auto t0 = steady_clock::now();
    std::this_thread::sleep_for(length);
    long last = resident_kb(pid);
    double elapsed = duration<double>(steady_clock::now() - t0).count();
    uint64_t packets = reader.packets - firstPackets;
    reader.stop = true;
    device->cancel(0x81);
    while (reader.inFlight > 0) std::this_thread::sleep_for(milliseconds(1));
    send(*device, 11);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::printf("%-26s %6.0f packets/s  resident %6ld kB after %lld s, %6ld kB %lld s later: %+6.1f kB/s\n", label,
                double(packets) / elapsed, first, (long long)kWarmUp.count(), last, (long long)length.count(),
                double(last - first) / elapsed);
}

}  // namespace

// bench_ampsim_memory [AMPSIM]: another ampsim build may be measured the same way.
int main(int argc, char** argv)
{
    std::string ampsim = argc > 1 ? argv[1] : AMPSIM_PATH;
    char pattern[] = "/tmp/ampsim-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    ::setenv("AMP_RUNTIME_DIR", pattern, 1);
    ::setenv("AMP_BUS", "ampsim", 1);
    bus::start_backends();
    const seconds length(5);
    measure(ampsim, "default rate (256/s)", 256, false, length);
    measure(ampsim, "default rate, --log", 256, true, length);
    measure(ampsim, "--rate 100000", 100000, false, length);
    measure(ampsim, "--rate 100000, --log", 100000, true, length);
    bus::stop_backends();
    std::filesystem::remove_all(pattern);
    return 0;
}
