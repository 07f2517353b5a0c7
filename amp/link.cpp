#include "amp/link.h"

std::atomic<CUsbDevice*> g_device{nullptr};

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
    device->bulkOutEndPoint->TransferData(packet, length);
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
    device->bulkInEndPoint->TransferData(buffer, length);
    return length;
}

bool AbortPendingRead()
{
    CUsbDevice* device = g_device.load();
    return device != nullptr && device->bulkInEndPoint != nullptr && device->bulkInEndPoint->AbortTransfers();
}
