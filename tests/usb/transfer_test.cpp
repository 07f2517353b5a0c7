#include "tests/usb/fake_driver.h"
#include "usb/usb_device.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace usbtest;
using platform::win32::IoRequest;

namespace {

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PresentAmplifier(file());
        ASSERT_TRUE(m_device.Open(0));
        file().clear();
    }
    void OpenWithDriver(uint32_t version)
    {
        file().driverVersion = version;
        ASSERT_TRUE(m_device.Open(0));
        file().clear();
    }
    FakeDriverFile& file() { return m_driver.file(); }
    Request OnlyTransfer()
    {
        auto all = file().requests();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? Request{} : all[0];
    }
    // Fills what the driver may fill (the caller's buffer in direct mode, the record's data
    // area in buffered mode) with 0xA0, 0xA1, ... and reports `bytes`.
    void AnswerIn(DWORD bytes, DWORD status1 = 0)
    {
        file().transfer = [bytes, status1](DWORD code, std::span<uint8_t> in, std::span<uint8_t> out,
                                           std::shared_ptr<IoRequest> request) {
            size_t at = code == IOCTL_BUFFERED_TRANSFER ? TRANSFER_RECORD_SIZE : 0;
            for (size_t i = at; i < out.size(); ++i) out[i] = uint8_t(0xA0 + i - at);
            std::memcpy(in.data() + 14, &status1, 4);
            request->complete(ERROR_SUCCESS, bytes);
        };
    }

    FakeDriver m_driver;
    CUsbDevice m_device{nullptr, kTestInterface, false};
};

void ExpectZeroRecord(const Bytes& record, uint8_t address)
{
    for (size_t i = 0; i < TRANSFER_RECORD_SIZE; ++i) {
        if (i == 13 || (i >= 30 && i < 38)) continue;
        EXPECT_EQ(record.at(i), 0) << "record byte " << i;
    }
    EXPECT_EQ(record.at(13), address);
}

}  // namespace

TEST_F(TransferTest, DirectInSendsABareRecordAndTheCallersBuffer)
{
    AnswerIn(68);
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 68);
    EXPECT_EQ(m_device.bulkInEndPoint->bytesTransferred, 68);
    EXPECT_EQ(buffer[0], 0xA0);
    EXPECT_EQ(buffer[67], 0xA0 + 67);
    Request r = OnlyTransfer();
    EXPECT_EQ(r.code, IOCTL_DIRECT_TRANSFER);
    ASSERT_EQ(r.in.size(), 38u);
    ExpectZeroRecord(r.in, 0x81);
    EXPECT_EQ(Dword(r.in, 30), 0u);
    EXPECT_EQ(Dword(r.in, 34), 0u);
    EXPECT_EQ(r.outSize, 68u);
    EXPECT_FALSE(r.sameBuffer);
}

TEST_F(TransferTest, BufferedInCopiesTheDataOutOfTheRecord)
{
    OpenWithDriver(0x01050400);
    AnswerIn(38 + 68);
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 68);
    EXPECT_EQ(buffer[0], 0xA0);
    EXPECT_EQ(buffer[67], 0xA0 + 67);
    Request r = OnlyTransfer();
    EXPECT_EQ(r.code, IOCTL_BUFFERED_TRANSFER);
    ASSERT_EQ(r.in.size(), 38u + 68);
    EXPECT_TRUE(r.sameBuffer);
    ExpectZeroRecord(r.in, 0x81);
    EXPECT_EQ(Dword(r.in, 30), 38u);
    EXPECT_EQ(Dword(r.in, 34), 68u);
}

TEST_F(TransferTest, BufferedOutOfOneByteSendsAThirtyNineByteRecord)
{
    OpenWithDriver(0x01050400);
    BYTE command = 21;
    LONG length = 1;
    EXPECT_TRUE(m_device.bulkOutEndPoint->TransferData(&command, length));
    EXPECT_EQ(length, 1);
    Request r = OnlyTransfer();
    EXPECT_EQ(r.code, IOCTL_BUFFERED_TRANSFER);
    ASSERT_EQ(r.in.size(), 39u);
    ExpectZeroRecord(r.in, 0x01);
    EXPECT_EQ(Dword(r.in, 30), 38u);
    EXPECT_EQ(Dword(r.in, 34), 1u);
    EXPECT_EQ(r.in[38], 21);
}

TEST_F(TransferTest, ShortAnswerReportsTheBytesReceived)
{
    AnswerIn(40);
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 40);
}

