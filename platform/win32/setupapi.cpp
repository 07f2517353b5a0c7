// SetupDi* enumeration of the published device interfaces, with the checks Windows makes.
#include "platform/win32/handles.h"
#include "platform/win32/namespace_internal.h"

#include <cctype>
#include <cstring>

namespace {

using namespace platform::win32;

struct DeviceInfoSet final : detail::Object {
    static constexpr detail::Kind kKind = detail::Kind::device_info_set;
    DeviceInfoSet() : Object(kKind) {}
    std::vector<detail::InterfaceEntry> members;
};

constexpr DWORD kInterfaceActive = 0x00000001;  // SPINT_ACTIVE
// Every amplifier hangs off the USB setup class.
constexpr GUID kUsbSetupClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

bool starts_with_enumerator(const std::string& path, const char* enumerator)
{
    // Paths look like \\?\usb#...: the enumerator is the part before the first '#'.
    std::string prefix = std::string("\\\\?\\") + enumerator + "#";
    if (path.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND, DWORD flags)
{
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    // Only device interfaces are published here; a device setup class query finds an empty set.
    if (flags & DIGCF_DEVICEINTERFACE) {
        for (auto& entry : detail::interfaces()) {
            if (!(flags & DIGCF_ALLCLASSES) && entry.classGuid != *classGuid) continue;
            if (enumerator && *enumerator && !starts_with_enumerator(entry.path, enumerator)) continue;
            set->members.push_back(std::move(entry));
        }
    }
    return detail::insert_handle(std::move(set));
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                                 const GUID* interfaceClassGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA deviceInterfaceData)
{
    auto set = detail::find<DeviceInfoSet>(deviceInfoSet);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!deviceInterfaceData || !interfaceClassGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        (deviceInfoData && deviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    DWORD seen = 0;
    for (size_t i = 0; i < set->members.size(); ++i) {
        const auto& member = set->members[i];
        if (member.classGuid != *interfaceClassGuid) continue;
        if (deviceInfoData && deviceInfoData->DevInst != static_cast<DWORD>(member.id)) continue;
        if (seen++ != memberIndex) continue;
        deviceInterfaceData->InterfaceClassGuid = member.classGuid;
        deviceInterfaceData->Flags = kInterfaceActive;
        deviceInterfaceData->Reserved = i + 1;
        return TRUE;
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize, LPDWORD requiredSize,
                                      PSP_DEVINFO_DATA deviceInfoData)
{
    auto set = detail::find<DeviceInfoSet>(deviceInfoSet);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!deviceInterfaceData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (deviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        (detail && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) ||
        (deviceInfoData && deviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!detail && detailSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONG_PTR position = deviceInterfaceData->Reserved;
    if (position == 0 || position > set->members.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& member = set->members[position - 1];
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + member.path.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (!detail || detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, member.path.c_str(), member.path.size() + 1);
    if (deviceInfoData) {
        deviceInfoData->ClassGuid = kUsbSetupClass;
        deviceInfoData->DevInst = static_cast<DWORD>(member.id);
        deviceInfoData->Reserved = position;
    }
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet)
{
    if (!detail::remove_handle(deviceInfoSet, detail::Kind::device_info_set)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
