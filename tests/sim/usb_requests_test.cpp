#include "sim/amplifier.h"
#include "sim/usb_device.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

using namespace simtest;
using platform::bus::Setup;
using sim::Bytes;

namespace {

struct Answer {
    Status status;
    Bytes bytes;
};

Answer request(platform::bus::Device& d, uint8_t type, uint8_t req, uint16_t value, uint16_t index, uint16_t length)
{
    Bytes data(length, 0);
    auto r = d.control(Setup{type, req, value, index, length}, data);
    data.resize(r.bytes);
    return {r.status, data};
}

Answer descriptor(platform::bus::Device& d, uint16_t value, uint16_t length, uint16_t index = 0)
{
    return request(d, 0x80, 6, value, index, length);
}

std::u16string text_of(const Bytes& string)
{
    std::u16string text;
    for (size_t i = 2; i + 1 < string.size(); i += 2) text.push_back(char16_t(string[i] | string[i + 1] << 8));
    return text;
}

class AmplifierDescriptors : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
};

TEST_F(AmplifierDescriptors, DeviceAndConfigurationDescribeOneVendorInterfaceWithTwoBulkPipes)
{
    sim::Amplifier amp;
    Answer dev = descriptor(amp, 0x0100, 18);
    ASSERT_EQ(dev.status, Status::ok);
    ASSERT_EQ(dev.bytes.size(), 18u);
    EXPECT_EQ(dev.bytes[1], 1);
    EXPECT_EQ(dev.bytes[17], 1);  // one configuration

    Answer head = descriptor(amp, 0x0200, 9);
    ASSERT_EQ(head.bytes.size(), 9u);
    uint16_t total = head.bytes[2] | head.bytes[3] << 8;
    Answer whole = descriptor(amp, 0x0200, total);
    EXPECT_EQ(whole.bytes, (Bytes{9, 2, 32,   0, 1,    1,    0, 0x80, 250,  //
                                  9, 4, 0,    0, 2,    0xFF, 0, 0,    0,    //
                                  7, 5, 0x01, 2, 0x00, 0x02, 0,             //
                                  7, 5, 0x81, 2, 0x00, 0x02, 0}));
}

TEST_F(AmplifierDescriptors, ProductStringCarriesTheModelDigitAtUnitFive)
{
    sim::Amplifier quorvex;
    sim::Amplifier pellion(sim::AmplifierOptions{.model = sim::Model::pellion});
    sim::Amplifier custom(sim::AmplifierOptions{.product = std::string("Something else")});
    EXPECT_EQ(text_of(descriptor(quorvex, 0x0302, 255, 0x0409).bytes)[5], u'4');
    EXPECT_EQ(text_of(descriptor(pellion, 0x0302, 255, 0x0409).bytes)[5], u'2');
    EXPECT_EQ(text_of(descriptor(custom, 0x0302, 255, 0x0409).bytes), u"Something else");
    EXPECT_EQ(descriptor(quorvex, 0x0300, 255).bytes, (Bytes{4, 3, 0x09, 0x04}));
    EXPECT_FALSE(text_of(descriptor(quorvex, 0x0301, 255, 0x0409).bytes).empty());
    EXPECT_FALSE(text_of(descriptor(quorvex, 0x0303, 255, 0x0409).bytes).empty());
}