TEST_F(TransferTest, NonZeroStatusFailsButStillReportsTheBytes)
{
    AnswerIn(68, 0xC0000004);
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_FALSE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 68);
    EXPECT_EQ(m_device.bulkInEndPoint->status1, 0xC0000004u);
}

TEST_F(TransferTest, ByteCountsBeyondTheRecordOrTheRoomFailWithoutCopying)
{
    struct Case {
        uint32_t driver;
        DWORD reported;
    };
    for (Case c : {Case{0x01050700, 69}, Case{0x01050700, 0xFFFFFFFF}, Case{0x01050400, 38 + 69}, Case{0x01050400, 20},
                   Case{0x01050400, 0xFFFFFFFF}}) {
        OpenWithDriver(c.driver);
        AnswerIn(c.reported);
        // The caller's room ends exactly at 68 bytes on the heap.
        auto buffer = std::make_unique<BYTE[]>(68);
        LONG length = 68;
        EXPECT_FALSE(m_device.bulkInEndPoint->TransferData(buffer.get(), length)) << c.reported;
        EXPECT_EQ(length, 0) << c.reported;
        EXPECT_EQ(m_device.bulkInEndPoint->bytesTransferred, 0);
    }
}

TEST_F(TransferTest, StaleLastErrorDoesNotFailATransferThatCompletedAtOnce)
{
    AnswerIn(68);
    std::array<BYTE, 68> buffer{};
    for (DWORD stale : {DWORD(ERROR_GEN_FAILURE), DWORD(ERROR_IO_PENDING)}) {
        LONG length = 68;
        SetLastError(stale);
        EXPECT_TRUE(m_device.bulkInEndPoint->TransferData(buffer.data(), length)) << stale;
        EXPECT_EQ(length, 68);
        EXPECT_EQ(m_device.bulkInEndPoint->lastError, 0u);
    }
}

TEST_F(TransferTest, TimeoutSendsOneAbortWithTheEndpointAddress)
{
    file().transfer = [this](DWORD, std::span<uint8_t>, std::span<uint8_t>, std::shared_ptr<IoRequest> request) {
        file().hold(std::move(request));
    };
    m_device.bulkInEndPoint->timeoutMs = 20;
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_FALSE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(file().held(), 0u);
    auto aborts = file().requests(IOCTL_ABORT_ENDPOINT);
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].in, Bytes{0x81});
    EXPECT_EQ(aborts[0].outSize, 0u);
    EXPECT_EQ(m_device.bulkInEndPoint->lastError, DWORD(ERROR_IO_PENDING));
}

