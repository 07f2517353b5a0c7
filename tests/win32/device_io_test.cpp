#include "fake_device_file.h"

#include "platform/win32/windows.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform::win32;
using test::FakeDeviceFile;

namespace {

class DeviceIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_id = publish_interface(test::kTestClass, "\\\\?\\usb#vid_1234&pid_0001#local-a#{test}",
                                 [this] { return std::static_pointer_cast<DeviceFile>(m_file); });
        m_handle = CreateFileA("\\\\?\\usb#vid_1234&pid_0001#local-a#{test}", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                               nullptr);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE);
        m_overlapped = {};
        m_overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        CloseHandle(m_overlapped.hEvent);
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        withdraw_interface(m_id);
    }

    std::shared_ptr<FakeDeviceFile> m_file = std::make_shared<FakeDeviceFile>();
    InterfaceId m_id = 0;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OVERLAPPED m_overlapped{};
    uint8_t m_buffer[16]{};
};

TEST_F(DeviceIo, ImmediateSuccessReturnsTrueAndKeepsAStaleLastError)
{
    SetLastError(ERROR_NO_MORE_ITEMS);
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 8, &bytes, &m_overlapped));
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 8u);
}

TEST_F(DeviceIo, ImmediateFailureReturnsFalseWithTheDriversError)
{
    DWORD bytes = 99;
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kFailAtOnce, m_buffer, 4, m_buffer, 4, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(DeviceIoControl(m_handle, 0x777, m_buffer, 4, m_buffer, 4, &bytes, &m_overlapped));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
}

TEST_F(DeviceIo, PendingRequestReportsIoPendingThenIncompleteUntilCompleted)
{
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, nullptr, &m_overlapped));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_INCOMPLETE);
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), (DWORD)WAIT_TIMEOUT);

    auto request = m_file->take_pending();
    ASSERT_TRUE(request);
    std::thread completer([&] { request->complete(ERROR_SUCCESS, 42); });
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, INFINITE), WAIT_OBJECT_0);
    completer.join();
    EXPECT_TRUE(request->completed());
    EXPECT_TRUE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 42u);

    // A second completion is ignored.
    request->complete(ERROR_GEN_FAILURE, 1);
    EXPECT_TRUE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 42u);
}

TEST_F(DeviceIo, GetOverlappedResultWithWaitBlocksUntilAFailedCompletion)
{
    DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, nullptr, &m_overlapped);
    auto request = m_file->take_pending();
    std::thread completer([&] { request->complete(ERROR_OPERATION_ABORTED, 7); });
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_EQ(bytes, 7u);
    completer.join();
}

TEST_F(DeviceIo, WithoutOverlappedTheCallWaitsForALaterCompletion)
{
    std::thread completer([&] {
        std::shared_ptr<IoRequest> request;
        while (!(request = m_file->take_pending())) std::this_thread::yield();
        request->complete(ERROR_SUCCESS, 3);
    });
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, &bytes, nullptr));
    EXPECT_EQ(bytes, 3u);
    completer.join();
}

TEST_F(DeviceIo, AWaiterServesThePendingRequestOnItsOwnThreadWhenTheDeviceLetsIt)
{
    m_file->servedBy = std::make_shared<test::FakeCompleter>(*m_file);
    m_file->servedBy->answerHere = true;
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, nullptr, &m_overlapped));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(m_file->servedBy->serves, 1);
    EXPECT_EQ(m_file->servedBy->answeredOn, std::this_thread::get_id());
    DWORD bytes = 0;
    EXPECT_TRUE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, 5u);

    // A request that completed at once leaves nothing to serve.
    EXPECT_TRUE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 8, &bytes, &m_overlapped));
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(m_file->servedBy->serves, 1);
}

TEST_F(DeviceIo, ACompletionFromAnotherThreadWakesAWaiterServingTheDevice)
{
    m_file->servedBy = std::make_shared<test::FakeCompleter>(*m_file);
    DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, nullptr, &m_overlapped);
    auto request = m_file->take_pending();
    ASSERT_TRUE(request);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        request->complete(ERROR_OPERATION_ABORTED, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 20000), WAIT_OBJECT_0);
    // Left asleep in the device, the waiter would sit out its whole limit.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    other.join();
    EXPECT_GE(m_file->servedBy->serves, 1);
    EXPECT_GE(m_file->servedBy->wakes, 1);
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
}

TEST_F(DeviceIo, CloseHandleClosesTheFileAndCompletesItsPendingRequests)
{
    DeviceIoControl(m_handle, test::kKeepPending, m_buffer, 4, m_buffer, 4, nullptr, &m_overlapped);
    EXPECT_TRUE(CloseHandle(m_handle));
    EXPECT_EQ(m_file->closes, 1);
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(m_handle, &m_overlapped, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 4, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    m_handle = INVALID_HANDLE_VALUE;
}

TEST_F(DeviceIo, InvalidArgumentsFailWithoutReachingTheDriver)
{
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kCompleteAtOnce, nullptr, 4, m_buffer, 4, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    // Windows would fault on a missing byte count; here it is only not written.
    EXPECT_TRUE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 4, nullptr, nullptr));
    OVERLAPPED bad{};
    bad.hEvent = reinterpret_cast<HANDLE>(0x7770);
    EXPECT_FALSE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 4, &bytes, &bad));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(DeviceIo, OpeningFollowsWindowsPathRules)
{
    HANDLE h = CreateFileA("\\\\.\\USB#VID_1234&PID_0001#LOCAL-A#{TEST}", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(CreateFileA("\\\\?\\usb#nothing", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    // Unplugged: no new opens, but the open handle still reaches the driver.
    withdraw_interface(m_id);
    EXPECT_EQ(
        CreateFileA("\\\\?\\usb#vid_1234&pid_0001#local-a#{test}", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(m_handle, test::kCompleteAtOnce, m_buffer, 4, m_buffer, 4, &bytes, nullptr));
}

TEST(DeviceOpen, ARefusingDriverSetsItsError)
{
    InterfaceId id = publish_interface(test::kTestClass, "\\\\?\\usb#busy", [] {
        SetLastError(ERROR_SHARING_VIOLATION);
        return std::shared_ptr<DeviceFile>();
    });
    EXPECT_EQ(CreateFileA("\\\\?\\usb#busy", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    withdraw_interface(id);
}

}  // namespace
