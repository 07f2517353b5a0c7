#include "amp/packets.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class VersionReplyDecoding : public testing::Test {
protected:
    std::vector<BYTE> reply = std::vector<BYTE>(AMP_PACKET_LENGTH, 0);
    int versionBytes[4] = {7, 7, 7, 7};

    void SetUp() override
    {
        reply[0] = 'c';
        reply[1] = 3;
        reply[2] = 12;
        reply[3] = 0xD2;
        reply[4] = 0x04;
    }
};

TEST_F(VersionReplyDecoding, WholeReplyFillsFourUnsignedValues)
{
    reply[2] = 0xFF;
    ASSERT_TRUE(VersionReply::Decode(reply.data(), int(reply.size()), versionBytes));
    EXPECT_EQ(versionBytes[0], 3);
    EXPECT_EQ(versionBytes[1], 255);
    EXPECT_EQ(versionBytes[2], 0xD2);
    EXPECT_EQ(versionBytes[3], 0x04);
}

TEST_F(VersionReplyDecoding, ShortReplyFailsAndIsNotReadPastItsEnd)
{
    // Exactly 67 bytes of heap: AddressSanitizer catches any read of a 68th.
    std::vector<BYTE> shortReply(reply.begin(), reply.end() - 1);
    EXPECT_FALSE(VersionReply::Decode(shortReply.data(), int(shortReply.size()), versionBytes));
    EXPECT_FALSE(VersionReply::Decode(shortReply.data(), 0, versionBytes));
    EXPECT_EQ(versionBytes[0], 7);
}

TEST_F(VersionReplyDecoding, ReplyNotStartingWithCFails)
{
    reply[0] = 'C';
    EXPECT_FALSE(VersionReply::Decode(reply.data(), int(reply.size()), versionBytes));
    EXPECT_EQ(versionBytes[1], 7);
}

TEST_F(VersionReplyDecoding, LongerTransferIsNotAReply)
{
    reply.resize(69);
    EXPECT_FALSE(VersionReply::Decode(reply.data(), int(reply.size()), versionBytes));
}

class SamplePacketDecoding : public testing::Test {
protected:
    std::vector<BYTE> packet = std::vector<BYTE>(AMP_PACKET_LENGTH, 0);
    LONG values[SAMPLE_VALUE_COUNT] = {};
};

TEST_F(SamplePacketDecoding, ValuesAreLittleEndianFromByteFourAndNeverNegative)
{
    packet[0] = 0xAA;  // the header is not part of any value
    packet[4] = 0x34;
    packet[5] = 0x12;
    packet[66] = 0xFF;
    packet[67] = 0xFF;
    ASSERT_TRUE(SamplePacket::Decode(packet.data(), int(packet.size()), values));
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[31], 65535);
}

TEST_F(SamplePacketDecoding, EveryValueComesFromItsOwnBytes)
{
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) {
        packet[4 + 2 * i] = BYTE(i);
        packet[5 + 2 * i] = BYTE(0x80 + i);
    }
    ASSERT_TRUE(SamplePacket::Decode(packet.data(), int(packet.size()), values));
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) EXPECT_EQ(values[i], (0x80 + i) * 256 + i) << i;
}

TEST_F(SamplePacketDecoding, ShortPacketIsRefusedUntouched)
{
    values[0] = 99;
    std::vector<BYTE> shortPacket(packet.begin(), packet.end() - 1);
    EXPECT_FALSE(SamplePacket::Decode(shortPacket.data(), int(shortPacket.size()), values));
    EXPECT_EQ(values[0], 99);
}

}  // namespace
