#include "usb/end_points.h"

#include "usb/driver_codes.h"

#include <cstring>

CUsbEndPoint::CUsbEndPoint(HANDLE handle, const BYTE* descriptor) : driverHandle(handle)
{
    if (descriptor) {
        WORD wMaxPacketSize = WORD(descriptor[4] | descriptor[5] << 8);
        packetsPerInterval = WORD(((wMaxPacketSize >> 11) & 3) + 1);
        descriptorLength = descriptor[0];
        descriptorType = descriptor[1];
        address = descriptor[2];
        attributes = descriptor[3];
        maxPacketSize = WORD((wMaxPacketSize & 0x7FF) * packetsPerInterval);
        interval = descriptor[6];
        isIn = (address & 0x80) != 0;
    }
    timeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
    directMode = 1;
}

TransferRecord* CUsbEndPoint::SendBuffered(DWORD code, TransferRecord* record, DWORD recordSize, OVERLAPPED* overlapped)
{
    SealTransferRecord(record);
    // DeviceIoControl is not documented to clear the last error when it succeeds, and the wait
    // step reads it: a stale value would fail a transfer that completed at once.
    SetLastError(0);
    DeviceIoControl(driverHandle, code, record, recordSize, record, recordSize, nullptr, overlapped);
    lastError = GetLastError();
    return record;
}

TransferRecord* CUsbEndPoint::BeginDirectTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE || length < 0) return nullptr;
    TransferRecord* record = AllocTransferRecord(TRANSFER_RECORD_SIZE);
    if (!record) return nullptr;
    record->endPointAddress = address;
    SealTransferRecord(record);
    SetLastError(0);
    DeviceIoControl(driverHandle, IOCTL_DIRECT_TRANSFER, record, TRANSFER_RECORD_SIZE, buffer, DWORD(length), nullptr,
                    overlapped);
    lastError = GetLastError();
    return record;
}

TransferRecord* CUsbEndPoint::BeginBufferedTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE || length < 0) return nullptr;
    DWORD recordSize = TRANSFER_RECORD_SIZE + DWORD(length);
    TransferRecord* record = AllocTransferRecord(recordSize);
    if (!record) return nullptr;
    record->endPointAddress = address;
    record->dataOffset = TRANSFER_RECORD_SIZE;
    record->dataLength = DWORD(length);
    if (length > 0) std::memcpy(TransferRecordBytes(record) + TRANSFER_RECORD_SIZE, buffer, size_t(length));
    return SendBuffered(IOCTL_BUFFERED_TRANSFER, record, recordSize, overlapped);
}

bool CUsbEndPoint::WaitForTransfer(OVERLAPPED* overlapped)
{
    DWORD e = GetLastError();
    lastError = e;
    if (e == 0) return true;
    if (e != ERROR_IO_PENDING) return false;
    DWORD waited = WaitForSingleObject(overlapped->hEvent, timeoutMs);
    if (waited == WAIT_OBJECT_0) return true;
    if (waited == WAIT_TIMEOUT) {
        AbortTransfers();
        // The record and the caller's buffer stay the driver's until it completes the request.
        WaitForSingleObject(overlapped->hEvent, INFINITE);
    }
    return false;
}

bool CUsbEndPoint::AbortTransfers()
{
    BYTE endPoint = address;
    DWORD returned = 0;
    return DeviceIoControl(driverHandle, IOCTL_ABORT_ENDPOINT, &endPoint, 1, nullptr, 0, &returned, nullptr) != FALSE;
}

bool CUsbEndPoint::FinishTransfer(BYTE* buffer, LONG& length, OVERLAPPED* overlapped, TransferRecord* record,
                                  BYTE* packetInfos)
{
    DWORD bytes = 0;
    BOOL ok = GetOverlappedResult(driverHandle, overlapped, &bytes, FALSE);
    if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) {
        // Only a failed wait gets here; the request must end before its memory is released.
        AbortTransfers();
        ok = GetOverlappedResult(driverHandle, overlapped, &bytes, TRUE);
    }

    // The byte count comes from the driver: it must fit the record and the caller's room.
    const TransferRecordLayout& layout = TransferRecordSealed(record);
    DWORD room = length > 0 ? DWORD(length) : 0;
    bool fits = true;
    DWORD n = 0;
    if (bytes != 0) {
        if (layout.dataOffset == 0) {
            fits = bytes <= room;
            n = bytes;
        } else {
            fits = bytes >= layout.dataOffset && bytes <= layout.size;
            n = fits ? bytes - layout.dataOffset : 0;
            fits = fits && n <= layout.dataLength && n <= room;
        }
        if (!fits) n = 0;
    }
    length = LONG(n);
    bytesTransferred = LONG(n);
    DWORD recordStatus2 = record->status2;
    DWORD recordStatus1 = record->status1;
    status2 = recordStatus2;
    status1 = recordStatus1;

    BYTE* bytesOfRecord = TransferRecordBytes(record);
    if (isIn && directMode == 0 && n > 0) std::memcpy(buffer, bytesOfRecord + layout.dataOffset, n);
    if (packetInfos && n > 0 && layout.packetInfoLength > 0) {
        std::memset(packetInfos, 0, layout.packetInfoLength);
        std::memcpy(packetInfos, bytesOfRecord + layout.packetInfoOffset, layout.packetInfoLength);
    }
    FreeTransferRecord(record);
    return ok && fits && recordStatus2 == 0 && recordStatus1 == 0;
}

