#include "usb/transfer_record.h"

#include <cstring>
#include <new>

namespace {

// Kept in front of the record, where no driver request reaches.
struct alignas(16) RecordPrefix {
    TransferRecordLayout layout;
};

RecordPrefix* PrefixOf(const TransferRecord* record)
{
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<TransferRecord*>(record));
    return reinterpret_cast<RecordPrefix*>(bytes - sizeof(RecordPrefix));
}

}  // namespace

TransferRecord* AllocTransferRecord(DWORD size)
{
    if (size < TRANSFER_RECORD_SIZE) size = TRANSFER_RECORD_SIZE;
    BYTE* block = new (std::nothrow) BYTE[sizeof(RecordPrefix) + size];
    if (!block) return nullptr;
    std::memset(block, 0, sizeof(RecordPrefix) + size);
    auto* prefix = new (block) RecordPrefix{};
    prefix->layout.size = size;
    return reinterpret_cast<TransferRecord*>(block + sizeof(RecordPrefix));
}

void FreeTransferRecord(TransferRecord* record)
{
    if (!record) return;
    delete[] reinterpret_cast<BYTE*>(PrefixOf(record));
}

BYTE* TransferRecordBytes(TransferRecord* record)
{
    return reinterpret_cast<BYTE*>(record);
}

void SealTransferRecord(TransferRecord* record)
{
    TransferRecordLayout& layout = PrefixOf(record)->layout;
    layout.packetInfoOffset = record->packetInfoOffset;
    layout.packetInfoLength = record->packetInfoLength;
    layout.dataOffset = record->dataOffset;
    layout.dataLength = record->dataLength;
}

const TransferRecordLayout& TransferRecordSealed(const TransferRecord* record)
{
    return PrefixOf(record)->layout;
}