TEST_F(AmplifierDescriptors, AUtf8ProductGoesOutAsUtf16WithSurrogatePairs)
{
    // "Q4 Ω€😀": Ω U+03A9, € U+20AC, 😀 U+1F600 (D83D DE00).
    sim::Amplifier amp(sim::AmplifierOptions{.product = std::string("Q4 \xCE\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")});
    EXPECT_EQ(descriptor(amp, 0x0302, 255, 0x0409).bytes,
              (Bytes{16, 3, 'Q', 0, '4', 0, ' ', 0, 0xA9, 0x03, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(Utf8ToUtf16, MalformedSequencesAreRefused)
{
    EXPECT_EQ(sim::utf16_from_utf8("a\xC3\xA9"), std::u16string(u"a\u00E9"));
    EXPECT_EQ(sim::utf16_from_utf8(""), std::u16string());
    for (std::string bad : {"\xFF", "\x80", "\xC3", "\xC3\x28", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(sim::utf16_from_utf8(bad))
            << sim::WireLog::hex(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
    // Malformed text still goes out, one unit per byte.
    EXPECT_EQ(sim::text_descriptor("Q\xFF"), (Bytes{6, 3, 'Q', 0, 0xFF, 0}));
}

TEST_F(AmplifierDescriptors, EveryKindIsTruncatedToTheRequestedLength)
{
    sim::Amplifier amp;
    struct Case {
        uint16_t value, length;
        size_t expected;
    };
    for (Case c : {Case{0x0100, 8, 8}, Case{0x0100, 64, 18}, Case{0x0200, 4, 4}, Case{0x0200, 512, 32},
                   Case{0x0300, 2, 2}, Case{0x0302, 2, 2}, Case{0x0302, 7, 7}, Case{0x0100, 0, 0}}) {
        Answer a = descriptor(amp, c.value, c.length);
        EXPECT_EQ(a.status, Status::ok) << std::hex << c.value;
        EXPECT_EQ(a.bytes.size(), c.expected) << std::hex << c.value << " " << c.length;
    }
    EXPECT_EQ(descriptor(amp, 0x0302, 2).bytes[0], 42);  // bLength still tells the whole size
}

TEST_F(AmplifierDescriptors, StandardRequestsAnswerAndUnknownOnesStall)
{
    sim::Amplifier amp;
    EXPECT_EQ(request(amp, 0x80, 8, 0, 0, 1).bytes, Bytes{1});          // GET_CONFIGURATION
    EXPECT_EQ(request(amp, 0x81, 10, 0, 0, 1).bytes, Bytes{0});         // GET_INTERFACE
    EXPECT_EQ(request(amp, 0x80, 0, 0, 0, 2).bytes, (Bytes{0, 0}));     // GET_STATUS device
    EXPECT_EQ(request(amp, 0x82, 0, 0, 0x81, 2).bytes, (Bytes{0, 0}));  // GET_STATUS endpoint
    EXPECT_EQ(request(amp, 0x01, 11, 0, 0, 0).status, Status::ok);      // SET_INTERFACE 0/0
    for (auto [type, req, value, index] :
         std::vector<std::array<uint16_t, 4>>{{0x01, 11, 1, 0},          // SET_INTERFACE to a missing alternate setting
                                              {0x81, 10, 0, 3},          // GET_INTERFACE of a missing interface
                                              {0x80, 6, 0x0200 | 1, 0},  // second configuration
                                              {0x80, 6, 0x0304, 0x0409},  // string 4
                                              {0x80, 6, 0x0600, 0},       // device qualifier
                                              {0xC0, 1, 0, 0},            // vendor request
                                              {0x00, 3, 1, 0}})           // SET_FEATURE
        EXPECT_EQ(request(amp, uint8_t(type), uint8_t(req), value, index, 8).status, Status::stall)
            << type << "/" << req << "/" << value;
}

TEST_F(AmplifierDescriptors, ControlTransfersAreLoggedOnEndpointZero)
{
    sim::Amplifier amp;
    descriptor(amp, 0x0100, 18);
    EXPECT_EQ(amp.log().sequence({.control = true}), "ctl [80 06 00 01 00 00 12 00]");
    EXPECT_EQ(amp.log().sequence(), "");
}

class CustomDescriptors : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};

    static sim::DescriptorSet two_configurations()
    {
        sim::DescriptorSet set;
        sim::DeviceFields fields;
        fields.configCount = 2;
        set.device = sim::device_descriptor(fields);
        set.configurations.push_back(sim::ConfigBuilder(1)
                                         .interface(0, 0)
                                         .endpoint(0x81, 2)
                                         .interface(0, 1)
                                         .raw({5, 0x24, 1, 2, 3})
                                         .raw({4, 0x24, 9, 9})
                                         .endpoint(0x82, 2)
                                         .endpoint(0x02, 2)
                                         .build());
        set.configurations.push_back(sim::ConfigBuilder(2).interface(0, 0).endpoint(0x83, 3, 64, 1).build());
        set.strings[0] = sim::language_table({0x0407, 0x0409});
        set.strings[2] = sim::string_descriptor(std::u16string_view(u"AB"));
        return set;
    }
};

TEST_F(CustomDescriptors, BuilderCountsLengthsInterfacesAndEndpointsAroundClassBlocks)
{
    sim::UsbDevice dev(two_configurations(), "1-1");
    Bytes block = descriptor(dev, 0x0200, 255).bytes;
    ASSERT_EQ(block.size(), 9u + 9 + 7 + 9 + 5 + 4 + 7 + 7);
    EXPECT_EQ(block[2] | block[3] << 8, int(block.size()));
    EXPECT_EQ(block[4], 1);       // one interface number, two settings
    EXPECT_EQ(block[9 + 4], 1);   // alt 0: one endpoint
    EXPECT_EQ(block[25 + 4], 2);  // alt 1: two endpoints, class blocks not counted
    Bytes second = descriptor(dev, 0x0201, 255).bytes;
    EXPECT_EQ(second[5], 2);
    EXPECT_EQ(descriptor(dev, 0x0300, 255).bytes, (Bytes{6, 3, 0x07, 0x04, 0x09, 0x04}));
    EXPECT_EQ(descriptor(dev, 0x0302, 255).bytes, (Bytes{6, 3, 'A', 0, 'B', 0}));
    EXPECT_EQ(descriptor(dev, 0x0301, 255).status, Status::stall);
}

TEST_F(CustomDescriptors, CurrentAlternateSettingIsSettableAndReported)
{
    sim::UsbDevice dev(two_configurations(), "1-1");
    dev.set_alt_setting(0, 1);
    EXPECT_EQ(request(dev, 0x81, 10, 0, 0, 1).bytes, Bytes{1});
    EXPECT_EQ(request(dev, 0x01, 11, 0, 0, 0).status, Status::ok);
    EXPECT_EQ(dev.alt_setting(0), 0);
    EXPECT_EQ(request(dev, 0x00, 9, 2, 0, 0).status, Status::ok);  // SET_CONFIGURATION 2
    EXPECT_EQ(request(dev, 0x80, 8, 0, 0, 1).bytes, Bytes{2});
    EXPECT_EQ(request(dev, 0x01, 11, 1, 0, 0).status, Status::stall);  // no alt 1 there
    EXPECT_EQ(request(dev, 0x00, 9, 7, 0, 0).status, Status::stall);
}

TEST_F(CustomDescriptors, MalformedBlocksAndOverridesArePresentedAsGiven)
{
    sim::DescriptorSet set;
    set.device = Bytes{18, 1, 0, 2};  // a device descriptor cut short
    set.configurations.push_back(sim::ConfigBuilder()
                                     .interface(0, 0)
                                     .num_endpoints(3)
                                     .endpoint(0x81, 2)
                                     .raw({0, 5})
                                     .total_length(200)
                                     .num_interfaces(4)
                                     .build());
    sim::UsbDevice dev(set, std::string(300, 'x'));
    EXPECT_EQ(descriptor(dev, 0x0100, 18).bytes, (Bytes{18, 1, 0, 2}));
    Bytes block = descriptor(dev, 0x0200, 255).bytes;
    EXPECT_EQ(block.size(), 9u + 9 + 7 + 2);
    EXPECT_EQ(block[2], 200);
    EXPECT_EQ(block[4], 4);
    EXPECT_EQ(block[13], 3);
    EXPECT_EQ(dev.location().size(), 300u);
    EXPECT_EQ(request(dev, 0x81, 10, 0, 0, 1).bytes, Bytes{0});  // the zero-length block ends the walk
}

class RawInPackets : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    sim::UsbDevice dev{sim::amplifier_descriptors(1, "QRVX-4 test", "1"), "1-2"};
};

TEST_F(RawInPackets, QueuedPacketsOfAnyLengthAnswerReadsInOrder)
{
    dev.queue_in(Bytes(3, 7));
    dev.queue_in(Bytes(68, 1));
    dev.queue_in(Bytes{});
    EXPECT_EQ(read(dev).bytes, Bytes(3, 7));
    EXPECT_EQ(read(dev).bytes.size(), 68u);
    Transfer empty = read(dev);
    EXPECT_EQ(empty.status, Status::ok);
    EXPECT_TRUE(empty.bytes.empty());
}

TEST_F(RawInPackets, PendingReadWaitsForAPacketAndCancelEndsIt)
{
    PendingRead first(dev), second(dev);
    EXPECT_FALSE(first.done());
    EXPECT_EQ(dev.pending_reads(), 2u);
    dev.queue_in(Bytes{1, 2});
    EXPECT_EQ(first.wait().bytes, (Bytes{1, 2}));
    EXPECT_FALSE(second.done());
    dev.cancel(0x81);
    Transfer t = second.wait();
    EXPECT_EQ(t.status, Status::cancelled);
    EXPECT_TRUE(t.bytes.empty());
    EXPECT_EQ(dev.pending_reads(), 0u);
}

TEST_F(RawInPackets, PacketLongerThanTheRoomFillsItAndFails)
{
    dev.queue_in(Bytes(100, 5));
    Transfer t = read(dev, 68);
    EXPECT_EQ(t.status, Status::error);
    EXPECT_EQ(t.bytes.size(), 68u);
}

TEST_F(RawInPackets, SeveralDevicesKeepTheirOwnQueuesAndLogs)
{
    sim::UsbDevice other{sim::amplifier_descriptors(2, "PLLN-2 test", "2"), "1-3"};
    dev.queue_in(Bytes{1});
    other.queue_in(Bytes{2});
    send(other, {21});
    EXPECT_EQ(read(other).bytes, Bytes{2});
    EXPECT_EQ(read(dev).bytes, Bytes{1});
    EXPECT_EQ(other.log().commands(), std::vector<Bytes>{Bytes{21}});
    EXPECT_TRUE(dev.log().commands().empty());
}

}  // namespace
