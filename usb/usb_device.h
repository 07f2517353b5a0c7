// The amplifier's driver interface: found by its device interface class, opened for overlapped
// I/O, described through the driver (descriptors, configurations, interface settings, endpoints).
// Booleans and fields report outcomes; the only exception is the const char* message thrown by
// CloseDriverHandle (and so by Close) when the system refuses to give a handle back.
#pragma once

#include "platform/win32/windows.h"
#include "usb/configuration.h"
#include "usb/end_points.h"

const int MAX_CONFIGURATIONS = 2;
const int USB_STRING_UNITS = 256;
const int DEVICE_PATH_CHARS = 256;
const int DEVICE_DESCRIPTOR_SIZE = 18;
const int INFO_BLOCK_SIZE = 256;

class CUsbDevice {
public:
    CUsbDevice(HWND notifyWindow, GUID interfaceGuid, bool openNow);
    // Does what Close does and also ends interfaceNotification; never throws.
    ~CUsbDevice();
    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;

    // Discovery and opening
    BYTE DeviceCount();
    bool OpenDriverHandle(BYTE index);
    bool Open(BYTE index);
    void Close();
    void CloseDriverHandle();
    bool IoControl(DWORD code, void* buffer, DWORD length);
    bool RegisterInterfaceNotification(HWND window);

    // Descriptors and driver queries
    void ReadDeviceDescriptor();
    void ReadLanguageId();
    void ReadStringDescriptor(WCHAR* target, BYTE index);
    void ReadConfigDescriptor(BYTE index);
    void QueryDriverVersion();
    void QueryInfoDword1();
    void QueryInfoByte4();
    void QueryInfoBlock15();
    void QueryInfoBlock16();
    void QueryInfoFlag19();
    BYTE QueryAltSetting();

    // Selection
    void SetConfiguration(BYTE value);
    void SelectAltSetting(BYTE altSetting);
    void SelectEndPoints();
    BYTE EndPointCount();

    CUsbInterfaceSetting* currentInterface;
    CControlEndPoint* controlEndPoint;
    CIsocEndPoint* isocInEndPoint;
    CIsocEndPoint* isocOutEndPoint;
    CBulkEndPoint* bulkInEndPoint;
    CBulkEndPoint* bulkOutEndPoint;
    CInterruptEndPoint* interruptInEndPoint;
    CInterruptEndPoint* interruptOutEndPoint;
    WORD languageId;
    DWORD lastStatus2;
    DWORD lastStatus1;
    DWORD driverVersion;
    DWORD infoDword1;
    BYTE infoBlock15[INFO_BLOCK_SIZE];
    BYTE infoBlock16[INFO_BLOCK_SIZE];
    WCHAR manufacturerString[USB_STRING_UNITS];
    WCHAR productString[USB_STRING_UNITS];
    WCHAR serialNumberString[USB_STRING_UNITS];
    char devicePath[DEVICE_PATH_CHARS];
    WORD usbVersion;
    WORD vendorId;
    WORD productId;
    BYTE infoByte4;
    BYTE deviceClass;
    BYTE deviceSubClass;
    BYTE deviceProtocol;
    BYTE maxPacketSize0;
    WORD deviceRelease;
    BYTE configValue;
    BYTE configAttributes;
    BYTE maxPower;
    BYTE interfaceClass;
    BYTE interfaceSubClass;
    BYTE interfaceProtocol;
    bool infoFlag19;
    DWORD bytesReturned;
    BYTE deviceDescriptor[DEVICE_DESCRIPTOR_SIZE];
    BYTE* configDescriptors[MAX_CONFIGURATIONS];
    CUsbConfiguration* configurations[MAX_CONFIGURATIONS];
    HWND notifyWindow;
    HANDLE driverHandle;
    HDEVNOTIFY interfaceNotification;
    HDEVNOTIFY handleNotification;
    GUID interfaceGuid;
    BYTE deviceCount;
    BYTE interfaceCount;
    BYTE settingCount;
    BYTE configCount;
    BYTE deviceIndex;
    BYTE configIndex;
    BYTE interfaceNumber;
    BYTE settingIndex;
    // Bytes that arrived for each raw block in configDescriptors.
    WORD configDescriptorLength[MAX_CONFIGURATIONS];

private:
    // GET_DESCRIPTOR on endpoint 0: `length` bytes into `data` when the driver gave them all.
    bool RequestDescriptor(WORD value, WORD index, WORD length, BYTE* data);
    bool QueryDword(DWORD code, DWORD& value);
    void ReleaseDescriptors();
    void RegisterHandleNotification();
};
