#include "driver_fixture.h"

#include <thread>

using namespace platform::usbdriver;
using namespace test;

namespace {

using DriverInterfaces = DriverFixture;

TEST_F(DriverInterfaces, PathCarriesIdsBackendAndLocationAndGoesAwayOnUnplug)
{
    EXPECT_EQ(m_path, "\\\\?\\usb#vid_1234&pid_5678#local-test-1#{d0cdeb7e-87c6-4f20-862b-219bbbed8c03}");
    platform::bus::detach(m_device);
    EXPECT_TRUE(interface_paths().empty());
    EXPECT_EQ(open_path(m_path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(DriverInterfaces, AmpsimDevicesAreEnumeratedBeforeLocalOnes)
{
    auto remote = std::make_shared<TestDevice>("quorvex-9", "ampsim");
    platform::bus::local::plug(remote);
    auto paths = interface_paths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(paths[0].find("#ampsim-quorvex-9#"), std::string::npos);
    EXPECT_EQ(paths[1], m_path);
    platform::bus::detach(remote);
}

TEST_F(DriverInterfaces, ASecondHandleIsRefusedAsBusyUntilTheFirstIsClosed)
{
    EXPECT_EQ(open_path(m_path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(m_handle);
    m_handle = open_path(m_path);
    EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
}

using DriverQueries = DriverFixture;

TEST_F(DriverQueries, InformationCodesAnswerWithTheirSizes)
{
    struct Case {
        DWORD code;
        DWORD size;
        uint32_t expected;
    };
    m_device->altSetting = 1;
    for (Case c : {Case{IOCTL_DRIVER_VERSION, 4, kDriverVersion}, Case{IOCTL_INFO_DWORD_19, 4, 2},
                   Case{IOCTL_ALT_SETTING, 1, 1}, Case{IOCTL_INFO_BYTE_4, 1, 1}, Case{IOCTL_INFO_DWORD_1, 4, 1}}) {
        uint32_t value = 0;
        DWORD bytes = 0;
        EXPECT_TRUE(io(c.code, &value, c.size, &bytes)) << std::hex << c.code;
        EXPECT_EQ(bytes, c.size);
        EXPECT_EQ(value, c.expected) << std::hex << c.code;
    }
    uint8_t block[256];
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_INFO_BLOCK_15, block, sizeof block, &bytes));
    EXPECT_EQ(bytes, 256u);
    EXPECT_FALSE(io(IOCTL_INFO_BLOCK_16, block, 255, &bytes));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(io(0x00220100, block, 4, &bytes));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
}

TEST_F(DriverQueries, ADeviceCanAskForAnOldDriverVersion)
{
    m_device->driverVersion = 0x01050400;
    uint32_t value = 0;
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_DRIVER_VERSION, &value, 4, &bytes));
    EXPECT_EQ(value, 0x01050400u);
}

using DriverControl = DriverFixture;

TEST_F(DriverControl, DescriptorRequestReturnsTheWholeRecord)
{
    Record r = Record::control(0x80, 6, 0x0100, 0, 18);
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_CONTROL_TRANSFER, r.data(), r.size(), &bytes));
    EXPECT_EQ(bytes, 38u + 18u);
    EXPECT_EQ(r.status1(), 0u);
    EXPECT_EQ(r.status2(), 0u);
    EXPECT_EQ(std::vector<uint8_t>(r.bytes.begin() + 38, r.bytes.end()), TestDevice::kDevice);
}

TEST_F(DriverControl, StalledRequestFailsWithStatusAndNoData)
{
    Record r = Record::control(0x80, 6, 0x0300, 0, 2);
    DWORD bytes = 0;
    EXPECT_FALSE(io(IOCTL_CONTROL_TRANSFER, r.data(), r.size(), &bytes));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    EXPECT_EQ(bytes, 38u);
    EXPECT_EQ(r.status1(), kStatusStall);
}

TEST_F(DriverControl, OutRequestHandsItsDataToTheDevice)
{
    Record r = Record::control(0x40, 1, 0, 0, 3);
    r.bytes[38] = 7, r.bytes[39] = 8, r.bytes[40] = 9;
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_CONTROL_TRANSFER, r.data(), r.size(), &bytes));
    EXPECT_EQ(bytes, 41u);
    EXPECT_EQ(m_device->vendorBytes, (std::vector<uint8_t>{7, 8, 9}));
}

using DriverTransfers = DriverFixture;

TEST_F(DriverTransfers, DirectOutThenInCompletesAtOnceWithDataBytes)
{
    uint8_t command[1] = {0x21};
    Record out = Record::direct(0x02);
    DWORD bytes = 0;
    SetLastError(ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(
        DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, out.data(), out.size(), command, 1, &bytes, &m_overlapped));
    EXPECT_EQ(bytes, 1u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);

    uint8_t reply[68]{};
    Record in = Record::direct(0x81);
    EXPECT_TRUE(DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, &bytes,
                                &m_overlapped));
    EXPECT_EQ(bytes, 1u);
    EXPECT_EQ(reply[0], 0x21);
    EXPECT_EQ(in.status1(), 0u);
}

