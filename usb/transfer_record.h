// The request record the driver takes with every transfer and descriptor request: a packed
// 38-byte header, then the packet-info area and the data area its offsets point at.
#pragma once

#include "platform/win32/windows.h"

#include <cstddef>

#pragma pack(push, 1)
struct SetupPacket {
    BYTE bmRequestType;
    BYTE bRequest;
    WORD wValue;
    WORD wIndex;
    WORD wLength;
};

struct TransferRecord {
    SetupPacket setupPacket;
    DWORD timeoutSeconds;
    BYTE reserved;
    BYTE endPointAddress;
    DWORD status1;
    DWORD status2;
    DWORD packetInfoOffset;
    DWORD packetInfoLength;
    DWORD dataOffset;
    DWORD dataLength;
};
#pragma pack(pop)

static_assert(sizeof(SetupPacket) == 8);
static_assert(sizeof(TransferRecord) == 38);
static_assert(offsetof(TransferRecord, timeoutSeconds) == 8);
static_assert(offsetof(TransferRecord, endPointAddress) == 13);
static_assert(offsetof(TransferRecord, status1) == 14);
static_assert(offsetof(TransferRecord, status2) == 18);
static_assert(offsetof(TransferRecord, packetInfoOffset) == 22);
static_assert(offsetof(TransferRecord, dataOffset) == 30);
static_assert(offsetof(TransferRecord, dataLength) == 34);

const DWORD TRANSFER_RECORD_SIZE = sizeof(TransferRecord);

// A zeroed record of `size` bytes (at least the header). The allocation also keeps, out of the
// driver's reach, the size and the area offsets as the library set them, because the driver
// writes into the record and nothing it writes is trusted.
TransferRecord* AllocTransferRecord(DWORD size);
void FreeTransferRecord(TransferRecord* record);
BYTE* TransferRecordBytes(TransferRecord* record);

struct TransferRecordLayout {
    DWORD size;
    DWORD packetInfoOffset;
    DWORD packetInfoLength;
    DWORD dataOffset;
    DWORD dataLength;
};
// Copies the record's area fields into the private layout; call once they are filled in.
void SealTransferRecord(TransferRecord* record);
const TransferRecordLayout& TransferRecordSealed(const TransferRecord* record);
