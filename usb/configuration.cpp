#include "usb/configuration.h"

#include <algorithm>

namespace {

const BYTE DESCRIPTOR_INTERFACE = 4;
const BYTE DESCRIPTOR_ENDPOINT = 5;
const DWORD CONFIGURATION_DESCRIPTOR_SIZE = 9;
const DWORD INTERFACE_DESCRIPTOR_SIZE = 9;
const DWORD ENDPOINT_DESCRIPTOR_SIZE = 7;
// Class-specific descriptors passed over before an interface's endpoints stop being looked for.
const int MAX_SKIPPED_DESCRIPTORS = 12;

CUsbEndPoint* NewEndPoint(HANDLE handle, const BYTE* descriptor)
{
    switch (descriptor[3]) {
    case 0: return new CControlEndPoint(handle, descriptor);
    case 1: return new CIsocEndPoint(handle, descriptor);
    case 2: return new CBulkEndPoint(handle, descriptor);
    case 3: return new CInterruptEndPoint(handle, descriptor);
    default: return nullptr;
    }
}

}  // namespace

CUsbInterfaceSetting::CUsbInterfaceSetting(HANDLE handle, const BYTE* descriptor, DWORD available)
{
    if (descriptor == nullptr || available < INTERFACE_DESCRIPTOR_SIZE) {
        truncated = true;
        return;
    }
    descriptorLength = descriptor[0];
    descriptorType = descriptor[1];
    interfaceNumber = descriptor[2];
    altSetting = descriptor[3];
    numEndPoints = descriptor[4];
    interfaceClass = descriptor[5];
    interfaceSubClass = descriptor[6];
    interfaceProtocol = descriptor[7];
    interfaceString = descriptor[8];
    altSettingCount = 0;
    if (descriptorLength == 0 || descriptorLength > available) {
        blockLength = descriptorLength;
        truncated = true;
        return;
    }

    DWORD length = descriptorLength;
    DWORD q = descriptorLength;
    int skipped = 0;
    int slot = 1;
    for (int j = 0; j < numEndPoints;) {
        if (q + 2 > available || descriptor[q] == 0) {
            truncated = true;
            break;
        }
        BYTE step = descriptor[q];
        length += step;
        if (descriptor[q + 1] == DESCRIPTOR_ENDPOINT) {
            if (q + std::max<DWORD>(step, ENDPOINT_DESCRIPTOR_SIZE) > available) {
                truncated = true;
                break;
            }
            if (slot < MAX_SETTING_END_POINTS) endPoints[slot] = NewEndPoint(handle, descriptor + q);
            q += step;
            ++slot;
            ++j;
        } else if (++skipped < MAX_SKIPPED_DESCRIPTORS) {
            q += step;
        } else {
            // From the twelfth foreign descriptor on, the remaining endpoint slots stay empty.
            ++slot;
            ++j;
        }
    }
    blockLength = WORD(std::min<DWORD>(length, 0xFFFF));
}

CUsbInterfaceSetting::~CUsbInterfaceSetting()
{
    // Slot 0 is the device's control endpoint, not ours.
    for (int slot = 1; slot < MAX_SETTING_END_POINTS; ++slot) delete endPoints[slot];
}

CUsbConfiguration::CUsbConfiguration(HANDLE handle, const BYTE* block, DWORD received)
{
    if (block == nullptr || received < CONFIGURATION_DESCRIPTOR_SIZE) return;
    descriptorLength = block[0];
    descriptorType = block[1];
    totalLength = WORD(block[2] | block[3] << 8);
    numInterfaces = block[4];
    configValue = block[5];
    configString = block[6];
    attributes = block[7];
    maxPower = block[8];
    settingCount = 0;

    DWORD end = std::min<DWORD>(totalLength, received);
    DWORD pos = descriptorLength;
    while (pos < end && settingCount < MAX_INTERFACE_SETTINGS) {
        if (pos + 2 > end || block[pos] == 0) break;
        DWORD step = block[pos];
        if (block[pos + 1] == DESCRIPTOR_INTERFACE) {
            if (pos + INTERFACE_DESCRIPTOR_SIZE > end) break;
            CUsbInterfaceSetting* setting = new CUsbInterfaceSetting(handle, block + pos, end - pos);
            settings[settingCount++] = setting;
            if (setting->truncated || setting->blockLength == 0) break;
            step = setting->blockLength;
        }
        pos += step;
    }

    for (int k = 0; k < settingCount; ++k) {
        BYTE same = 0;
        for (int m = 0; m < settingCount; ++m)
            if (settings[m]->interfaceNumber == settings[k]->interfaceNumber) ++same;
        settings[k]->altSettingCount = same;
    }
}

CUsbConfiguration::~CUsbConfiguration()
{
    for (CUsbInterfaceSetting* setting : settings) delete setting;
}
