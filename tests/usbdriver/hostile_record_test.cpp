// Records that lie about their own layout: the driver must refuse them without touching memory
// outside the buffers (run under AddressSanitizer, where every buffer is exactly its size).
#include "driver_fixture.h"

#include <memory>
#include <random>

using namespace platform::usbdriver;
using namespace test;

namespace {

using HostileRecords = DriverFixture;

TEST_F(HostileRecords, MalformedRecordsFailWithBadRequestStatus)
{
    struct Case {
        const char* what;
        DWORD code;
        Record record;
    };
    auto with = [](Record r, size_t at, uint32_t v) {
        r.put(at, v);
        return r;
    };
    std::vector<Case> cases = {
        {"data offset past the end", IOCTL_BUFFERED_TRANSFER, with(Record::buffered(0x81, 8), rec::kDataOffset, 47)},
        {"data length past the end", IOCTL_BUFFERED_TRANSFER, with(Record::buffered(0x81, 8), rec::kDataLength, 9)},
        {"data inside the header", IOCTL_BUFFERED_TRANSFER, with(Record::buffered(0x81, 8), rec::kDataOffset, 10)},
        {"length wrapping around", IOCTL_BUFFERED_TRANSFER,
         with(Record::buffered(0x81, 8), rec::kDataLength, 0xFFFFFFF0u)},
        {"packet area over the data", IOCTL_BUFFERED_TRANSFER,
         with(Record::buffered(0x83, 16, 1), rec::kPacketInfoLength, 16)},
        {"unknown endpoint", IOCTL_BUFFERED_TRANSFER, Record::buffered(0x84, 8)},
        {"endpoint zero as a bulk pipe", IOCTL_BUFFERED_TRANSFER, Record::buffered(0x00, 8)},
        {"wLength differs from dataLength", IOCTL_CONTROL_TRANSFER,
         with(Record::control(0x80, 6, 0x0100, 0, 18), rec::kDataLength, 17)},
        {"control on another endpoint", IOCTL_CONTROL_TRANSFER,
         with(Record::control(0x80, 6, 0x0100, 0, 18), rec::kEndPointAddress - 1, 0x8100u)},
        {"control data past the end", IOCTL_CONTROL_TRANSFER,
         with(Record::control(0x80, 6, 0x0100, 0, 18), rec::kDataOffset, 40)},
        {"direct packet area past the record", IOCTL_DIRECT_TRANSFER,
         with(Record::direct(0x83, 1), rec::kPacketInfoLength, 9)},
    };
    for (auto& c : cases) {
        std::vector<uint8_t> data(8);
        DWORD bytes = 77;
        SetLastError(0);
        BOOL ok = c.code == IOCTL_DIRECT_TRANSFER ? DeviceIoControl(m_handle, c.code, c.record.data(), c.record.size(),
                                                                    data.data(), 8, &bytes, nullptr)
                                                  : io(c.code, c.record.data(), c.record.size(), &bytes);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER) << c.what;
        EXPECT_EQ(c.record.status1(), kStatusBadRequest) << c.what;
        EXPECT_EQ(bytes, 0u) << c.what;
    }
    EXPECT_EQ(m_device->submits, 0);
}

TEST_F(HostileRecords, RecordsShorterThanTheHeaderAreRefusedUntouched)
{
    for (DWORD code : {IOCTL_CONTROL_TRANSFER, IOCTL_BUFFERED_TRANSFER, IOCTL_DIRECT_TRANSFER}) {
        for (DWORD size : {0u, 1u, 37u}) {
            auto bytes = std::make_unique<uint8_t[]>(size + 1);
            DWORD n = 0;
            EXPECT_FALSE(DeviceIoControl(m_handle, code, size ? bytes.get() : nullptr, size,
                                         size ? bytes.get() : nullptr, size, &n, nullptr));
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
        }
    }
}

TEST_F(HostileRecords, AnOutputBufferSmallerThanTheRecordIsRefused)
{
    Record r = Record::control(0x80, 6, 0x0100, 0, 18);
    std::vector<uint8_t> out(20);
    DWORD bytes = 0;
    EXPECT_FALSE(
        DeviceIoControl(m_handle, IOCTL_CONTROL_TRANSFER, r.data(), r.size(), out.data(), 20, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(HostileRecords, RandomRecordsNeverReachOutsideTheirBuffers)
{
    std::mt19937 random(20261208);
    const uint8_t endpoints[] = {0x00, 0x02, 0x81, 0x83, 0x84, 0xFF};
    const DWORD codes[] = {IOCTL_CONTROL_TRANSFER, IOCTL_BUFFERED_TRANSFER, IOCTL_DIRECT_TRANSFER};
    auto pick = [&](uint32_t size) -> uint32_t {
        switch (random() % 4) {
        case 0: return 0;
        case 1: return random() % (size + 8);
        case 2: return size - std::min<uint32_t>(size, random() % 4);
        default: return static_cast<uint32_t>(random());
        }
    };
    for (int i = 0; i < 5000; ++i) {
        uint32_t size = random() % 120;
        auto record = std::make_unique<uint8_t[]>(size);
        for (uint32_t j = 0; j < size; ++j) record[j] = static_cast<uint8_t>(random());
        if (size >= 38) {
            record[rec::kEndPointAddress] = endpoints[random() % 6];
            for (size_t field : {rec::kPacketInfoOffset, rec::kPacketInfoLength, rec::kDataOffset, rec::kDataLength}) {
                uint32_t v = pick(size);
                std::memcpy(record.get() + field, &v, 4);
            }
            uint16_t wLength = static_cast<uint16_t>(pick(size));
            std::memcpy(record.get() + 6, &wLength, 2);
            record[0] = random() % 2 ? 0x80 : 0x40;
        }
        DWORD code = codes[random() % 3];
        uint32_t outSize = code == IOCTL_DIRECT_TRANSFER ? random() % 80 : size;
        auto out = std::make_unique<uint8_t[]>(outSize);
        uint8_t* outPtr = code == IOCTL_DIRECT_TRANSFER ? out.get() : record.get();
        DWORD bytes = 0;
        OVERLAPPED ov{};
        ov.hEvent = m_overlapped.hEvent;
        SetLastError(0);
        BOOL ok = DeviceIoControl(m_handle, code, size ? record.get() : nullptr, size, outSize ? outPtr : nullptr,
                                  outSize, &bytes, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            uint8_t ep = record[rec::kEndPointAddress];
            DWORD none = 0;
            ASSERT_TRUE(DeviceIoControl(m_handle, IOCTL_ABORT_ENDPOINT, &ep, 1, nullptr, 0, &none, nullptr));
            ASSERT_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
            GetOverlappedResult(m_handle, &ov, &bytes, FALSE);
        }
        ASSERT_LE(bytes, std::max(size, outSize)) << "case " << i;
    }
}

}  // namespace
