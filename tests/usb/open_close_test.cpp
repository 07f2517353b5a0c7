#include "tests/usb/fake_driver.h"
#include "platform/win32/notifications.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

using namespace usbtest;

// This test is linked with --wrap for CloseHandle: every call, the library's included, is counted
// by handle value on its way to the real one.
extern "C" BOOL __real__Z11CloseHandlePv(HANDLE handle);

namespace {

std::mutex g_closesMutex;
std::map<HANDLE, int> g_closes;

int CloseCalls(HANDLE handle)
{
    std::lock_guard lock(g_closesMutex);
    return g_closes[handle];
}

}  // namespace

extern "C" BOOL __wrap__Z11CloseHandlePv(HANDLE handle)
{
    {
        std::lock_guard lock(g_closesMutex);
        ++g_closes[handle];
    }
    return __real__Z11CloseHandlePv(handle);
}

namespace {

void ExpectClosedAndEmpty(const CUsbDevice& device)
{
    EXPECT_EQ(device.driverHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.deviceIndex, 0);
    EXPECT_EQ(device.bulkInEndPoint, nullptr);
    EXPECT_EQ(device.bulkOutEndPoint, nullptr);
    EXPECT_EQ(device.controlEndPoint, nullptr);
    EXPECT_EQ(device.currentInterface, nullptr);
}

}  // namespace

TEST(DeviceDiscovery, NoDeviceCountsZeroAndOpenFails)
{
    CUsbDevice device(nullptr, kTestInterface, true);
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_FALSE(device.Open(0));
    ExpectClosedAndEmpty(device);
}

TEST(DeviceDiscovery, IndexBeyondTheLastDeviceFails)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    CUsbDevice device(nullptr, kTestInterface, false);
    EXPECT_EQ(device.DeviceCount(), 1);
    EXPECT_FALSE(device.Open(1));
    ExpectClosedAndEmpty(device);
    EXPECT_EQ(driver.opens(), 0);
}

TEST(DeviceDiscovery, SecondIndexOpensTheSecondInterfaceInEnumerationOrder)
{
    FakeDriver first("\\\\?\\usb#first", 0);
    FakeDriver second("\\\\?\\usb#second", 1);
    PresentAmplifier(first.file(), u"first");
    PresentAmplifier(second.file(), u"second");
    CUsbDevice device(nullptr, kTestInterface, false);
    ASSERT_TRUE(device.Open(1));
    EXPECT_EQ(device.deviceIndex, 1);
    EXPECT_STREQ(device.devicePath, second.path().c_str());
    EXPECT_EQ(first.opens(), 0);
    EXPECT_EQ(second.opens(), 1);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(device.productString)), u"second");
}

class DevicePathLength : public ::testing::TestWithParam<size_t> {};

TEST_P(DevicePathLength, PathIsStoredExactlyOrTheOpenFails)
{
    std::string path = "\\\\?\\usb#";
    path += std::string(GetParam() - path.size(), 'x');
    FakeDriver driver(path);
    PresentAmplifier(driver.file());
    CUsbDevice device(nullptr, kTestInterface, false);
    if (GetParam() <= 255) {
        ASSERT_TRUE(device.Open(0));
        EXPECT_EQ(std::strlen(device.devicePath), GetParam());
        EXPECT_EQ(std::string(device.devicePath), path);
    } else {
        EXPECT_FALSE(device.Open(0));
        ExpectClosedAndEmpty(device);
        EXPECT_EQ(driver.opens(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, DevicePathLength, ::testing::Values(40, 254, 255, 256, 300));

TEST(DeviceLifecycle, OpenWhileOpenClosesFirstAndPointsIntoTheNewObjects)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    CUsbDevice device(nullptr, kTestInterface, true);
    ASSERT_NE(device.bulkInEndPoint, nullptr);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(driver.opens(), 2);
    EXPECT_EQ(driver.file().closes(), 1);
    ASSERT_NE(device.currentInterface, nullptr);
    EXPECT_EQ(device.currentInterface, device.configurations[0]->settings[0]);
    EXPECT_EQ(device.bulkInEndPoint, device.currentInterface->endPoints[2]);
    EXPECT_EQ(device.currentInterface->endPoints[0], device.controlEndPoint);
}

TEST(DeviceLifecycle, CloseTwiceReleasesOnceAndRaisesNothing)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    CUsbDevice device(nullptr, kTestInterface, true);
    device.Close();
    EXPECT_NO_THROW(device.Close());
    ExpectClosedAndEmpty(device);
    EXPECT_EQ(driver.file().closes(), 1);
    EXPECT_EQ(device.configurations[0], nullptr);
    EXPECT_EQ(device.configDescriptors[0], nullptr);
    // Strings stay until the next opening overwrites them.
    EXPECT_EQ(device.productString[5], u'4');
}

TEST(DeviceLifecycle, DestructorGivesTheHandleBack)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    auto device = std::make_unique<CUsbDevice>(nullptr, kTestInterface, true);
    ASSERT_NE(device->driverHandle, INVALID_HANDLE_VALUE);
    device.reset();
    EXPECT_EQ(driver.file().closes(), 1);
}

