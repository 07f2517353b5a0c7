#include "sim/amplifier.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace simtest;
using sim::Bytes;
using sim::Fault;

namespace {

class AmplifierFaults : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    sim::Amplifier amp;

    void SetUp() override { send(amp, {1}); }
    void streaming() { send(amp, {10}); }
    std::u16string product()
    {
        Bytes data(255);
        auto r = amp.control({0x80, 6, 0x0302, 0x0409, 255}, data);
        std::u16string text;
        for (uint32_t i = 2; i + 1 < r.bytes; i += 2) text.push_back(char16_t(data[i] | data[i + 1] << 8));
        return text;
    }
};

TEST_F(AmplifierFaults, FaultNamesRoundTrip)
{
    for (Fault f : {Fault::no_answer, Fault::short_packets, Fault::garbled, Fault::status, Fault::detach,
                    Fault::wrong_product, Fault::old_driver})
        EXPECT_EQ(sim::parse_fault(sim::fault_name(f)), f);
    EXPECT_EQ(sim::parse_fault("short"), Fault::short_packets);
    EXPECT_FALSE(sim::parse_fault("loud"));
}

TEST_F(AmplifierFaults, NoAnswerHoldsEveryReadUntilCancelled)
{
    amp.set_fault(Fault::no_answer, true);
    streaming();
    send(amp, {21});
    PendingRead r(amp);
    EXPECT_FALSE(r.done());
    amp.cancel(0x81);
    EXPECT_EQ(r.wait().status, Status::cancelled);
    amp.set_fault(Fault::no_answer, false);
    EXPECT_EQ(read(amp, 68).bytes[0], 0x63);  // the held reply comes once answering resumes
    EXPECT_EQ(read(amp, 68).bytes[0], 0x53);
}

TEST_F(AmplifierFaults, ShortPacketsAreCutForRepliesAndSamples)
{
    amp.set_fault(Fault::short_packets, true);
    send(amp, {21});
    Transfer reply = read(amp, 68);
    EXPECT_EQ(reply.bytes.size(), 40u);
    EXPECT_EQ(reply.bytes[0], 0x63);
    amp.set_short_length(67);
    streaming();
    EXPECT_EQ(read(amp, 68).bytes.size(), 67u);
}

TEST_F(AmplifierFaults, GarbledPacketsHaveAWrongFirstByte)
{
    amp.set_fault(Fault::garbled, true);
    send(amp, {21});
    Transfer reply = read(amp, 68);
    ASSERT_EQ(reply.bytes.size(), 68u);
    EXPECT_NE(reply.bytes[0], 0x63);
    streaming();
    Transfer a = read(amp, 68), b = read(amp, 68);
    EXPECT_NE(a.bytes[0], 0x53);
    EXPECT_NE(Bytes(a.bytes.begin() + 4, a.bytes.end()), Bytes(b.bytes.begin() + 4, b.bytes.end()));
}

TEST_F(AmplifierFaults, StatusFaultFailsTransfersBothWays)
{
    amp.set_fault(Fault::status, true);
    EXPECT_EQ(send(amp, {3}).status, Status::error);
    EXPECT_EQ(amp.state().signal.mode, 4);  // the failed command did not arrive
    EXPECT_EQ(read(amp, 68).status, Status::error);
    amp.set_fault(Fault::status, false);
    streaming();
    amp.set_fault(Fault::status, true);
    Transfer t = read(amp, 68);
    EXPECT_EQ(t.status, Status::error);
    EXPECT_TRUE(t.bytes.empty());
    EXPECT_EQ(amp.log().sequence({.reads = true}), "1; 3; in error; 10; in error");
}

TEST_F(AmplifierFaults, DetachUnplugsAfterAFewPacketsAndFailsPendingReads)
{
    std::atomic<int> detached = 0;
    amp.set_detach_handler([&] { ++detached; });
    amp.set_detach_after(2);
    amp.set_fault(Fault::detach, true);
    streaming();
    EXPECT_EQ(read(amp, 68).status, Status::ok);
    PendingRead second(amp), third(amp);
    EXPECT_EQ(second.wait().status, Status::ok);
    EXPECT_EQ(third.wait().status, Status::no_device);
    EXPECT_EQ(detached, 1);
    EXPECT_EQ(send(amp, {11}).status, Status::no_device);
    amp.set_fault(Fault::detach, false);
    EXPECT_EQ(send(amp, {11}).status, Status::ok);
}

TEST_F(AmplifierFaults, WrongProductAndOldDriverChangeWhatTheHostReads)
{
    EXPECT_EQ(product()[5], u'4');
    amp.set_fault(Fault::wrong_product, true);
    EXPECT_NE(product()[5], u'4');
    amp.set_fault(Fault::wrong_product, false);
    EXPECT_EQ(product(), u"QRVX-4 EEG Amplifier");
    amp.set_product("QRVX-2 look-alike");
    EXPECT_EQ(product()[5], u'2');

    EXPECT_EQ(amp.driver_version(), 0u);
    amp.set_fault(Fault::old_driver, true);
    EXPECT_EQ(amp.driver_version(), 0x01050400u);
}

TEST_F(AmplifierFaults, CustomDescriptorBlocksReplaceTheAmplifiersOwn)
{
    sim::DescriptorSet set = amp.descriptors();
    set.configurations = {sim::ConfigBuilder().interface(0, 0).raw({0, 0}).build()};
    amp.set_descriptors(set);
    Bytes data(255);
    auto r = amp.control({0x80, 6, 0x0200, 0, 255}, data);
    EXPECT_EQ(r.bytes, 9u + 9 + 2);
}

}  // namespace
