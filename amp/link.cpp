#include "amp/link.h"

#include <cctype>
#include <chrono>

std::atomic<CUsbDevice*> g_device{nullptr};

namespace {
std::atomic<bool> g_gone{false};
std::atomic<bool> g_wayOut{false};
std::atomic<bool> g_silent{false};

bool SamePath(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// Every command and read goes through here: what comes back tells whether the amplifier is gone
// or, on the way out, no longer answers.
bool Transfer(CBulkEndPoint* endPoint, BYTE* buffer, LONG& length)
{
    if (g_silent.load()) endPoint->timeoutMs = SILENT_AMPLIFIER_LIMIT_MS;
    DWORD limit = endPoint->timeoutMs;
    auto start = std::chrono::steady_clock::now();
    bool done = endPoint->TransferData(buffer, length);
    if (done) return true;
    // The driver completes every transfer of an unplugged device with its no-device status; a
    // handle it no longer serves fails the request at once with it.
    if (endPoint->status2.load() == ERROR_DEVICE_NOT_CONNECTED ||
        endPoint->lastError.load() == ERROR_DEVICE_NOT_CONNECTED) {
        g_gone.store(true);
    } else if (g_wayOut.load() && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(limit)) {
        g_silent.store(true);
    }
    return false;
}
}  // namespace

CUsbDevice* OpenAmplifierDevice(HWND notifyWindow, bool countDevicesFirst)
{
    delete g_device.exchange(nullptr);
    g_gone.store(false);
    g_wayOut.store(false);
    g_silent.store(false);
    CUsbDevice* device = new CUsbDevice(notifyWindow, AMP_INTERFACE_GUID, true);
    g_device.store(device);
    if (countDevicesFirst) device->DeviceCount();
    device->Open(0);
    return device;
}

bool AmplifierGone()
{
    return g_gone.load();
}

bool NoteDeviceChange(WPARAM event, LPARAM record)
{
    CUsbDevice* device = g_device.load();
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
    if (event != DBT_DEVICEREMOVECOMPLETE || header == nullptr || device == nullptr ||
        device->driverHandle == INVALID_HANDLE_VALUE)
        return false;
    bool ours = false;
    if (header->dbch_devicetype == DBT_DEVTYP_HANDLE)
        ours = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(record)->dbch_handle == device->driverHandle;
    else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
        ours =
            SamePath(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(record)->dbcc_name, device->devicePath);
    if (ours) g_gone.store(true);
    return ours;
}

void BeginWayOut()
{
    g_wayOut.store(true);
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
    Transfer(device->bulkOutEndPoint, packet, length);
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
    Transfer(device->bulkInEndPoint, buffer, length);
    return length;
}

bool AbortPendingRead()
{
    CUsbDevice* device = g_device.load();
    return device != nullptr && device->bulkInEndPoint != nullptr && device->bulkInEndPoint->AbortTransfers();
}
