#include "fake_device_file.h"

#include "platform/win32/notifications.h"
#include "platform/win32/windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform::win32;

namespace {

struct Posted {
    HWND window;
    UINT message;
    WPARAM event;
    DWORD type;
    std::string name;
    HANDLE handle;
};

class DeviceNotices : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_window_message_poster([this](HWND w, UINT m, WPARAM wp, LPARAM lp) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lp);
            Posted p{w, m, wp, header->dbch_devicetype, "", nullptr};
            if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
                p.name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lp)->dbcc_name;
            else p.handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(lp)->dbch_handle;
            posted.push_back(p);
        });
    }
    void TearDown() override { set_window_message_poster(nullptr); }

    HDEVNOTIFY register_class(const GUID& guid)
    {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = guid;
        return RegisterDeviceNotificationA(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }

    HWND m_window = reinterpret_cast<HWND>(0x5000);
    std::vector<Posted> posted;
};

TEST_F(DeviceNotices, ArrivalAndRemovalOfTheRegisteredClassArePosted)
{
    HDEVNOTIFY reg = register_class(test::kTestClass);
    ASSERT_NE(reg, nullptr);
    auto open = [] { return std::shared_ptr<DeviceFile>(std::make_shared<test::FakeDeviceFile>()); };
    InterfaceId other = publish_interface(test::kOtherClass, "\\\\?\\usb#other", open);
    InterfaceId id = publish_interface(test::kTestClass, "\\\\?\\usb#mine", open);
    withdraw_interface(id);
    withdraw_interface(other);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].window, m_window);
    EXPECT_EQ(posted[0].message, (UINT)WM_DEVICECHANGE);
    EXPECT_EQ(posted[0].event, (WPARAM)DBT_DEVICEARRIVAL);
    EXPECT_EQ(posted[0].name, "\\\\?\\usb#mine");
    EXPECT_EQ(posted[1].event, (WPARAM)DBT_DEVICEREMOVECOMPLETE);

    EXPECT_TRUE(UnregisterDeviceNotification(reg));
    EXPECT_FALSE(UnregisterDeviceNotification(reg));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    withdraw_interface(publish_interface(test::kTestClass, "\\\\?\\usb#mine", open));
    EXPECT_EQ(posted.size(), 2u);
}

TEST_F(DeviceNotices, AHandleRegistrationHearsItsDevicesRemoval)
{
    auto open = [] { return std::shared_ptr<DeviceFile>(std::make_shared<test::FakeDeviceFile>()); };
    InterfaceId id = publish_interface(test::kTestClass, "\\\\?\\usb#handled", open);
    HANDLE file = CreateFileA("\\\\?\\usb#handled", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    HDEVNOTIFY reg = RegisterDeviceNotificationA(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(reg, nullptr);
    withdraw_interface(id);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].type, (DWORD)DBT_DEVTYP_HANDLE);
    EXPECT_EQ(posted[0].event, (WPARAM)DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(posted[0].handle, file);
    UnregisterDeviceNotification(reg);
    CloseHandle(file);
}

TEST_F(DeviceNotices, MalformedFiltersAreRefused)
{
    DEV_BROADCAST_DEVICEINTERFACE_A small{};
    small.dbcc_size = sizeof small - 4;
    small.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    EXPECT_EQ(RegisterDeviceNotificationA(m_window, &small, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);

    DEV_BROADCAST_HANDLE handle{};
    handle.dbch_size = 44;
    handle.dbch_devicetype = DBT_DEVTYP_HANDLE;
    EXPECT_EQ(RegisterDeviceNotificationA(m_window, &handle, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    handle.dbch_size = sizeof handle;
    handle.dbch_handle = reinterpret_cast<HANDLE>(0x4440);
    EXPECT_EQ(RegisterDeviceNotificationA(m_window, &handle, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

    DEV_BROADCAST_HDR odd{sizeof(DEV_BROADCAST_HDR), 0x42, 0};
    EXPECT_EQ(RegisterDeviceNotificationA(m_window, &odd, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    EXPECT_EQ(RegisterDeviceNotificationA(nullptr, &odd, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(RegisterDeviceNotificationA(m_window, &odd, 0x1), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FLAGS);
}

}  // namespace