TEST(DeviceLifecycle, NoConfigurationFailsWithTheHandleOpen)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    driver.file().descriptors[0x0100] = DeviceDescriptor(0);
    CUsbDevice device(nullptr, kTestInterface, false);
    EXPECT_FALSE(device.Open(0));
    EXPECT_NE(device.driverHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.configurations[0], nullptr);
    EXPECT_EQ(device.bulkInEndPoint, nullptr);
    EXPECT_NE(device.controlEndPoint, nullptr);
    EXPECT_EQ(device.EndPointCount(), 0);
}

TEST(DeviceLifecycle, OnlyTheFirstTwoConfigurationsAreRead)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    driver.file().descriptors[0x0100] = DeviceDescriptor(3);
    driver.file().descriptors[0x0201] = driver.file().descriptors[0x0200];
    driver.file().descriptors[0x0202] = driver.file().descriptors[0x0200];
    CUsbDevice device(nullptr, kTestInterface, false);
    ASSERT_TRUE(device.Open(0));
    EXPECT_NE(device.configurations[1], nullptr);
    for (const Request& r : driver.file().requests(IOCTL_CONTROL_TRANSFER)) EXPECT_NE(Word(r.in, 2), 0x0202);
}

TEST(DeviceLifecycle, IoControlOnAClosedDeviceSendsNothing)
{
    FakeDriver driver;
    CUsbDevice device(nullptr, kTestInterface, false);
    DWORD value = 0;
    EXPECT_FALSE(device.IoControl(IOCTL_DRIVER_VERSION, &value, 4));
    device.QueryDriverVersion();
    EXPECT_EQ(device.driverVersion, 0u);
    EXPECT_EQ(device.QueryAltSetting(), 0xFF);
    EXPECT_TRUE(driver.file().requests().empty());
}

TEST(DeviceNotifications, WindowHearsOfInterfacesUntilTheDeviceIsDestroyed)
{
    HWND window = reinterpret_cast<HWND>(uintptr_t(0x5150));
    std::mutex mutex;
    std::vector<WPARAM> notices;
    platform::win32::set_window_message_poster([&](HWND to, UINT message, WPARAM wParam, LPARAM) {
        std::lock_guard lock(mutex);
        if (to == window && message == WM_DEVICECHANGE) notices.push_back(wParam);
    });
    auto device = std::make_unique<CUsbDevice>(window, kTestInterface, false);
    ASSERT_NE(device->interfaceNotification, nullptr);
    {
        FakeDriver driver;
        PresentAmplifier(driver.file());
        ASSERT_TRUE(device->Open(0));
        EXPECT_NE(device->handleNotification, nullptr);
        device->Close();
        EXPECT_EQ(device->handleNotification, nullptr);
        EXPECT_NE(device->interfaceNotification, nullptr);
    }
    device.reset();
    {
        FakeDriver later;
    }
    platform::win32::set_window_message_poster(nullptr);
    std::lock_guard lock(mutex);
    EXPECT_EQ(notices, (std::vector<WPARAM>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}));
}

TEST(DeviceLifecycle, RefusedHandlesRaiseTheirMessages)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    HWND window = reinterpret_cast<HWND>(uintptr_t(0x5151));
    CUsbDevice device(window, kTestInterface, true);
    ASSERT_NE(device.handleNotification, nullptr);

    // Someone ended the registration behind the device's back.
    UnregisterDeviceNotification(device.handleNotification);
    try {
        device.Close();
        ADD_FAILURE() << "Close raised nothing";
    } catch (const char* message) {
        EXPECT_STREQ(message, "Failed to close the handle notification handle.");
    }
    EXPECT_NE(device.driverHandle, INVALID_HANDLE_VALUE);

    device.handleNotification = nullptr;
    CloseHandle(device.driverHandle);
    try {
        device.Close();
        ADD_FAILURE() << "Close raised nothing";
    } catch (const char* message) {
        EXPECT_STREQ(message, "Failed to close handle to driver.");
    }
    device.driverHandle = INVALID_HANDLE_VALUE;
}

TEST(DeviceLifecycle, DestructorNeverClosesAHandleValueThatWouldNotCloseAgain)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    auto device = std::make_unique<CUsbDevice>(nullptr, kTestInterface, true);
    HANDLE handle = device->driverHandle;
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ASSERT_EQ(CloseCalls(handle), 0);
    ASSERT_TRUE(CloseHandle(handle));  // behind the device's back
    EXPECT_EQ(driver.file().closes(), 1);
    // Its Close raises "Failed to close handle to driver." inside the destructor, which must let
    // that value be: the system may have given it to something else since.
    device.reset();
    EXPECT_EQ(CloseCalls(handle), 2);
    EXPECT_EQ(driver.file().closes(), 1);
}

TEST(DeviceLifecycle, DestructorStillClosesTheHandleWhenOnlyItsNotificationWouldNotEnd)
{
    FakeDriver driver;
    PresentAmplifier(driver.file());
    HWND window = reinterpret_cast<HWND>(uintptr_t(0x5152));
    auto device = std::make_unique<CUsbDevice>(window, kTestInterface, true);
    HANDLE handle = device->driverHandle;
    ASSERT_NE(device->handleNotification, nullptr);
    UnregisterDeviceNotification(device->handleNotification);  // behind the device's back
    device.reset();
    EXPECT_EQ(CloseCalls(handle), 1);
    EXPECT_EQ(driver.file().closes(), 1) << "the driver's handle is given back";
}
