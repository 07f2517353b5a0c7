// The whole path from DeviceIoControl to a device model in an ampsim, over the socket.
#include "tests/usbdriver/driver_fixture.h"

#include "platform/bus/ampsim_client.h"
#include "platform/bus/ampsim_server.h"

#include <filesystem>

using namespace platform;
using namespace test;

namespace {

TEST(AmpsimDriver, TransfersReachTheServedDevice)
{
    char pattern[] = "/tmp/ampsim-drv-XXXXXX";
    std::string dir = ::mkdtemp(pattern);
    ::setenv("AMP_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("AMP_BUS", "ampsim", 1);
    auto device = std::make_shared<TestDevice>();
    device->driverVersion = 0x01050400;
    auto server = std::make_unique<bus::AmpsimServer>(device, "quorvex-7");
    usbdriver::install();
    bus::start_backends();

    auto paths = interface_paths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], "\\\\?\\usb#vid_1234&pid_5678#ampsim-quorvex-7#{d0cdeb7e-87c6-4f20-862b-219bbbed8c03}");
    HANDLE h = open_path(paths[0]);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    uint32_t version = 0;
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(h, usbdriver::IOCTL_DRIVER_VERSION, &version, 4, &version, 4, &bytes, nullptr));
    EXPECT_EQ(version, 0x01050400u);

    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    uint8_t command[1] = {0x21};
    Record out = Record::direct(0x02);
    SetLastError(0);
    if (!DeviceIoControl(h, usbdriver::IOCTL_DIRECT_TRANSFER, out.data(), out.size(), command, 1, nullptr, &ov)) {
        ASSERT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    }
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(h, &ov, &bytes, FALSE));
    EXPECT_EQ(bytes, 1u);

    uint8_t reply[68]{};
    Record in = Record::direct(0x81);
    DeviceIoControl(h, usbdriver::IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr, &ov);
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(h, &ov, &bytes, FALSE));
    EXPECT_EQ(bytes, 1u);
    EXPECT_EQ(reply[0], 0x21);

    // Unplugging the ampsim while a read waits completes it with no device.
    DeviceIoControl(h, usbdriver::IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr, &ov);
    server.reset();
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);

    CloseHandle(ov.hEvent);
    CloseHandle(h);
    bus::stop_backends();
    EXPECT_TRUE(interface_paths().empty());
    std::filesystem::remove_all(dir);
}

}  // namespace
