#include "usb/usb_device.h"

namespace {

// Drivers before this version cannot move data straight into the caller's buffer.
const DWORD FIRST_DIRECT_DRIVER = 0x01050500;
const int LAST_END_POINT_SLOT = MAX_SETTING_END_POINTS - 1;

}  // namespace

void CUsbDevice::SetConfiguration(BYTE value)
{
    BYTE index = 0;
    if (value != 0) {
        bool named = false;
        for (CUsbConfiguration* configuration : configurations)
            if (configuration && configuration->configString == value) named = true;
        if (!named || value >= MAX_CONFIGURATIONS) return;
        index = value;
    }
    CUsbConfiguration* configuration = configurations[index];
    if (!configuration) return;
    configIndex = index;

    configValue = configuration->configValue;
    configAttributes = configuration->attributes;
    maxPower = configuration->maxPower;
    interfaceCount = configuration->numInterfaces;
    settingCount = configuration->settingCount;
    interfaceNumber = configuration->settings[0] ? configuration->settings[0]->interfaceNumber : 0;

    SelectAltSetting(QueryAltSetting());

    if (settingIndex < configuration->settingCount) {
        CUsbInterfaceSetting* setting = configuration->settings[settingIndex];
        interfaceClass = setting->interfaceClass;
        interfaceSubClass = setting->interfaceSubClass;
        interfaceProtocol = setting->interfaceProtocol;
    }
}

void CUsbDevice::SelectAltSetting(BYTE altSetting)
{
    CUsbConfiguration* configuration = configurations[configIndex];
    if (!configuration || configuration->settingCount == 0) return;
    for (BYTE i = 0; i < configuration->settingCount; ++i) {
        CUsbInterfaceSetting* setting = configuration->settings[i];
        if (setting->altSetting != altSetting) continue;
        settingIndex = i;
        interfaceClass = setting->interfaceClass;
        interfaceSubClass = setting->interfaceSubClass;
        interfaceProtocol = setting->interfaceProtocol;
        SelectEndPoints();
        return;
    }
}

void CUsbDevice::SelectEndPoints()
{
    if (configCount == 0 || interfaceCount == 0) return;
    CUsbConfiguration* configuration = configurations[configIndex];
    if (!configuration || settingIndex >= configuration->settingCount) return;
    currentInterface = configuration->settings[settingIndex];
    currentInterface->endPoints[0] = controlEndPoint;

    isocInEndPoint = isocOutEndPoint = nullptr;
    bulkInEndPoint = bulkOutEndPoint = nullptr;
    interruptInEndPoint = interruptOutEndPoint = nullptr;

    int last = currentInterface->numEndPoints < LAST_END_POINT_SLOT ? currentInterface->numEndPoints
                                                                    : LAST_END_POINT_SLOT;
    for (int slot = 1; slot <= last; ++slot) {
        CUsbEndPoint* endPoint = currentInterface->endPoints[slot];
        if (!endPoint) continue;
        if (driverVersion < FIRST_DIRECT_DRIVER) endPoint->directMode = 0;
        bool in = (endPoint->address & 0x80) != 0;
        // The object's class follows the attributes byte, so these casts name what was built.
        switch (endPoint->attributes) {
        case 1: {
            CIsocEndPoint*& target = in ? isocInEndPoint : isocOutEndPoint;
            if (!target) target = static_cast<CIsocEndPoint*>(endPoint);
            break;
        }
        case 2: {
            CBulkEndPoint*& target = in ? bulkInEndPoint : bulkOutEndPoint;
            if (!target) target = static_cast<CBulkEndPoint*>(endPoint);
            break;
        }
        case 3: {
            CInterruptEndPoint*& target = in ? interruptInEndPoint : interruptOutEndPoint;
            if (!target) target = static_cast<CInterruptEndPoint*>(endPoint);
            break;
        }
        default: break;
        }
    }
}

BYTE CUsbDevice::EndPointCount()
{
    if (driverHandle == INVALID_HANDLE_VALUE || !configurations[configIndex] || !currentInterface) return 0;
    return BYTE(currentInterface->numEndPoints + 1);
}