bool CUsbEndPoint::TransferData(BYTE* buffer, LONG& length, BYTE* packetInfos)
{
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof(overlapped));
    overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!overlapped.hEvent) {
        length = 0;
        return false;
    }
    TransferRecord* record = BeginTransfer(buffer, length, &overlapped);
    if (!record) {
        CloseHandle(overlapped.hEvent);
        length = 0;
        return false;
    }
    bool waited = WaitForTransfer(&overlapped);
    bool finished = FinishTransfer(buffer, length, &overlapped, record, packetInfos);
    CloseHandle(overlapped.hEvent);
    return waited && finished;
}

CControlEndPoint::CControlEndPoint(HANDLE handle, const BYTE* descriptor) : CUsbEndPoint(handle, descriptor)
{
    setupRecipient = 0;
    setupDirection = 0;
    setupRequest = 0;
    directMode = 0;
    setupType = 2;
    setupValue = 0;
    setupIndex = 0;
}

TransferRecord* CControlEndPoint::BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    // wLength has 16 bits; a longer control transfer cannot be described.
    if (driverHandle == INVALID_HANDLE_VALUE || length < 0 || length > 0xFFFF) return nullptr;
    BYTE requestType = BYTE(((setupDirection << 2 | (setupType & 3)) << 5) | (setupRecipient & 0x1F));
    isIn = setupDirection == 1;
    DWORD timeoutSeconds = (timeoutMs > 0 && timeoutMs < 1000) ? 1 : timeoutMs / 1000;

    DWORD recordSize = TRANSFER_RECORD_SIZE + DWORD(length);
    TransferRecord* record = AllocTransferRecord(recordSize);
    if (!record) return nullptr;
    record->setupPacket.bmRequestType = requestType;
    record->setupPacket.bRequest = setupRequest;
    record->setupPacket.wValue = setupValue;
    record->setupPacket.wIndex = setupIndex;
    record->setupPacket.wLength = WORD(length);
    record->timeoutSeconds = timeoutSeconds;
    record->endPointAddress = 0;
    record->dataOffset = TRANSFER_RECORD_SIZE;
    record->dataLength = DWORD(length);
    if (length > 0) std::memcpy(TransferRecordBytes(record) + TRANSFER_RECORD_SIZE, buffer, size_t(length));
    return SendBuffered(IOCTL_CONTROL_TRANSFER, record, recordSize, overlapped);
}

DWORD CIsocEndPoint::PacketCount(LONG length) const
{
    if (length <= 0 || maxPacketSize == 0) return 0;
    DWORD packets = DWORD(length) / maxPacketSize + (DWORD(length) % maxPacketSize ? 1 : 0);
    // The whole record must stay describable in 32 bits.
    if (packets > (0xFFFFFFFFu - TRANSFER_RECORD_SIZE - DWORD(length)) / 8) return 0;
    return packets;
}

TransferRecord* CIsocEndPoint::BeginBufferedTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return nullptr;
    DWORD packets = PacketCount(length);
    if (packets == 0) return nullptr;
    DWORD infoLength = 8 * packets;
    DWORD recordSize = TRANSFER_RECORD_SIZE + infoLength + DWORD(length);
    TransferRecord* record = AllocTransferRecord(recordSize);
    if (!record) return nullptr;
    record->endPointAddress = address;
    record->packetInfoOffset = TRANSFER_RECORD_SIZE;
    record->packetInfoLength = infoLength;
    record->dataOffset = TRANSFER_RECORD_SIZE + infoLength;
    record->dataLength = DWORD(length);
    std::memcpy(TransferRecordBytes(record) + record->dataOffset, buffer, size_t(length));
    return SendBuffered(IOCTL_BUFFERED_TRANSFER, record, recordSize, overlapped);
}

TransferRecord* CIsocEndPoint::BeginDirectTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return nullptr;
    DWORD packets = PacketCount(length);
    if (packets == 0) return nullptr;
    DWORD infoLength = 8 * packets;
    DWORD recordSize = TRANSFER_RECORD_SIZE + infoLength;
    TransferRecord* record = AllocTransferRecord(recordSize);
    if (!record) return nullptr;
    record->endPointAddress = address;
    record->packetInfoOffset = TRANSFER_RECORD_SIZE;
    record->packetInfoLength = infoLength;
    SealTransferRecord(record);
    SetLastError(0);
    DeviceIoControl(driverHandle, IOCTL_DIRECT_TRANSFER, record, recordSize, buffer, DWORD(length), nullptr,
                    overlapped);
    lastError = GetLastError();
    return record;
}

TransferRecord* CIsocEndPoint::BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return nullptr;
    return directMode == 1 ? BeginDirectTransfer(buffer, length, overlapped)
                           : BeginBufferedTransfer(buffer, length, overlapped);
}

TransferRecord* CBulkEndPoint::BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return nullptr;
    return directMode == 1 ? BeginDirectTransfer(buffer, length, overlapped)
                           : BeginBufferedTransfer(buffer, length, overlapped);
}

TransferRecord* CInterruptEndPoint::BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped)
{
    if (driverHandle == INVALID_HANDLE_VALUE) return nullptr;
    return directMode == 1 ? BeginDirectTransfer(buffer, length, overlapped)
                           : BeginBufferedTransfer(buffer, length, overlapped);
}
