// The amplifier link every program shares: the one device object, the model identity, and the
// three ways bytes move: a command written to the bulk OUT endpoint, a 68-byte read from the
// bulk IN endpoint, and aborting a read that the amplifier leaves unanswered.
#pragma once

#include "amp/commands.h"
#include "amp/packets.h"
#include "platform/win32/windows.h"
#include "usb/usb_device.h"

#include <atomic>

// The amplifier's driver interface class.
inline constexpr GUID AMP_INTERFACE_GUID = {
    0xD0CDEB7E, 0x87C6, 0x4F20, {0x86, 0x2B, 0x21, 0x9B, 0xBB, 0xED, 0x8C, 0x03}};

// The model digit at UTF-16 unit 5 of the product string.
inline constexpr int AMP_IDENTITY_UNIT = 5;
inline constexpr WCHAR QUORVEX_IDENTITY = u'4';
inline constexpr WCHAR PELLION_IDENTITY = u'2';

// Set by OpenAmplifier, read by both threads. Never deleted: an abandoned device is only dropped.
extern std::atomic<CUsbDevice*> g_device;

// Puts a new device object, opened on the first amplifier interface, in g_device (the Pellion
// counts the devices first). The object it replaces is deleted, so nothing may still use it.
// When the driver handle comes back invalid, GetLastError() says why. Clears AmplifierGone.
CUsbDevice* OpenAmplifierDevice(HWND notifyWindow, bool countDevicesFirst);

// True once the driver has reported g_device's amplifier removed: a transfer on it completed
// with the driver's no-device status. False again once OpenAmplifierDevice opens a new one.
bool AmplifierGone();

// True when `device` is open with both bulk pipes, the only state in which it may be used.
bool HasBulkPipes(const CUsbDevice* device);
bool IsAmplifierModel(const CUsbDevice* device, WCHAR identity);

// One-byte command on g_device's bulk OUT endpoint; the result is not examined.
void SendCommand(BYTE code);
// Any packet on g_device's bulk OUT endpoint; the result is not examined.
void SendPacket(const BYTE* bytes, LONG length);
// Zeroes AMP_PACKET_LENGTH bytes of `buffer` and reads one packet into them. Returns the length
// that came back; only AMP_PACKET_LENGTH counts as a packet.
LONG ReadPacket(BYTE* buffer);
// Completes a read pending on g_device's bulk IN endpoint at once.
bool AbortPendingRead();
