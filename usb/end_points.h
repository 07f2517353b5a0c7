// Endpoint objects of the opened device and the transfers run on them. An endpoint carries the
// device's driver handle but never closes it; the device (through its interface settings) owns
// the endpoint objects. Several threads may run TransferData on one endpoint at once: each call
// owns its event, OVERLAPPED record and request record, and the result fields are last-writer-wins.
#pragma once

#include "platform/win32/windows.h"
#include "usb/transfer_record.h"

#include <atomic>

const DWORD DEFAULT_TRANSFER_TIMEOUT_MS = 10000;

class CUsbEndPoint {
public:
    // `descriptor` is the 7-byte endpoint descriptor inside a configuration block, or nullptr.
    CUsbEndPoint(HANDLE driverHandle, const BYTE* descriptor);
    virtual ~CUsbEndPoint() = default;
    CUsbEndPoint(const CUsbEndPoint&) = delete;
    CUsbEndPoint& operator=(const CUsbEndPoint&) = delete;

    // Begin steps: the request record, or nullptr when nothing was sent. The record belongs to
    // the caller until it is handed to FinishTransfer.
    virtual TransferRecord* BeginDirectTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped);
    virtual TransferRecord* BeginBufferedTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped);
    virtual TransferRecord* BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) = 0;
    // Collects the byte count and status words, copies buffered IN data, releases the record.
    virtual bool FinishTransfer(BYTE* buffer, LONG& length, OVERLAPPED* overlapped, TransferRecord* record,
                                BYTE* packetInfos);

    bool WaitForTransfer(OVERLAPPED* overlapped);
    bool AbortTransfers();
    // Synchronous transfer: `length` is the bytes to send or the room to receive on entry, the
    // data bytes moved on return.
    bool TransferData(BYTE* buffer, LONG& length, BYTE* packetInfos = nullptr);

    HANDLE driverHandle;
    BYTE descriptorLength = 0;
    BYTE descriptorType = 0;
    BYTE address = 0;
    BYTE attributes = 0;
    WORD maxPacketSize = 0;
    WORD packetsPerInterval = 0;
    BYTE interval = 0;
    DWORD timeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
    std::atomic<DWORD> status2{0};
    std::atomic<DWORD> status1{0};
    std::atomic<LONG> bytesTransferred{0};
    std::atomic<DWORD> lastError{0};
    std::atomic<bool> isIn{false};
    DWORD directMode = 1;

protected:
    // Sends `record` (already filled, `recordSize` bytes) as both input and output.
    TransferRecord* SendBuffered(DWORD code, TransferRecord* record, DWORD recordSize, OVERLAPPED* overlapped);
};

class CControlEndPoint : public CUsbEndPoint {
public:
    CControlEndPoint(HANDLE driverHandle, const BYTE* descriptor);

    TransferRecord* BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;

    DWORD setupRecipient = 0;
    DWORD setupType = 2;
    DWORD setupDirection = 0;
    BYTE setupRequest = 0;
    WORD setupValue = 0;
    WORD setupIndex = 0;
};

class CIsocEndPoint : public CUsbEndPoint {
public:
    CIsocEndPoint(HANDLE driverHandle, const BYTE* descriptor) : CUsbEndPoint(driverHandle, descriptor) {}

    TransferRecord* BeginDirectTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;
    TransferRecord* BeginBufferedTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;
    TransferRecord* BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;

private:
    DWORD PacketCount(LONG length) const;
};

class CBulkEndPoint : public CUsbEndPoint {
public:
    CBulkEndPoint(HANDLE driverHandle, const BYTE* descriptor) : CUsbEndPoint(driverHandle, descriptor) {}

    TransferRecord* BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;
};

class CInterruptEndPoint : public CUsbEndPoint {
public:
    CInterruptEndPoint(HANDLE driverHandle, const BYTE* descriptor) : CUsbEndPoint(driverHandle, descriptor) {}

    TransferRecord* BeginTransfer(BYTE* buffer, LONG length, OVERLAPPED* overlapped) override;
};
