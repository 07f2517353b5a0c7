#include "fake_device_file.h"

#include "platform/win32/windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform::win32;

namespace {

class SetupDi : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto open = [] { return std::shared_ptr<DeviceFile>(std::make_shared<test::FakeDeviceFile>()); };
        m_ids.push_back(publish_interface(test::kTestClass, "\\\\?\\usb#local-b", open, 2));
        m_ids.push_back(publish_interface(test::kTestClass, "\\\\?\\usb#hardware-a", open, 0));
        m_ids.push_back(publish_interface(test::kOtherClass, "\\\\?\\usb#other", open, 0));
        m_ids.push_back(publish_interface(test::kTestClass, "\\\\?\\usb#local-c", open, 2));
        m_set = SetupDiGetClassDevsA(&test::kTestClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        ASSERT_NE(m_set, INVALID_HANDLE_VALUE);
    }
    void TearDown() override
    {
        SetupDiDestroyDeviceInfoList(m_set);
        for (auto id : m_ids) withdraw_interface(id);
    }

    std::string path_of(DWORD index)
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(m_set, nullptr, &test::kTestClass, index, &data)) return "";
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(m_set, &data, nullptr, 0, &needed, nullptr);
        std::vector<char> bytes(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, needed, nullptr, nullptr)) return "";
        return detail->DevicePath;
    }

    std::vector<InterfaceId> m_ids;
    HDEVINFO m_set = INVALID_HANDLE_VALUE;
};

TEST_F(SetupDi, EnumeratesOneClassByRankThenPublicationAndEndsWithNoMoreItems)
{
    EXPECT_EQ(path_of(0), "\\\\?\\usb#hardware-a");
    EXPECT_EQ(path_of(1), "\\\\?\\usb#local-b");
    EXPECT_EQ(path_of(2), "\\\\?\\usb#local-c");
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(m_set, nullptr, &test::kTestClass, 3, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
}

TEST_F(SetupDi, TheSetIsASnapshot)
{
    InterfaceId late =
        publish_interface(test::kTestClass, "\\\\?\\usb#hardware-late", [] { return std::shared_ptr<DeviceFile>(); });
    withdraw_interface(m_ids[0]);
    EXPECT_EQ(path_of(1), "\\\\?\\usb#local-b");
    EXPECT_EQ(path_of(3), "");
    withdraw_interface(late);
}

TEST_F(SetupDi, SizeQueryReportsOffsetPlusPathPlusNul)
{
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(m_set, nullptr, &test::kTestClass, 0, &data));
    DWORD needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(m_set, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 4 + std::string("\\\\?\\usb#hardware-a").size() + 1);

    std::vector<char> bytes(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, needed - 1, &needed, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, needed, nullptr, &info));
    EXPECT_NE(info.DevInst, 0u);
}

TEST_F(SetupDi, CbSizeMustMatchTheStructureSizes)
{
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), 32u);
    EXPECT_EQ(sizeof(SP_DEVINFO_DATA), 32u);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 8u);

    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(m_set, nullptr, &test::kTestClass, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(m_set, nullptr, &test::kTestClass, 0, &data));

    std::vector<char> bytes(256);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
    detail->cbSize = 5;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, 256, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA info{};
    info.cbSize = 28;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, 256, nullptr, &info));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
}

TEST_F(SetupDi, BadSetsAndArgumentsAreRefused)
{
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_DEVICEINTERFACE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(INVALID_HANDLE_VALUE, nullptr, &test::kTestClass, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    HDEVINFO other = SetupDiGetClassDevsA(&test::kTestClass, "HID", nullptr, DIGCF_DEVICEINTERFACE);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(other, nullptr, &test::kTestClass, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(other));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(other));
}

}  // namespace
