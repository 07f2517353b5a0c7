// TransferData through the library and the driver, against the backend's own round trip
// (submit on the device directly) as the floor; then the same over an ampsim socket.
#include "bench/common/ratio_reporter.h"
#include "bench/common/transfer_loop.h"
#include "bench/usb_transfer/loopback_device.h"
#include "platform/bus/ampsim_server.h"
#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "usb/usb_device.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using usbbench::LoopbackDevice;

const uint32_t kNewDriver = 0x01050700;
const uint32_t kOldDriver = 0x01050400;

// One plugged device and one opened CUsbDevice per driver version, kept for the whole run.
struct Bench {
    std::shared_ptr<LoopbackDevice> device;
    std::unique_ptr<CUsbDevice> usb;
};

std::map<std::string, Bench>& benches()
{
    static std::map<std::string, Bench> b;
    return b;
}

// Opens the device whose path names `location` (enumeration order is not ours to assume).
std::unique_ptr<CUsbDevice> OpenAt(const std::string& location)
{
    auto usb = std::make_unique<CUsbDevice>(nullptr, platform::usbdriver::kInterfaceClass, false);
    BYTE count = usb->DeviceCount();
    for (BYTE i = 0; i < count; ++i) {
        if (usb->Open(i) && std::string(usb->devicePath).find(location) != std::string::npos) return usb;
    }
    return nullptr;
}

Bench& LocalBench(uint32_t driverVersion)
{
    std::string location = "bench-" + std::to_string(driverVersion);
    auto& all = benches();
    auto it = all.find(location);
    if (it != all.end()) return it->second;
    Bench b;
    b.device = std::make_shared<LoopbackDevice>(location, driverVersion);
    platform::bus::local::plug(b.device);
    b.usb = OpenAt(location);
    return all.emplace(location, std::move(b)).first->second;
}

void Floor(benchmark::State& state, uint8_t endpoint, size_t bytes)
{
    Bench& b = LocalBench(kNewDriver);
    std::vector<uint8_t> buffer(bytes);
    for (auto _ : state) {
        // The loopback device completes inside submit().
        platform::bus::Result result{platform::bus::Status::error, 0};
        b.device->submit(endpoint, buffer, [&result](platform::bus::Result r) { result = r; });
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}

void Library(benchmark::State& state, uint32_t driverVersion, bool in, size_t bytes)
{
    Bench& b = LocalBench(driverVersion);
    if (!b.usb || !b.usb->bulkInEndPoint || !b.usb->bulkOutEndPoint) {
        state.SkipWithError("the loopback device did not open");
        return;
    }
    CBulkEndPoint* endPoint = in ? b.usb->bulkInEndPoint : b.usb->bulkOutEndPoint;
    bench::TransferLoop(state, endPoint, bytes);
}

void BM_Floor_In68(benchmark::State& s)
{
    Floor(s, 0x81, 68);
}
void BM_Floor_Out1(benchmark::State& s)
{
    Floor(s, 0x01, 1);
}
void BM_Direct_In68(benchmark::State& s)
{
    Library(s, kNewDriver, true, 68);
}
void BM_Direct_Out1(benchmark::State& s)
{
    Library(s, kNewDriver, false, 1);
}
void BM_Buffered_In68(benchmark::State& s)
{
    Library(s, kOldDriver, true, 68);
}
void BM_Buffered_Out1(benchmark::State& s)
{
    Library(s, kOldDriver, false, 1);
}

// The serving side of the ampsim figure, in this process; the program side reaches it through
// the ampsim backend's socket.
struct AmpsimRig {
    std::shared_ptr<LoopbackDevice> model = std::make_shared<LoopbackDevice>("bench-ampsim", kNewDriver);
    platform::bus::AmpsimServer server{model, "bench-ampsim"};
    std::unique_ptr<CUsbDevice> usb;
};
std::unique_ptr<AmpsimRig> g_ampsim;

void Ampsim(benchmark::State& state, bool in, size_t bytes)
{
    if (!g_ampsim) g_ampsim = std::make_unique<AmpsimRig>();
    std::unique_ptr<CUsbDevice>& usb = g_ampsim->usb;
    for (int tries = 0; !usb && tries < 200; ++tries) {
        usb = OpenAt("ampsim");
        if (!usb) usleep(10000);
    }
    if (!usb || !usb->bulkInEndPoint) {
        state.SkipWithError("the ampsim device did not appear");
        return;
    }
    CBulkEndPoint* endPoint = in ? usb->bulkInEndPoint : usb->bulkOutEndPoint;
    std::vector<BYTE> buffer(bytes);
    for (auto _ : state) {
        LONG length = LONG(bytes);
        if (!endPoint->TransferData(buffer.data(), length)) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Ampsim_In68(benchmark::State& s)
{
    Ampsim(s, true, 68);
}
void BM_Ampsim_Out1(benchmark::State& s)
{
    Ampsim(s, false, 1);
}

BENCHMARK(BM_Floor_In68);
BENCHMARK(BM_Floor_Out1);
BENCHMARK(BM_Direct_In68);
BENCHMARK(BM_Direct_Out1);
BENCHMARK(BM_Buffered_In68);
BENCHMARK(BM_Buffered_Out1);
BENCHMARK(BM_Ampsim_In68)->UseRealTime();
BENCHMARK(BM_Ampsim_Out1)->UseRealTime();


}  // namespace

int main(int argc, char** argv)
{
    // A private socket folder, so that no other ampsim on this machine joins the run.
    char folder[] = "/tmp/bench-usb-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("AMP_RUNTIME_DIR", folder, 1);
    setenv("AMP_BUS", "ampsim,local", 1);
    platform::bus::start_backends();
    platform::usbdriver::install();

    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter("ns per transfer, and ratio to the backend's own round trip:",
                                  {{"BM_Direct_In68", "BM_Floor_In68"},
                                   {"BM_Buffered_In68", "BM_Floor_In68"},
                                   {"BM_Direct_Out1", "BM_Floor_Out1"},
                                   {"BM_Buffered_Out1", "BM_Floor_Out1"},
                                   {"BM_Ampsim_In68/real_time", "BM_Floor_In68"},
                                   {"BM_Ampsim_Out1/real_time", "BM_Floor_Out1"}},
                                  "floor",
                                  "goal: library plus driver under 12500 ns per transfer on the local backend");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    benches().clear();
    g_ampsim.reset();
    platform::bus::stop_backends();
    rmdir(folder);
    return 0;
}
