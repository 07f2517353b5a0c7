#include "usb/usb_device.h"

#include <cstddef>
#include <cstring>

namespace {

// An enumeration that never reports its end stops here: deviceCount has 8 bits.
const DWORD MAX_DEVICE_INDICES = 255;

const char* const CLOSE_NOTIFICATION_FAILED = "Failed to close the handle notification handle.";
const char* const CLOSE_HANDLE_FAILED = "Failed to close handle to driver.";

}  // namespace

CUsbDevice::CUsbDevice(HWND window, GUID guid, bool openNow)
{
    driverHandle = INVALID_HANDLE_VALUE;
    interfaceGuid = guid;
    interfaceNotification = nullptr;
    handleNotification = nullptr;
    deviceIndex = configIndex = interfaceNumber = settingIndex = 0;
    deviceCount = interfaceCount = settingCount = configCount = 0;
    languageId = 0;
    lastStatus2 = lastStatus1 = 0;
    driverVersion = infoDword1 = 0;
    infoByte4 = 0;
    infoFlag19 = false;
    bytesReturned = 0;
    usbVersion = vendorId = productId = deviceRelease = 0;
    deviceClass = deviceSubClass = deviceProtocol = maxPacketSize0 = 0;
    configValue = configAttributes = maxPower = 0;
    interfaceClass = interfaceSubClass = interfaceProtocol = 0;
    std::memset(deviceDescriptor, 0, sizeof(deviceDescriptor));
    std::memset(devicePath, 0, sizeof(devicePath));

    currentInterface = nullptr;
    controlEndPoint = nullptr;
    isocInEndPoint = isocOutEndPoint = nullptr;
    bulkInEndPoint = bulkOutEndPoint = nullptr;
    interruptInEndPoint = interruptOutEndPoint = nullptr;
    for (int i = 0; i < MAX_CONFIGURATIONS; ++i) {
        configurations[i] = nullptr;
        configDescriptors[i] = nullptr;
        configDescriptorLength[i] = 0;
    }
    notifyWindow = window;

    std::memset(manufacturerString, 0, sizeof(manufacturerString));
    std::memset(productString, 0, sizeof(productString));
    std::memset(serialNumberString, 0, sizeof(serialNumberString));
    std::memset(infoBlock15, 0, sizeof(infoBlock15));
    std::memset(infoBlock16, 0, sizeof(infoBlock16));

    if (window) RegisterInterfaceNotification(window);
    if (openNow) Open(deviceIndex);
}

CUsbDevice::~CUsbDevice()
{
    try {
        Close();
    } catch (const char* message) {
        // Give back what we can without raising from a destructor. A handle that would not close
        // is not ours any more: its value may since name something else, so it is left alone.
        if (message == CLOSE_NOTIFICATION_FAILED && driverHandle != INVALID_HANDLE_VALUE) CloseHandle(driverHandle);
        driverHandle = INVALID_HANDLE_VALUE;
        ReleaseDescriptors();
    }
    if (interfaceNotification) UnregisterDeviceNotification(interfaceNotification);
    interfaceNotification = nullptr;
}

BYTE CUsbDevice::DeviceCount()
{
    HDEVINFO set = SetupDiGetClassDevsA(&interfaceGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    deviceCount = 0;
    if (set == INVALID_HANDLE_VALUE) return 0;
    for (DWORD member = 0; member < MAX_DEVICE_INDICES; ++member) {
        SP_DEVICE_INTERFACE_DATA data;
        std::memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceGuid, member, &data)) {
            ++deviceCount;
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return deviceCount;
}

bool CUsbDevice::OpenDriverHandle(BYTE index)
{
    BYTE n = DeviceCount();
    if (n == 0 || index > n - 1) return false;

    HDEVINFO set = SetupDiGetClassDevsA(&interfaceGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        driverHandle = INVALID_HANDLE_VALUE;
        deviceIndex = 0;
        return false;
    }
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceGuid, index, &data)) {
        SetupDiDestroyDeviceInfoList(set);
        driverHandle = INVALID_HANDLE_VALUE;
        deviceIndex = 0;
        return false;
    }

    const DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    DWORD requiredSize = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &requiredSize, nullptr);
    // The path and its NUL must come after the header, and the path must fit devicePath.
    bool fits = requiredSize > pathOffset && requiredSize - pathOffset - 1 < DWORD(DEVICE_PATH_CHARS);
    BYTE* detailBuffer = fits ? new BYTE[requiredSize] : nullptr;
    bool described = false;
    if (detailBuffer) {
        std::memset(detailBuffer, 0, requiredSize);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBuffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof(info));
        info.cbSize = sizeof(SP_DEVINFO_DATA);
        DWORD answered = 0;
        described = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, requiredSize, &answered, &info) != FALSE;
        if (described) {
            DWORD pathLength = requiredSize - pathOffset - 1;
            std::memcpy(devicePath, detail->DevicePath, pathLength);
            devicePath[pathLength] = '\0';
        }
    }
    if (!described) {
        delete[] detailBuffer;
        SetupDiDestroyDeviceInfoList(set);
        driverHandle = INVALID_HANDLE_VALUE;
        deviceIndex = 0;
        return false;
    }

    HANDLE handle = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    delete[] detailBuffer;
    SetupDiDestroyDeviceInfoList(set);
    if (handle == INVALID_HANDLE_VALUE) return false;
    driverHandle = handle;
    return true;
}

