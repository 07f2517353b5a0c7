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

// Set by OpenAmplifierDevice, read by both threads.
extern std::atomic<CUsbDevice*> g_device;

// Replaces g_device with a new device object that asks for interface index 0 (counting the
// devices first when asked), deleting the one before: no transfer may be running on it. Device
// notices go to `notifyWindow` (none: null). AmplifierGone() and the way out start afresh.
CUsbDevice* OpenAmplifierDevice(HWND notifyWindow, bool countDevicesFirst);

// True once the open amplifier has gone away: the device-change notice for its handle or its
// interface arrived (NoteDeviceChange), or a transfer came back with the driver's no-device
// status. Stays true until the next OpenAmplifierDevice. Any thread.
bool AmplifierGone();
// A WM_DEVICECHANGE the window received. True when it reports the open amplifier removed.
bool NoteDeviceChange(WPARAM event, LPARAM record);

// The way out of the program (shutdown, a signal, a lost display): from here until the next
// opening, a transfer that waits out its time limit shows that the amplifier no longer answers,
// and every later transfer gets only SILENT_AMPLIFIER_LIMIT_MS. Leaving then waits out one time
// limit at most, and the commands still go out in order for an amplifier that takes them late.
void BeginWayOut();
inline constexpr DWORD SILENT_AMPLIFIER_LIMIT_MS = 250;

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
