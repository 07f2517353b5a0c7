#include "sim/amplifier.h"
#include "sim_support.h"

#include "platform/win32/clock.h"

#include <gtest/gtest.h>

using namespace simtest;
using sim::Bytes;

namespace {

const Bytes kCalibration10Hz{9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x7E};

class AmplifierProtocol : public ::testing::Test {
protected:
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped{clock};
    std::unique_ptr<sim::Amplifier> amp;

    void make(sim::AmplifierOptions options = {})
    {
        amp = std::make_unique<sim::Amplifier>(options);
        clock.on_sleep = [this](uint32_t ms) { amp->log().wait(ms); };
    }
    void SetUp() override { make({.serial = 0x1234, .firmware = 23, .usbDriver = 11}); }
    void TearDown() override { amp.reset(); }
};

TEST_F(AmplifierProtocol, VersionQueryIsAnsweredWithTheVersionReply)
{
    send(*amp, {1});
    send(*amp, {21});
    Transfer t = read(*amp, 68);
    ASSERT_EQ(t.status, Status::ok);
    ASSERT_EQ(t.bytes.size(), 68u);
    EXPECT_EQ(Bytes(t.bytes.begin(), t.bytes.begin() + 5), (Bytes{0x63, 11, 23, 0x34, 0x12}));
    EXPECT_EQ(Bytes(t.bytes.begin() + 5, t.bytes.end()), Bytes(63, 0));
}

TEST_F(AmplifierProtocol, NoReplyWithoutAQueryAndNoSamplesWhileStopped)
{
    send(*amp, {1});
    send(*amp, {3});
    PendingRead r(*amp);
    EXPECT_FALSE(r.done());
    amp->cancel(0x81);
    EXPECT_EQ(r.wait().status, Status::cancelled);
}

TEST_F(AmplifierProtocol, SamplePacketsCarryAHeaderAnd32LittleEndianValues)
{
    send(*amp, {1});
    send(*amp, {5});  // impedance: channels 0 to 4 are small kilohm values, the rest midscale
    send(*amp, {10});
    Transfer t = read(*amp, 68);
    ASSERT_EQ(t.bytes.size(), 68u);
    EXPECT_EQ(t.bytes[0], 0x53);
    EXPECT_EQ(t.bytes[2], 5);  // mode
    EXPECT_EQ(t.bytes[3], 7);  // range
    for (int f = 0; f < 4; ++f) {
        for (int c = 0; c < 5; ++c) EXPECT_LE(value(t.bytes, f, c), 30) << f << "/" << c;
        for (int c = 5; c < 8; ++c) EXPECT_EQ(value(t.bytes, f, c), 32768) << f << "/" << c;
    }
    EXPECT_EQ(read(*amp, 68).bytes[1], t.bytes[1] + 1);  // sequence number
}

TEST_F(AmplifierProtocol, StreamIsPacedAtTheConfiguredRate)
{
    make({.rate = 512});
    send(*amp, {1});
    send(*amp, {10});
    auto start = clock.now();
    for (int i = 0; i < 128; ++i) read(*amp, 68);
    EXPECT_EQ(clock.now() - start, std::chrono::seconds(1));  // 512 / 4 packets a second
}

TEST_F(AmplifierProtocol, SecondStartJoinsTheStreamAndStopEndsIt)
{
    send(*amp, {1});
    send(*amp, {10});
    read(*amp, 68);
    send(*amp, {10});
    EXPECT_EQ(amp->state().packetsSent, 1u);
    read(*amp, 68);
    EXPECT_EQ(amp->state().packetsSent, 2u);
    send(*amp, {11});
    EXPECT_FALSE(amp->state().streaming);
    PendingRead r(*amp);
    EXPECT_FALSE(r.done());
    amp->cancel(0x81);
    EXPECT_EQ(r.wait().status, Status::cancelled);
}

TEST_F(AmplifierProtocol, VersionQueryDuringAStreamIsAnsweredAheadOfTheNextSamplePacket)
{
    send(*amp, {1});
    send(*amp, {10});
    EXPECT_EQ(read(*amp, 68).bytes[0], 0x53);
    send(*amp, {21});
    EXPECT_EQ(read(*amp, 68).bytes[0], 0x63);
    EXPECT_EQ(read(*amp, 68).bytes[0], 0x53);
}

TEST_F(AmplifierProtocol, PowerOffStreamsNothingAnswersNothingButLogsEverything)
{
    send(*amp, {21});
    send(*amp, {10});
    PendingRead r(*amp);
    EXPECT_FALSE(r.done());
    EXPECT_FALSE(amp->state().streaming);
    amp->cancel(0x81);
    EXPECT_EQ(r.wait().status, Status::cancelled);
    send(*amp, {1});
    send(*amp, {10});
    send(*amp, {21});
    send(*amp, {2});  // power off ends the stream and drops the unread reply
    EXPECT_FALSE(amp->state().streaming);
    PendingRead after(*amp);
    EXPECT_FALSE(after.done());
    amp->cancel(0x81);
    EXPECT_EQ(after.wait().status, Status::cancelled);
    EXPECT_EQ(amp->log().sequence(), "21; 10; 1; 10; 21; 2");
}

TEST_F(AmplifierProtocol, MalformedCalibrationPacketIsIgnored)
{
    send(*amp, {1});
    send(*amp, kCalibration10Hz);
    for (Bytes bad :
         {Bytes{9, 0x31, 1, 0x21, 0, 0x32, 0, 0x23, 0, 255}, Bytes{9, 0x30, 1, 0x21, 0, 0x32, 0, 0x24, 0, 255},
          Bytes{9, 0x30, 1, 0x21, 0, 0x32, 0, 0x23, 0}, Bytes{9}}) {
        send(*amp, bad);
        EXPECT_EQ(amp->state().signal.calWord, 10737u);
        EXPECT_EQ(amp->state().signal.calAmplitude, 126);
    }
    EXPECT_EQ(amp->log().notes(), std::vector<std::string>(4, "malformed calibration packet"));
}

TEST_F(AmplifierProtocol, EachModelIgnoresTheCodesItDoesNotKnow)
{
    send(*amp, {1});
    for (uint8_t code : {0, 20, 22, 255}) send(*amp, {code});
    EXPECT_EQ(amp->state().signal.notchHz, 60);
    EXPECT_EQ(amp->log().notes().size(), 4u);

    make({.model = sim::Model::pellion});
    send(*amp, {1});
    for (uint8_t code : {12, 13, 16, 17, 0xFE}) send(*amp, {code});
    send(*amp, kCalibration10Hz);
    sim::SignalSettings s = amp->state().signal;
    EXPECT_EQ(s.channels, 2);
    EXPECT_TRUE(s.refLinked);
    EXPECT_EQ(s.calWord, 10737u);
    EXPECT_EQ(amp->log().notes(),
              (std::vector<std::string>{"unknown command 12", "unknown command 13", "unknown command 16",
                                        "unknown command 17", "unknown command 254", "unknown command 9"}));
    send(*amp, {19});
    send(*amp, {20});
    EXPECT_EQ(amp->state().signal.notchHz, 0);
}

TEST_F(AmplifierProtocol, CommandsSetWhatTheAmplifierMeasures)
{
    send(*amp, {1});
    struct Case {
        uint8_t code;
        bool (*check)(const sim::SignalSettings&);
    };
    // Each code moves the setting away from where the one before left it.
    for (Case c : {Case{3, [](const sim::SignalSettings& s) { return s.mode == 3; }},
                   Case{5, [](const sim::SignalSettings& s) { return s.mode == 5; }},
                   Case{6, [](const sim::SignalSettings& s) { return s.range == 6; }},
                   Case{8, [](const sim::SignalSettings& s) { return s.range == 8; }},
                   Case{12, [](const sim::SignalSettings& s) { return s.channels == 4; }},
                   Case{13, [](const sim::SignalSettings& s) { return s.channels == 2; }},
                   Case{14, [](const sim::SignalSettings& s) { return s.aux; }},
                   Case{15, [](const sim::SignalSettings& s) { return !s.aux; }},
                   Case{17, [](const sim::SignalSettings& s) { return !s.refLinked; }},
                   Case{16, [](const sim::SignalSettings& s) { return s.refLinked; }},
                   Case{19, [](const sim::SignalSettings& s) { return s.notchHz == 50; }},
                   Case{18, [](const sim::SignalSettings& s) { return s.notchHz == 60; }}}) {
        send(*amp, {c.code});
        EXPECT_TRUE(c.check(amp->state().signal)) << int(c.code);
    }
}

TEST_F(AmplifierProtocol, PowersUpAsThePanelsSwitchesShowAtStart)
{
    for (sim::Model model : {sim::Model::quorvex, sim::Model::pellion}) {
        make({.model = model});
        send(*amp, {1});
        sim::SignalSettings s = amp->state().signal;
        EXPECT_EQ(s.mode, 4);      // Mode at "CAL" / "Test"
        EXPECT_EQ(s.range, 7);     // Range at "100"
        EXPECT_EQ(s.channels, 2);  // channel toggle down: "2 Ch."
        EXPECT_FALSE(s.aux);       // "Aux OFF"
        EXPECT_TRUE(s.refLinked);  // "Link REF"
        EXPECT_EQ(s.notchHz, 60);  // "60Hz" (toggle down, or the rotary at 0)
        EXPECT_EQ(s.calWord, 10737u);
        EXPECT_EQ(s.calAmplitude, 126);
    }
}

TEST_F(AmplifierProtocol, PowerCycleResetsModeAndRangeAndKeepsTheOtherSwitches)
{
    const Bytes calibration2Hz{9, 0x30, 0x63, 0x21, 0x08, 0x32, 0x00, 0x23, 0x00, 0x19};
    send(*amp, {1});
    for (Bytes c : {Bytes{3}, Bytes{8}, Bytes{12}, Bytes{14}, Bytes{17}, Bytes{19}, calibration2Hz}) send(*amp, c);
    send(*amp, {2});
    send(*amp, {6});  // ignored while off
    send(*amp, {1});
    sim::SignalSettings s = amp->state().signal;
    EXPECT_EQ(s.mode, 4);
    EXPECT_EQ(s.range, 7);
    EXPECT_EQ(s.channels, 4);
    EXPECT_TRUE(s.aux);
    EXPECT_FALSE(s.refLinked);
    EXPECT_EQ(s.notchHz, 50);
    EXPECT_EQ(s.calWord, 2147u);
    EXPECT_EQ(s.calAmplitude, 25);
    send(*amp, {1});  // a second power-on while on changes nothing
    send(*amp, {3});
    send(*amp, {1});
    EXPECT_EQ(amp->state().signal.mode, 3);
}

TEST_F(AmplifierProtocol, SequenceNumberStartsAtZeroForEachStream)
{
    send(*amp, {1});
    send(*amp, {10});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(read(*amp, 68).bytes[1], i);
    send(*amp, {11});
    send(*amp, {10});
    EXPECT_EQ(read(*amp, 68).bytes[1], 0);
    EXPECT_EQ(read(*amp, 68).bytes[1], 1);
    send(*amp, {2});
    send(*amp, {1});
    send(*amp, {10});
    EXPECT_EQ(read(*amp, 68).bytes[1], 0);
}

TEST_F(AmplifierProtocol, SequenceNumberWrapsAt256)
{
    send(*amp, {1});
    send(*amp, {10});
    std::vector<int> seen;
    for (int i = 0; i < 258; ++i) seen.push_back(read(*amp, 68).bytes[1]);
    EXPECT_EQ(std::vector<int>(seen.begin() + 254, seen.end()), (std::vector<int>{254, 255, 0, 1}));
}

}  // namespace