TEST_F(DriverTransfers, BufferedTransferReportsDataOffsetPlusDataBytes)
{
    Record out = Record::buffered(0x02, 68);
    out.bytes[38] = 'c';
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_BUFFERED_TRANSFER, out.data(), out.size(), &bytes));
    EXPECT_EQ(bytes, 38u + 68u);
    Record in = Record::buffered(0x81, 68);
    EXPECT_TRUE(io(IOCTL_BUFFERED_TRANSFER, in.data(), in.size(), &bytes));
    EXPECT_EQ(bytes, 38u + 68u);
    EXPECT_EQ(in.bytes[38], 'c');
}

TEST_F(DriverTransfers, IsochronousPacketAreaIsZeroedAndDataMoved)
{
    Record r = Record::buffered(0x83, 1000, 2);
    std::fill(r.bytes.begin() + 38, r.bytes.begin() + 54, 0xEE);
    DWORD bytes = 0;
    EXPECT_TRUE(io(IOCTL_BUFFERED_TRANSFER, r.data(), r.size(), &bytes));
    EXPECT_EQ(bytes, 54u + 1000u);
    EXPECT_TRUE(std::all_of(r.bytes.begin() + 38, r.bytes.begin() + 54, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(r.bytes[54], 0x5A);
}

using DriverPending = DriverFixture;

TEST_F(DriverPending, AbortCompletesThePendingReadOnceBeforeReturning)
{
    uint8_t reply[68];
    Record in = Record::direct(0x81);
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr,
                                 &m_overlapped));
    ASSERT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    m_device->keepDespiteCancel = true;  // the driver must end it even so

    uint8_t ep = 0x81;
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(m_handle, IOCTL_ABORT_ENDPOINT, &ep, 1, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_EQ(in.status1(), kStatusCancelled);

    // The device's late answer changes nothing.
    in.put<uint32_t>(rec::kStatus1, 0);
    EXPECT_TRUE(m_device->answer(std::vector<uint8_t>(68, 1)));
    EXPECT_EQ(in.status1(), 0u);
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), (DWORD)WAIT_TIMEOUT);
}

TEST_F(DriverPending, AbortOfAnUnknownEndpointFails)
{
    uint8_t ep = 0x85;
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(m_handle, IOCTL_ABORT_ENDPOINT, &ep, 1, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(DriverPending, UnplugCompletesThePendingReadAtOnceWithNoDevice)
{
    uint8_t reply[68];
    Record in = Record::direct(0x81);
    DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr, &m_overlapped);
    m_device->request_detach();
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(in.status1(), kStatusNoDevice);
    EXPECT_EQ(m_device->waiting(), 0u);

    // The open handle stays usable, and says the device is gone.
    uint32_t version = 0;
    EXPECT_FALSE(io(IOCTL_DRIVER_VERSION, &version, 4, &bytes));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, &bytes,
                                 &m_overlapped));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(DriverPending, CloseHandleCancelsTheFilesPendingRequests)
{
    uint8_t reply[68];
    Record in = Record::direct(0x81);
    DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr, &m_overlapped);
    EXPECT_TRUE(CloseHandle(m_handle));
    m_handle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(in.status1(), kStatusCancelled);
    EXPECT_EQ(m_device->waiting(), 0u);
}

TEST_F(DriverPending, TwoThreadsTransferAtOnce)
{
    constexpr int kRounds = 200;
    m_device->loopback = false;
    std::thread reader([&] {
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        for (int i = 0; i < kRounds; ++i) {
            uint8_t reply[68];
            Record in = Record::direct(0x81);
            SetLastError(0);
            if (!DeviceIoControl(m_handle, IOCTL_DIRECT_TRANSFER, in.data(), in.size(), reply, sizeof reply, nullptr,
                                 &ov)) {
                ASSERT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
            }
            ASSERT_EQ(WaitForSingleObject(ov.hEvent, INFINITE), WAIT_OBJECT_0);
            DWORD bytes = 0;
            ASSERT_TRUE(GetOverlappedResult(m_handle, &ov, &bytes, FALSE));
            ASSERT_EQ(bytes, 68u);
        }
        CloseHandle(ov.hEvent);
    });
    std::thread answerer([&] {
        for (int i = 0; i < kRounds;)
            if (m_device->answer(std::vector<uint8_t>(68, 3))) ++i;
            else std::this_thread::yield();
    });
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            Record out = Record::buffered(0x02, 1);
            DWORD bytes = 0;
            ASSERT_TRUE(io(IOCTL_BUFFERED_TRANSFER, out.data(), out.size(), &bytes));
            ASSERT_EQ(bytes, 39u);
        }
    });
    reader.join();
    answerer.join();
    writer.join();
}

}  // namespace
