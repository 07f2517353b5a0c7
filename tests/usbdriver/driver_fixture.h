// Plugs a TestDevice in, opens it through SetupDi and CreateFileA like the device library does,
// and builds request records.
#pragma once

#include "test_device.h"

#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "platform/win32/windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace test {

namespace rec = platform::usbdriver::record;

inline std::vector<std::string> interface_paths()
{
    std::vector<std::string> paths;
    HDEVINFO set = SetupDiGetClassDevsA(&platform::usbdriver::kInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &platform::usbdriver::kInterfaceClass, i, &data); ++i) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        std::vector<char> bytes(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

inline HANDLE open_path(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

struct Record {
    std::vector<uint8_t> bytes;

    explicit Record(size_t size) : bytes(size) {}
    template <class T>
    void put(size_t at, T v)
    {
        std::memcpy(bytes.data() + at, &v, sizeof v);
    }
    uint32_t u32(size_t at) const
    {
        uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    }
    uint32_t status1() const { return u32(rec::kStatus1); }
    uint32_t status2() const { return u32(rec::kStatus2); }
    uint8_t* data() { return bytes.data(); }
    DWORD size() const { return static_cast<DWORD>(bytes.size()); }

    static Record control(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint16_t length)
    {
        Record r(rec::kHeaderSize + length);
        r.bytes[0] = type;
        r.bytes[1] = request;
        r.put<uint16_t>(2, value);
        r.put<uint16_t>(4, index);
        r.put<uint16_t>(6, length);
        r.put<uint32_t>(rec::kTimeoutSeconds, 5);
        r.put<uint32_t>(rec::kDataOffset, rec::kHeaderSize);
        r.put<uint32_t>(rec::kDataLength, length);
        return r;
    }
    static Record buffered(uint8_t endpoint, uint32_t length, uint32_t packets = 0)
    {
        uint32_t info = 8 * packets;
        Record r(rec::kHeaderSize + info + length);
        r.bytes[rec::kEndPointAddress] = endpoint;
        if (packets) {
            r.put<uint32_t>(rec::kPacketInfoOffset, rec::kHeaderSize);
            r.put<uint32_t>(rec::kPacketInfoLength, info);
        }
        r.put<uint32_t>(rec::kDataOffset, rec::kHeaderSize + info);
        r.put<uint32_t>(rec::kDataLength, length);
        return r;
    }
    static Record direct(uint8_t endpoint, uint32_t packets = 0)
    {
        uint32_t info = 8 * packets;
        Record r(rec::kHeaderSize + info);
        r.bytes[rec::kEndPointAddress] = endpoint;
        if (packets) {
            r.put<uint32_t>(rec::kPacketInfoOffset, rec::kHeaderSize);
            r.put<uint32_t>(rec::kPacketInfoLength, info);
        }
        return r;
    }
};

class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::usbdriver::install();
        platform::bus::local::plug(m_device);
        auto paths = interface_paths();
        ASSERT_EQ(paths.size(), 1u);
        m_path = paths[0];
        m_handle = open_path(m_path);
        ASSERT_NE(m_handle, INVALID_HANDLE_VALUE);
        m_overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        CloseHandle(m_overlapped.hEvent);
        platform::bus::detach(m_device);
    }

    // A synchronous request with one buffer in and out, as the device library's IoControl makes it.
    bool io(DWORD code, void* buffer, DWORD size, DWORD* bytes)
    {
        return DeviceIoControl(m_handle, code, buffer, size, buffer, size, bytes, nullptr);
    }

    std::shared_ptr<TestDevice> m_device = std::make_shared<TestDevice>();
    std::string m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OVERLAPPED m_overlapped{};
};

}  // namespace test
