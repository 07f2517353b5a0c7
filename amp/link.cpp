#include "amp/link.h"

std::atomic<CUsbDevice*> g_device{nullptr};

namespace {
std::atomic<bool> g_amplifierGone{false};

// The driver completes every transfer of an unplugged device with ERROR_DEVICE_NOT_CONNECTED in
// the request's status; a handle it no longer serves fails the request at once with it.
void NoteTransferOutcome(const CUsbEndPoint& endPoint)
{
    if (endPoint.status2.load() == ERROR_DEVICE_NOT_CONNECTED || endPoint.lastError.load() == ERROR_DEVICE_NOT_CONNECTED)
        g_amplifierGone.store(true);
}
}  // namespace

CUsbDevice* OpenAmplifierDevice(HWND notifyWindow, bool countDevicesFirst)
{
    delete g_device.exchange(nullptr);
    g_amplifierGone.store(false);
    CUsbDevice* device = new CUsbDevice(notifyWindow, AMP_INTERFACE_GUID, true);
    g_device.store(device);
    if (countDevicesFirst) device->DeviceCount();
    device->Open(0);
    return device;
}

bool AmplifierGone()
{
    return g_amplifierGone.load();
}

bool HasBulkPipes(const CUsbDevice* device)
{
    return device != nullptr && device->driverHandle != INVALID_HANDLE_VALUE && device->bulkInEndPoint != nullptr &&
           device->bulkOutEndPoint != nullptr;
}

bool IsAmplifierModel(const CUsbDevice* device, WCHAR identity)
{
    return device != nullptr && device->productString[AMP_IDENTITY_UNIT] == identity;
}

void SendPacket(const BYTE* bytes, LONG length)
{
    CUsbDevice* device = g_device.load();
    if (device == nullptr || device->bulkOutEndPoint == nullptr) return;
    BYTE packet[512] = {};
    if (length < 0 || length > LONG(sizeof packet)) return;
    for (LONG i = 0; i < length; ++i) packet[i] = bytes[i];
    if (!device->bulkOutEndPoint->TransferData(packet, length)) NoteTransferOutcome(*device->bulkOutEndPoint);
}

void SendCommand(BYTE code)
{
    SendPacket(&code, 1);
}

LONG ReadPacket(BYTE* buffer)
{
    for (int i = 0; i < AMP_PACKET_LENGTH; ++i) buffer[i] = 0;
    CUsbDevice* device = g_device.load();
    if (device == nullptr || device->bulkInEndPoint == nullptr) return 0;
    LONG length = AMP_PACKET_LENGTH;
    if (!device->bulkInEndPoint->TransferData(buffer, length)) NoteTransferOutcome(*device->bulkInEndPoint);
    return length;
}

bool AbortPendingRead()
{
    CUsbDevice* device = g_device.load();
    return device != nullptr && device->bulkInEndPoint != nullptr && device->bulkInEndPoint->AbortTransfers();
}
