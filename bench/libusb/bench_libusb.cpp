// What the libusb mapping costs per transfer: TransferData through the library and the driver
// on a device behind the libusb backend (a umockdev testbed standing in for the bus), beside
// the same device model on the local backend; and the backend's bare submit round trip.
#include "bench/common/ratio_reporter.h"
#include "bench/common/transfer_loop.h"
#include "bench/usb_transfer/loopback_device.h"
#include "platform/bus/bus.h"
#include "platform/bus/libusb/libusb_backend.h"
#include "platform/usbdriver/driver.h"
#include "tests/libusb/usb_testbed.h"
#include "usb/usb_device.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

using usbbench::LoopbackDevice;
namespace bus = platform::bus;

const uint32_t kDriverVersion = 0x01050700;

std::map<std::string, std::unique_ptr<CUsbDevice>> g_opened;

CUsbDevice* OpenAt(const std::string& location)
{
    auto& slot = g_opened[location];
    if (slot) return slot.get();
    auto usb = std::make_unique<CUsbDevice>(nullptr, platform::usbdriver::kInterfaceClass, false);
    const BYTE count = usb->DeviceCount();
    for (BYTE i = 0; i < count; ++i) {
        if (usb->Open(i) && std::string(usb->devicePath).find(location) != std::string::npos) {
            slot = std::move(usb);
            return slot.get();
        }
    }
    return nullptr;
}

void Transfer(benchmark::State& state, const std::string& location, bool in, size_t bytes)
{
    CUsbDevice* usb = OpenAt(location);
    if (!usb || !usb->bulkInEndPoint || !usb->bulkOutEndPoint) {
        state.SkipWithError("the device did not open");
        return;
    }
    CBulkEndPoint* endPoint = in ? usb->bulkInEndPoint : usb->bulkOutEndPoint;
    bench::TransferLoop(state, endPoint, bytes);
}

// submit() on the libusb bus::Device itself, waiting for its completion: the backend alone.
void Submit(benchmark::State& state, uint8_t endpoint, size_t bytes)
{
    std::shared_ptr<bus::Device> device;
    for (auto& d : bus::devices())
        if (d->backend() == "libusb") device = d;
    if (!device) {
        state.SkipWithError("no libusb device");
        return;
    }
    std::vector<uint8_t> buffer(bytes);
    std::mutex mutex;
    std::condition_variable cv;
    for (auto _ : state) {
        bool done = false;
        bus::Status status = bus::Status::error;
        device->submit(endpoint, buffer, [&](bus::Result r) {
            std::lock_guard lock(mutex);
            status = r.status;
            done = true;
            cv.notify_one();
        });
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done; });
        if (status != bus::Status::ok) {
            state.SkipWithError("submit failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Local_In68(benchmark::State& s)
{
    Transfer(s, "local-bench-local", true, 68);
}
void BM_Local_Out1(benchmark::State& s)
{
    Transfer(s, "local-bench-local", false, 1);
}
void BM_Libusb_In68(benchmark::State& s)
{
    Transfer(s, "libusb-1-4", true, 68);
}
void BM_Libusb_Out1(benchmark::State& s)
{
    Transfer(s, "libusb-1-4", false, 1);
}
void BM_LibusbSubmit_In68(benchmark::State& s)
{
    Submit(s, 0x81, 68);
}
void BM_LibusbSubmit_Out1(benchmark::State& s)
{
    Submit(s, 0x01, 1);
}

BENCHMARK(BM_Local_In68)->UseRealTime();
BENCHMARK(BM_Local_Out1)->UseRealTime();
BENCHMARK(BM_Libusb_In68)->UseRealTime();
BENCHMARK(BM_Libusb_Out1)->UseRealTime();
BENCHMARK(BM_LibusbSubmit_In68)->UseRealTime();
BENCHMARK(BM_LibusbSubmit_Out1)->UseRealTime();


}  // namespace

int main(int argc, char** argv)
{
    // libusb reaches the testbed only through umockdev's preload library, loaded at start.
    const char* old = std::getenv("LD_PRELOAD");
    if (!old || !std::strstr(old, "libumockdev-preload")) {
        std::string preload = "libumockdev-preload.so.0";
        if (old && *old) preload = std::string(old) + ":" + preload;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("bench_libusb: cannot restart under libumockdev-preload");
        return 1;
    }
    // The testbed comes before libusb starts and before any thread.
    auto testbed = std::make_unique<libusb_test::UsbTestbed>();
    testbed->plug(std::make_shared<LoopbackDevice>("bench-libusb", kDriverVersion), 2, 4);
    platform::bus::libusb::DeviceTable table;
    table.add({0x1209, 0xA404, "quorvex"});
    if (!platform::bus::libusb::start(table)) return 1;
    bus::local::plug(std::make_shared<LoopbackDevice>("bench-local", kDriverVersion));
    platform::usbdriver::install();

    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter(
        "ns per TransferData, libusb backend (umockdev testbed) against the local backend:",
        {{"BM_Libusb_In68/real_time", "BM_Local_In68/real_time"},
         {"BM_Libusb_Out1/real_time", "BM_Local_Out1/real_time"},
         {"BM_LibusbSubmit_In68/real_time", "BM_Local_In68/real_time"},
         {"BM_LibusbSubmit_Out1/real_time", "BM_Local_Out1/real_time"}},
        "local", "the libusb figures include umockdev's own ioctl round trips, which real usbfs does not have");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (auto& [location, usb] : g_opened) usb->Close();
    g_opened.clear();
    platform::bus::libusb::stop();
    testbed.reset();
    return 0;
}