bool CUsbDevice::Open(BYTE index)
{
    if (driverHandle != INVALID_HANDLE_VALUE) Close();
    if (!OpenDriverHandle(index)) {
        driverHandle = INVALID_HANDLE_VALUE;
        deviceIndex = 0;
        return false;
    }
    deviceIndex = index;

    ReadDeviceDescriptor();
    ReadLanguageId();
    ReadStringDescriptor(manufacturerString, deviceDescriptor[14]);
    ReadStringDescriptor(productString, deviceDescriptor[15]);
    ReadStringDescriptor(serialNumberString, deviceDescriptor[16]);
    QueryInfoByte4();
    QueryInfoBlock15();
    QueryInfoBlock16();
    QueryDriverVersion();
    QueryInfoDword1();
    QueryInfoFlag19();

    // Only two slots: further configurations are ignored.
    for (BYTE i = 0; i < configCount && i < MAX_CONFIGURATIONS; ++i) {
        ReadConfigDescriptor(i);
        if (configDescriptors[i])
            configurations[i] = new CUsbConfiguration(driverHandle, configDescriptors[i], configDescriptorLength[i]);
    }

    controlEndPoint = new CControlEndPoint(driverHandle, nullptr);
    controlEndPoint->descriptorLength = 7;
    controlEndPoint->descriptorType = 5;
    controlEndPoint->address = 0;
    controlEndPoint->attributes = 0;
    controlEndPoint->maxPacketSize = maxPacketSize0;
    controlEndPoint->interval = 0;

    if (!configurations[0] || !configurations[0]->settings[0]) return false;
    SetConfiguration(0);
    if (interfaceNotification) RegisterHandleNotification();
    return true;
}

void CUsbDevice::RegisterHandleNotification()
{
    DEV_BROADCAST_HANDLE filter;
    std::memset(&filter, 0, sizeof(filter));
    filter.dbch_size = sizeof(DEV_BROADCAST_HANDLE);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = driverHandle;
    handleNotification = RegisterDeviceNotificationA(notifyWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void CUsbDevice::Close()
{
    CloseDriverHandle();
    std::memset(deviceDescriptor, 0, sizeof(deviceDescriptor));
    ReleaseDescriptors();
    deviceCount = 0;
    configCount = 0;
    interfaceCount = 0;
    settingCount = 0;
}

void CUsbDevice::ReleaseDescriptors()
{
    for (int i = 0; i < MAX_CONFIGURATIONS; ++i) {
        delete configurations[i];
        configurations[i] = nullptr;
        delete[] configDescriptors[i];
        configDescriptors[i] = nullptr;
        configDescriptorLength[i] = 0;
    }
    // Interface settings only borrow the control endpoint, so it goes here, once.
    delete controlEndPoint;
    controlEndPoint = nullptr;
    currentInterface = nullptr;
    isocInEndPoint = isocOutEndPoint = nullptr;
    bulkInEndPoint = bulkOutEndPoint = nullptr;
    interruptInEndPoint = interruptOutEndPoint = nullptr;
}

void CUsbDevice::CloseDriverHandle()
{
    if (driverHandle == INVALID_HANDLE_VALUE) return;
    if (handleNotification && !UnregisterDeviceNotification(handleNotification)) throw CLOSE_NOTIFICATION_FAILED;
    if (!CloseHandle(driverHandle)) throw CLOSE_HANDLE_FAILED;
    driverHandle = INVALID_HANDLE_VALUE;
    handleNotification = nullptr;
}

bool CUsbDevice::IoControl(DWORD code, void* buffer, DWORD length)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return false;
    bytesReturned = 0;
    BOOL ok = DeviceIoControl(driverHandle, code, buffer, length, buffer, length, &bytesReturned, nullptr);
    return ok && bytesReturned == length;
}

bool CUsbDevice::RegisterInterfaceNotification(HWND window)
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    std::memset(&filter, 0, sizeof(filter));
    filter.dbcc_size = sizeof(DEV_BROADCAST_DEVICEINTERFACE_A);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = interfaceGuid;
    interfaceNotification = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return interfaceNotification != nullptr;
}
