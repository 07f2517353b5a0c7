// The amplifier's USB driver, in user space. It publishes one device interface per device on the
// bus and answers the driver control codes on handles opened with CreateFileA. Request records are
// never trusted: a malformed one fails with a status, never with an access outside its buffer.
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>
#include <string>

namespace platform::usbdriver {

// The device interface class every amplifier is published under.
inline constexpr GUID kInterfaceClass = {0xD0CDEB7E, 0x87C6, 0x4F20, {0x86, 0x2B, 0x21, 0x9B, 0xBB, 0xED, 0x8C, 0x03}};

// What IOCTL_DRIVER_VERSION answers unless the device asks for another value.
inline constexpr uint32_t kDriverVersion = 0x01050700;

// Control codes: 0x220000 | function << 2 | method.
inline constexpr DWORD IOCTL_DRIVER_VERSION = 0x00220000;
inline constexpr DWORD IOCTL_INFO_DWORD_1 = 0x00220004;
inline constexpr DWORD IOCTL_ALT_SETTING = 0x00220008;
inline constexpr DWORD IOCTL_INFO_BYTE_4 = 0x00220010;
inline constexpr DWORD IOCTL_CONTROL_TRANSFER = 0x00220020;
inline constexpr DWORD IOCTL_BUFFERED_TRANSFER = 0x00220024;
inline constexpr DWORD IOCTL_INFO_BLOCK_15 = 0x0022003C;
inline constexpr DWORD IOCTL_INFO_BLOCK_16 = 0x00220040;
inline constexpr DWORD IOCTL_ABORT_ENDPOINT = 0x00220044;
inline constexpr DWORD IOCTL_DIRECT_TRANSFER = 0x0022004B;
inline constexpr DWORD IOCTL_INFO_DWORD_19 = 0x0022004C;

// The request record: a packed little-endian 38-byte header, then the areas its offsets name.
namespace record {
inline constexpr size_t kSetup = 0;             // 8: bmRequestType, bRequest, wValue, wIndex, wLength
inline constexpr size_t kTimeoutSeconds = 8;    // 4
inline constexpr size_t kReserved = 12;         // 1
inline constexpr size_t kEndPointAddress = 13;  // 1
inline constexpr size_t kStatus1 = 14;          // 4
inline constexpr size_t kStatus2 = 18;          // 4
inline constexpr size_t kPacketInfoOffset = 22;
inline constexpr size_t kPacketInfoLength = 26;
inline constexpr size_t kDataOffset = 30;
inline constexpr size_t kDataLength = 34;
inline constexpr size_t kHeaderSize = 38;
}  // namespace record

// status1 of a finished request: 0 on success.
inline constexpr uint32_t kStatusOk = 0;
inline constexpr uint32_t kStatusStall = 0xC0000004;       // the endpoint stalled or refused
inline constexpr uint32_t kStatusCancelled = 0xC0010000;   // ended by an abort or CloseHandle
inline constexpr uint32_t kStatusNoDevice = 0xC0007000;    // the device was unplugged
inline constexpr uint32_t kStatusBadRequest = 0xC0000E00;  // malformed record or unknown endpoint
inline constexpr uint32_t kStatusError = 0xC0000001;       // anything else the device reported
// status2 carries the Windows error the request completed with (0 on success):
// stall ERROR_GEN_FAILURE, cancelled ERROR_OPERATION_ABORTED, no device
// ERROR_DEVICE_NOT_CONNECTED, bad request ERROR_INVALID_PARAMETER, error ERROR_GEN_FAILURE.

// Subscribes the driver to the bus (once; later calls do nothing). Every attached device then
// appears under kInterfaceClass with a path like
// \\?\usb#vid_XXXX&pid_YYYY#<backend>-<location>#{d0cdeb7e-87c6-4f20-862b-219bbbed8c03},
// ranked libusb, ampsim, local.
void install();

}  // namespace platform::usbdriver