TEST_F(TransferTest, ImmediateDriverErrorFailsWithoutWaiting)
{
    file().transfer = [](DWORD, std::span<uint8_t>, std::span<uint8_t>, std::shared_ptr<IoRequest> request) {
        request->complete(ERROR_DEVICE_NOT_CONNECTED, 0);
    };
    std::array<BYTE, 68> buffer{};
    LONG length = 68;
    EXPECT_FALSE(m_device.bulkInEndPoint->TransferData(buffer.data(), length));
    EXPECT_EQ(m_device.bulkInEndPoint->lastError, DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(file().requests(IOCTL_ABORT_ENDPOINT).empty());
}

TEST_F(TransferTest, ClosedDeviceSendsNothing)
{
    CBulkEndPoint* endPoint = m_device.bulkOutEndPoint;
    CBulkEndPoint detached(INVALID_HANDLE_VALUE, nullptr);
    BYTE command = 1;
    LONG length = 1;
    EXPECT_FALSE(detached.TransferData(&command, length));
    EXPECT_EQ(length, 0);
    EXPECT_NE(endPoint, nullptr);
    EXPECT_TRUE(file().requests().empty());
}

TEST_F(TransferTest, ControlTransferRecordFollowsTheSetupFields)
{
    struct Case {
        DWORD timeoutMs;
        DWORD direction, type, recipient;
        BYTE requestType;
        DWORD timeoutSeconds;
    };
    for (Case c : {Case{500, 1, 2, 0, 0xC0, 1}, Case{0, 0, 2, 0, 0x40, 0}, Case{10000, 0, 0, 1, 0x01, 10},
                   Case{1999, 1, 1, 2, 0xA2, 1}, Case{999, 1, 7, 0x3F, 0xFF, 1}}) {
        file().clear();
        CControlEndPoint* control = m_device.controlEndPoint;
        control->timeoutMs = c.timeoutMs;
        control->setupDirection = c.direction;
        control->setupType = c.type;
        control->setupRecipient = c.recipient;
        control->setupRequest = 0x33;
        control->setupValue = 0x1234;
        control->setupIndex = 0x5678;
        std::array<BYTE, 3> data{7, 8, 9};
        LONG length = 3;
        EXPECT_TRUE(control->TransferData(data.data(), length));
        EXPECT_EQ(length, 3);
        Request r = OnlyTransfer();
        EXPECT_EQ(r.code, IOCTL_CONTROL_TRANSFER);
        ASSERT_EQ(r.in.size(), 41u);
        EXPECT_EQ(r.in[0], c.requestType) << c.timeoutMs;
        EXPECT_EQ(r.in[1], 0x33);
        EXPECT_EQ(Word(r.in, 2), 0x1234);
        EXPECT_EQ(Word(r.in, 4), 0x5678);
        EXPECT_EQ(Word(r.in, 6), 3);
        EXPECT_EQ(Dword(r.in, 8), c.timeoutSeconds) << c.timeoutMs;
        EXPECT_EQ(r.in[13], 0);
        EXPECT_EQ(Dword(r.in, 30), 38u);
        EXPECT_EQ(Dword(r.in, 34), 3u);
        EXPECT_EQ(Bytes(r.in.begin() + 38, r.in.end()), (Bytes{7, 8, 9}));
        EXPECT_EQ(control->isIn, c.direction == 1);
    }
}

TEST_F(TransferTest, IsochronousRecordsReservePacketInfo)
{
    const BYTE descriptor[7] = {7, 5, 0x83, 1, 0x00, 0x02, 1};
    CIsocEndPoint iso(m_device.driverHandle, descriptor);
    ASSERT_EQ(iso.maxPacketSize, 512);
    std::vector<BYTE> data(1000, 0x5A);
    std::vector<BYTE> packetInfos(16, 0xEE);

    iso.directMode = 0;
    LONG length = 1000;
    EXPECT_TRUE(iso.TransferData(data.data(), length, packetInfos.data()));
    EXPECT_EQ(length, 1000);
    Request r = OnlyTransfer();
    EXPECT_EQ(r.code, IOCTL_BUFFERED_TRANSFER);
    ASSERT_EQ(r.in.size(), 38u + 16 + 1000);
    EXPECT_EQ(Dword(r.in, 22), 38u);
    EXPECT_EQ(Dword(r.in, 26), 16u);
    EXPECT_EQ(Dword(r.in, 30), 54u);
    EXPECT_EQ(Dword(r.in, 34), 1000u);
    EXPECT_EQ(r.in[54], 0x5A);
    EXPECT_EQ(packetInfos, std::vector<BYTE>(16, 0));

    file().clear();
    iso.directMode = 1;
    length = 1000;
    EXPECT_TRUE(iso.TransferData(data.data(), length));
    r = OnlyTransfer();
    EXPECT_EQ(r.code, IOCTL_DIRECT_TRANSFER);
    EXPECT_EQ(r.in.size(), 54u);
    EXPECT_EQ(r.outSize, 1000u);
    EXPECT_EQ(Dword(r.in, 30), 0u);

    file().clear();
    length = 0;
    EXPECT_FALSE(iso.TransferData(data.data(), length));
    EXPECT_TRUE(file().requests().empty());
}

TEST(EndPointDescriptor, HighBandwidthPacketSize)
{
    struct Case {
        WORD wMaxPacketSize;
        WORD packets, maxPacketSize;
    };
    for (Case c : {Case{0x1400, 3, 3072}, Case{0x0040, 1, 64}, Case{0x0BFF, 2, 2046}, Case{0x1FFF, 4, 8188}}) {
        const BYTE descriptor[7] = {7, 5, 0x81, 1, BYTE(c.wMaxPacketSize & 0xFF), BYTE(c.wMaxPacketSize >> 8), 4};
        CIsocEndPoint endPoint(INVALID_HANDLE_VALUE, descriptor);
        EXPECT_EQ(endPoint.packetsPerInterval, c.packets);
        EXPECT_EQ(endPoint.maxPacketSize, c.maxPacketSize);
        EXPECT_EQ(endPoint.interval, 4);
        EXPECT_TRUE(endPoint.isIn);
        EXPECT_EQ(endPoint.timeoutMs, 10000u);
    }
    CControlEndPoint control(INVALID_HANDLE_VALUE, nullptr);
    EXPECT_EQ(control.setupType, 2u);
    EXPECT_EQ(control.directMode, 0u);
}
