// Recording to EDF+.
//  1. In this process, as fast as the simulated amplifier can be read (a virtual clock paces it):
//     the CPU time one packet costs from the read to the file, and what that makes of a core at
//     64 and at 1024 packets a second.
//  2. The real programs: amprecord against ampsim at 256 and 4096 samples a second (64 and 1024
//     packets), ten seconds each; amprecord's and ampsim's CPU share over the run, from the
//     kernel's accounting of each process.
#include "acquisition/capture_engine.h"
#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "platform/win32/clock.h"
#include "recording/capture_recorder.h"
#include "sim/amplifier.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono;
namespace fs = std::filesystem;

double CpuSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void InProcess(const fs::path& dir)
{
    platform::usbdriver::install();
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped(clock);
    auto amp = std::make_shared<sim::Amplifier>(sim::AmplifierOptions{.rate = 4096});
    platform::bus::local::plug(amp);
    constexpr uint64_t kPackets = 40000;
    double cpu = 0, wall = 0;
    {
        CCaptureSession session;
        if (!session.Open() || !session.PowerOn()) {
            std::printf("in process: %s\n", session.LastError().c_str());
            return;
        }
        CEdfWriter writer;
        writer.Create((dir / "bench.edf").string());
        CCaptureRecorder recorder(writer, session.Identity(), {});
        CaptureSettings eeg;
        eeg.mode = 3;
        CaptureLimit limit;
        limit.packets = kPackets;
        CaptureResult result;
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        auto start = steady_clock::now();
        session.Capture(eeg, limit, recorder, result);
        std::string why;
        recorder.Finish(why);
        wall = duration<double>(steady_clock::now() - start).count();
        getrusage(RUSAGE_SELF, &after);
        // The simulator's own thread is in the process too: it makes every packet.
        cpu = CpuSeconds(after) - CpuSeconds(before);
    }
    platform::bus::detach(amp);
    const double perPacket = cpu / kPackets;
    std::printf("in process, as fast as the amplifier is read (%llu packets, %.2f s):\n", (unsigned long long)kPackets,
                wall);
    std::printf("  %.1f us of CPU a packet, simulator included (%.0f packets a second)\n", perPacket * 1e6,
                kPackets / wall);
    std::printf("  which makes %.2f %% of a core at 64 packets a second, %.2f %% at 1024\n", perPacket * 64 * 100,
                perPacket * 1024 * 100);
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& log)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void RealPrograms(const fs::path& dir, int rate, int seconds)
{
    const fs::path run = dir / ("run" + std::to_string(rate));
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    ::setenv("AMP_RUNTIME_DIR", run.c_str(), 1);
    ::setenv("AMP_BUS", "ampsim", 1);
    pid_t sim = Spawn({AMPSIM_PATH, "--rate", std::to_string(rate), "--name", "bench"}, dir / "ampsim.log");
    for (int i = 0; i < 250 && !fs::exists(run / "bench.sock"); ++i) std::this_thread::sleep_for(milliseconds(20));
    auto start = steady_clock::now();
    pid_t rec = Spawn({AMPRECORD_PATH, "--seconds", std::to_string(seconds), (dir / "live.edf").string()},
                      dir / "amprecord.log");
    int status = 0;
    rusage recorder{}, simulator{};
    wait4(rec, &status, 0, &recorder);
    const double wall = duration<double>(steady_clock::now() - start).count();
    ::kill(sim, SIGTERM);
    wait4(sim, &status, 0, &simulator);
    std::printf("  %4d packets a second: amprecord %5.2f %% of a core (%.2f s CPU in %.1f s), ampsim %5.2f %%\n",
                rate / 4, CpuSeconds(recorder) / wall * 100, CpuSeconds(recorder), wall,
                CpuSeconds(simulator) / wall * 100);
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/bench-recording-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    InProcess(dir);
    double load[3] = {};
    if (getloadavg(load, 3) > 0)
        std::printf("real programs (load average %.1f on %u cores):\n", load[0], std::thread::hardware_concurrency());
    RealPrograms(dir, 256, 10);
    RealPrograms(dir, 4096, 10);
    fs::remove_all(dir);
    return 0;
}
