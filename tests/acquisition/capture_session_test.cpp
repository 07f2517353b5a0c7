#include "capture_fixture.h"

#include "amp/link.h"

#include <csignal>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

CaptureLimit Packets(uint64_t n)
{
    CaptureLimit limit;
    limit.packets = n;
    return limit;
}

CaptureSettings Eeg()
{
    CaptureSettings s;
    s.mode = 3;
    return s;
}

// ---- a whole session on the wire, each model with its own power-on and shutdown

using CaptureSession = CaptureTest;

TEST_F(CaptureSession, QuorvexPowersOnAsAtStartUpStreamsWithTwoStartsThenStopsBeforePowerOff)
{
    Plug({.serial = 2345, .firmware = 31, .usbDriver = 12});
    ASSERT_TRUE(m_session->Open());
    ASSERT_TRUE(m_session->PowerOn());
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), Packets(8), sink, result));
    m_session->Close();

    EXPECT_EQ(Sequence(), "1; wait 750; 21; wait 200; 9; 3; 10; 10; 11; 2; wait 500");
    EXPECT_NE(Sequence({.calibration_hex = true}).find("9 [09 30 f1 21 29 32 00 23 00 7e]"), std::string::npos);
    const AmplifierIdentity& id = m_session->Identity();
    EXPECT_EQ(id.model, &QUORVEX_MODEL);
    EXPECT_EQ(id.product, "QRVX-4 EEG Amplifier");
    EXPECT_EQ(id.usbSerial, "QX02345");
    EXPECT_TRUE(id.versionRead);
    EXPECT_EQ(id.serialNumber, 2345);
    EXPECT_EQ(id.firmwareVersion, 31);
    EXPECT_EQ(id.usbDriverVersion, 12);
    EXPECT_EQ(id.hostDriverVersion, 0x01050700u);
    EXPECT_EQ(result.end, CaptureEnd::limit);
    EXPECT_EQ(result.packets, 8u);
    EXPECT_EQ(sink.packets.size(), 8u);
    EXPECT_FALSE(m_amp->state().powered);
}

TEST_F(CaptureSession, PellionPowersOnAsItsPowerSwitchDoesAndShutsDownWithoutAWait)
{
    PlugPellion({.serial = 4321, .firmware = 7, .usbDriver = 3});
    ASSERT_TRUE(m_session->Open());
    ASSERT_TRUE(m_session->PowerOn());
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), Packets(8), sink, result));
    m_session->Close();

    EXPECT_EQ(Sequence(), "1; wait 250; 4; 21; 3; 10; 10; 11; 2");
    const AmplifierIdentity& id = m_session->Identity();
    EXPECT_EQ(id.model, &PELLION_MODEL);
    EXPECT_EQ(id.product, "PLLN-2 EEG Amplifier");
    EXPECT_EQ(id.serialNumber, 4321);
    EXPECT_EQ(id.firmwareVersion, 7);
    EXPECT_EQ(id.usbDriverVersion, 3);
    EXPECT_EQ(sink.settings, (Texts{"Mode Test", "Mode EEG"}));
}

TEST_F(CaptureSession, EndingTheSessionWithoutCloseStillStopsThenPowersOff)
{
    Plug();
    Start();
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture({}, Packets(3), sink, result));
    m_session.reset();
    EXPECT_EQ(Sequence(), "10; 10; 11; 2; wait 500");
}

// ---- every option's code, between power-on and the stream start

struct OptionCase {
    const char* name;
    sim::Model model;
    CaptureSettings settings;
    const char* sent;     // between power-on and "10; 10"
    const char* caption;  // what the sink is told, after power-on's own
};

class CaptureOption : public CaptureTest, public testing::WithParamInterface<OptionCase> {};

TEST_P(CaptureOption, SendsThePanelsCodeAndNamesItAsThePanelDoes)
{
    const OptionCase& c = GetParam();
    Plug({.model = c.model});
    Start();
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(c.settings, Packets(2), sink, result)) << m_session->LastError();
    EXPECT_EQ(Sequence({.calibration_hex = true}), std::string(c.sent) + "; 10; 10; 11");
    ASSERT_EQ(sink.settings.size(), 2u);
    EXPECT_EQ(sink.settings[1], c.caption);
}

CaptureSettings With(BYTE CaptureSettings::*field, BYTE code)
{
    CaptureSettings s;
    s.*field = code;
    return s;
}

CaptureSettings Calibration(double hz, int step)
{
    CaptureSettings s;
    s.calFrequency = hz;
    s.calAmplitudeIndex = step;
    return s;
}

const sim::Model Q = sim::Model::quorvex, P = sim::Model::pellion;

INSTANTIATE_TEST_SUITE_P(
    EachOption, CaptureOption,
    testing::Values(OptionCase{"QuorvexCal", Q, With(&CaptureSettings::mode, 4), "4", "Mode CAL"},
                    OptionCase{"QuorvexEeg", Q, With(&CaptureSettings::mode, 3), "3", "Mode EEG"},
                    OptionCase{"QuorvexZtest", Q, With(&CaptureSettings::mode, 5), "5", "Mode Ztest"},
                    OptionCase{"PellionTest", P, With(&CaptureSettings::mode, 4), "4", "Mode Test"},
                    OptionCase{"Range50", Q, With(&CaptureSettings::range, 6), "6", "Range 50"},
                    OptionCase{"Range100", P, With(&CaptureSettings::range, 7), "7", "Range 100"},
                    OptionCase{"Range500", Q, With(&CaptureSettings::range, 8), "8", "Range 500"},
                    OptionCase{"FourChannels", Q, With(&CaptureSettings::channels, 12), "12", "4 Ch."},
                    OptionCase{"TwoChannels", Q, With(&CaptureSettings::channels, 13), "13", "2 Ch."},
                    OptionCase{"AuxOn", Q, With(&CaptureSettings::aux, 14), "14", "Aux ON"},
                    OptionCase{"PellionAuxOff", P, With(&CaptureSettings::aux, 15), "15", "Aux OFF"},
                    OptionCase{"ReferenceLinked", Q, With(&CaptureSettings::reference, 16), "16", "Link REF"},
                    OptionCase{"ReferenceUnlinked", Q, With(&CaptureSettings::reference, 17), "17", "UnLink"},
                    OptionCase{"Notch60", Q, With(&CaptureSettings::notch, 18), "18", "Notch 60Hz"},
                    OptionCase{"PellionNotch50", P, With(&CaptureSettings::notch, 19), "19", "Notch 50Hz"},
                    OptionCase{"PellionNotchOff", P, With(&CaptureSettings::notch, 20), "20", "Notch OFF"},
                    OptionCase{"CalibrationTop", Q, Calibration(999.99, 8), "9 [09 30 43 21 62 32 10 23 00 ff]",
                               "Calibration 999.99 Hz 100 uV"},
                    OptionCase{"CalibrationLowest", Q, Calibration(0.01, 0), "9 [09 30 0a 21 00 32 00 23 00 00]",
                               "Calibration 0.01 Hz 0 uV"},
                    // One of the two keeps the other at what was sent last: the start-up's 10.00 Hz, step 6.
                    OptionCase{"CalibrationFrequencyOnly", Q, Calibration(2.0, -1), "9 [09 30 63 21 08 32 00 23 00 7e]",
                               "Calibration 2.00 Hz 50 uV"},
                    OptionCase{"CalibrationStepOnly", Q, Calibration(0, 1), "9 [09 30 f1 21 29 32 00 23 00 0d]",
                               "Calibration 10.00 Hz 5 uV"}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureSession, AllOptionsGoOutModeRangeChannelsAuxReferenceNotchCalibration)
{
    Plug();
    Start();
    CaptureSettings s;
    s.calFrequency = 4.0;
    s.notch = 19;
    s.reference = 17;
    s.aux = 14;
    s.channels = 13;
    s.range = 8;
    s.mode = 5;
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(s, Packets(1), sink, result));
    EXPECT_EQ(Sequence(), "5; 8; 13; 14; 17; 19; 9; 10; 10; 11");
}

struct RefusalCase {
    const char* name;
    sim::Model model;
    CaptureSettings settings;
    const char* why;
};

class CaptureRefusal : public CaptureTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(CaptureRefusal, SendsNothingTheModelLacks)
{
    const RefusalCase& c = GetParam();
    Plug({.model = c.model});
    Start();
    RecordingSink sink;
    CaptureResult result;
    EXPECT_FALSE(m_session->Capture(c.settings, Packets(1), sink, result));
    EXPECT_EQ(result.end, CaptureEnd::refused);
    EXPECT_EQ(m_session->LastError(), c.why);
    EXPECT_EQ(Sequence(), "");
    EXPECT_EQ(sink.starts, 0);
}

CaptureSettings Refused(BYTE CaptureSettings::*field, BYTE code, BYTE mode = 3)
{
    CaptureSettings s = With(field, code);
    s.mode = mode;  // refused as a whole: not even the settings the model has go out
    return s;
}

INSTANTIATE_TEST_SUITE_P(EachMissingSwitch, CaptureRefusal,
                         testing::Values(RefusalCase{"QuorvexNotchOff", Q, Refused(&CaptureSettings::notch, 20),
                                                     "the Quorvex's notch filter has no OFF position"},
                                         RefusalCase{"PellionChannels", P, Refused(&CaptureSettings::channels, 13),
                                                     "the Pellion has no channel count switch"},
                                         RefusalCase{"PellionReference", P, Refused(&CaptureSettings::reference, 17),
                                                     "the Pellion has no reference switch"},
                                         RefusalCase{"PellionCalibrationFrequency", P, Calibration(10.0, -1),
                                                     "the Pellion has no calibration settings"},
                                         RefusalCase{"PellionCalibrationStep", P, Calibration(0, 3),
                                                     "the Pellion has no calibration settings"},
                                         RefusalCase{"NoSuchRange", Q, Refused(&CaptureSettings::range, 9),
                                                     "range code 9 is no range"},
                                         RefusalCase{"FrequencyPastTheDial", Q, Calibration(1000.0, -1),
                                                     "the calibration frequency is 0.01 to 999.99 Hz"}),
                         [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// ---- several captures in one session, as an acceptance test runs them

TEST_F(CaptureSession, CapturesInARowEachApplyTheirSettingsAndRestartTheStream)
{
    Plug();
    ASSERT_TRUE(m_session->Open());
    ASSERT_TRUE(m_session->PowerOn());
    RecordingSink first, second;
    CaptureResult r1, r2;
    ASSERT_TRUE(m_session->Capture(Eeg(), Packets(5), first, r1));
    CaptureSettings cal;
    cal.mode = 4;
    cal.range = 7;
    ASSERT_TRUE(m_session->Capture(cal, Packets(7), second, r2));
    m_session->Close();

    EXPECT_EQ(Sequence(), "1; wait 750; 21; wait 200; 9; 3; 10; 10; 11; 4; 7; 10; 10; 11; 2; wait 500");
    EXPECT_EQ(first.settings, (Texts{"Calibration 10.00 Hz 50 uV", "Mode EEG"}));
    EXPECT_EQ(second.settings, (Texts{"Mode CAL", "Range 100"}));
    ASSERT_EQ(second.packets.size(), 7u);
    EXPECT_EQ(second.packets[0].index, 0u);
    EXPECT_EQ(second.packets[6].index, 6u);
    EXPECT_EQ(r2.packets, 7u);
    EXPECT_EQ(m_session->Applied().size(), 4u);
}

// ---- what a capture hands over is what crossed the wire, at the simulator's times

TEST_F(CaptureSession, EveryPacketHandedOverIsTheNextOneOnTheWireValueForValue)
{
    Plug();
    Start();
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), Packets(40), sink, result));
    std::vector<LoggedPacket> logged = LoggedPackets();
    ASSERT_EQ(logged.size(), 40u);  // the limit reads no packet beyond it
    ASSERT_EQ(sink.packets.size(), 40u);
    for (size_t n = 0; n < logged.size(); ++n) {
        const CapturePacket& p = sink.packets[n];
        EXPECT_EQ(p.index, n);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(p.header[i], logged[n].bytes[size_t(i)]) << "packet " << n;
        for (int i = 0; i < 32; ++i) EXPECT_EQ(p.values[i], logged[n].value(i)) << "packet " << n << " value " << i;
    }
}

struct RateCase {
    double rate;       // samples per second per channel
    int64_t periodNs;  // one packet: 4 samples
    uint64_t packetsInASecond;
};

class CaptureTiming : public CaptureTest, public testing::WithParamInterface<RateCase> {};

TEST_P(CaptureTiming, ArrivalTimesAreTheSimulatorsPacingAndASecondHoldsExactlyItsPackets)
{
    Plug({.rate = GetParam().rate});
    Start();
    RecordingSink sink;
    CaptureResult result;
    CaptureLimit oneSecond;
    oneSecond.duration = 1s;
    ASSERT_TRUE(m_session->Capture(Eeg(), oneSecond, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::limit);
    ASSERT_EQ(sink.packets.size(), GetParam().packetsInASecond);
    for (size_t n = 0; n < sink.packets.size(); ++n)
        ASSERT_EQ((sink.packets[n].arrival - result.started).count(), int64_t(n + 1) * GetParam().periodNs) << n;
}

INSTANTIATE_TEST_SUITE_P(Rates, CaptureTiming,
                         testing::Values(RateCase{256, 15625000, 64}, RateCase{4096, 976562, 1024}),
                         [](const testing::TestParamInfo<RateCase>& info) {
                             return "Rate" + std::to_string(int(info.param.rate));
                         });

TEST_F(CaptureSession, TheSinkEndsTheCaptureAfterThePacketItDeclines)
{
    Plug();
    Start();
    RecordingSink sink;
    sink.onPacket = [](const CapturePacket& p) { return p.index < 9; };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::sink);
    EXPECT_EQ(sink.packets.size(), 10u);
    EXPECT_EQ(sink.stops, 1);
    EXPECT_EQ(sink.stopResult.packets, 10u);
    EXPECT_EQ(Sequence(), "3; 10; 10; 11");
}

// ---- ways out: a signal, a stop request, a lost amplifier, a sink that throws

struct SignalCase {
    const char* name;
    int signal;
};

class CaptureSignal : public CaptureTest, public testing::WithParamInterface<SignalCase> {};

TEST_P(CaptureSignal, StopsTheStreamThenPowersOffAndLaterCapturesSendNothing)
{
    Plug();
    Start();
    CStopSignals signals;
    RecordingSink sink;
    sink.onPacket = [signal = GetParam().signal](const CapturePacket& p) {
        if (p.index == 4) std::raise(signal);
        return true;
    };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::stopRequest);
    EXPECT_EQ(result.signal, GetParam().signal);
    EXPECT_EQ(sink.packets.size(), 5u);

    RecordingSink later;
    CaptureResult refused;
    EXPECT_FALSE(m_session->Capture(Eeg(), {}, later, refused));
    EXPECT_EQ(refused.end, CaptureEnd::stopRequest);
    m_session->Close();
    EXPECT_EQ(Sequence(), "3; 10; 10; 11; 2; wait 500");
}

INSTANTIATE_TEST_SUITE_P(TerminalAndSystemSignals, CaptureSignal,
                         testing::Values(SignalCase{"SIGINT", SIGINT}, SignalCase{"SIGTERM", SIGTERM},
                                         SignalCase{"SIGHUP", SIGHUP}),
                         [](const testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureSession, AStopTakesThePacketsTheSinkNeedsToFinishItsRecord)
{
    Plug();
    Start();
    RecordingSink sink;
    sink.finish = 3;
    sink.onPacket = [](const CapturePacket& p) {
        if (p.index == 4) RequestCaptureStop();
        return true;
    };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::stopRequest);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(sink.packets.size(), 8u);
}

TEST_F(CaptureSession, AStopRequestedBeforeTheCaptureSendsNothingButThePowerOff)
{
    Plug();
    Start();
    RequestCaptureStop(SIGTERM);
    RecordingSink sink;
    CaptureResult result;
    EXPECT_FALSE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::stopRequest);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(sink.starts, 0);
    m_session->Close();
    EXPECT_EQ(Sequence(), "2; wait 500");
}

TEST_F(CaptureSession, UnpluggedMidStreamEndsWithWhatArrivedAndSaysSo)
{
    Plug();
    Start();
    RecordingSink sink;
    sink.onPacket = [this](const CapturePacket& p) {
        if (p.index == 5) Unplug();
        return true;
    };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::amplifierGone);
    EXPECT_TRUE(AmplifierGone());
    EXPECT_EQ(m_session->LastError(), "the amplifier went away");
    // Packets read before the unplug still count. One the amplifier sent as it was pulled out
    // may be lost on the way, so the wire may show one more than arrived.
    std::vector<LoggedPacket> logged = LoggedPackets();
    EXPECT_GE(sink.packets.size(), 6u);
    ASSERT_LE(sink.packets.size(), logged.size());
    EXPECT_GE(sink.packets.size() + 1, logged.size());
    for (size_t n = 0; n < sink.packets.size(); ++n) EXPECT_EQ(sink.packets[n].values[0], logged[n].value(0)) << n;
    EXPECT_TRUE(sink.badReads.empty());

    RecordingSink later;
    CaptureResult refused;
    EXPECT_FALSE(m_session->Capture(Eeg(), {}, later, refused));
    EXPECT_EQ(refused.end, CaptureEnd::refused);
    m_session->Close();  // does not wait for an amplifier that is not there
    EXPECT_EQ(Sequence(), "3; 10; 10");
}

TEST_F(CaptureSession, TheAmplifiersOwnDetachEndsTheCaptureAfterItsLastPacket)
{
    sim::Amplifier& amp = Plug();
    Start();
    amp.set_detach_after(12);
    amp.set_fault(sim::Fault::detach, true);
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::amplifierGone);
    EXPECT_EQ(sink.packets.size(), 12u);
}

TEST_F(CaptureSession, ASinkThatThrowsStillLeavesTheStreamStoppedAndThePowerOff)
{
    Plug();
    Start();
    RecordingSink sink;
    sink.onPacket = [](const CapturePacket& p) -> bool {
        if (p.index == 2) throw std::runtime_error("disk full");
        return true;
    };
    CaptureResult result;
    EXPECT_THROW(m_session->Capture(Eeg(), {}, sink, result), std::runtime_error);
    EXPECT_EQ(Sequence(), "3; 10; 10; 11");
    m_session.reset();
    EXPECT_EQ(Sequence(), "3; 10; 10; 11; 2; wait 500");
}

// ---- reads that are not packets

TEST_F(CaptureSession, ShortReadsAreReportedWithTheirLengthAndNeverTakenForPackets)
{
    sim::UsbDevice& device = PlugScripted();
    ASSERT_TRUE(m_session->Open());
    ASSERT_TRUE(m_session->PowerOn());
    EXPECT_EQ(m_session->Identity().serialNumber, 1234);
    device.queue_in(PacketBytes(0, {0x1234, 0xFFFF}));
    device.queue_in(std::vector<uint8_t>(40, 0x53));
    device.queue_in(std::vector<uint8_t>(67, 0x53));
    device.queue_in(PacketBytes(1, {1, 2, 3}));
    RecordingSink sink;
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture({}, Packets(2), sink, result));
    EXPECT_EQ(sink.badReads, (std::vector<LONG>{40, 67}));
    EXPECT_EQ(result.shortReads, 2u);
    EXPECT_EQ(result.failedReads, 0u);
    ASSERT_EQ(sink.packets.size(), 2u);
    EXPECT_EQ(sink.packets[0].values[0], 0x1234);
    EXPECT_EQ(sink.packets[0].values[1], 65535);
    EXPECT_EQ(sink.packets[0].header[1], 0);
    EXPECT_EQ(sink.packets[1].values[2], 3);
    EXPECT_EQ(sink.packets[1].header[1], 1);
}

TEST_F(CaptureSession, TheSimulatorsShortPacketsAllCountAsShortReads)
{
    sim::Amplifier& amp = Plug();
    Start();
    amp.set_fault(sim::Fault::short_packets, true);
    RecordingSink sink;
    int seen = 0;
    sink.onBadRead = [&seen](LONG) {
        if (++seen == 10) RequestCaptureStop();
    };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Eeg(), {}, sink, result));
    EXPECT_TRUE(sink.packets.empty());
    ASSERT_GE(sink.badReads.size(), 10u);
    for (LONG length : sink.badReads) EXPECT_EQ(length, 40);
    EXPECT_EQ(result.shortReads, sink.badReads.size());
}

TEST_F(CaptureSession, AnAmplifierSendingOnlyShortReadsStillEndsAtTheTimeLimit)
{
    sim::Amplifier& amp = Plug();
    Start();
    amp.set_fault(sim::Fault::short_packets, true);
    RecordingSink sink;
    CaptureResult result;
    CaptureLimit twoSeconds;
    twoSeconds.duration = 2s;
    ASSERT_TRUE(m_session->Capture(Eeg(), twoSeconds, sink, result));
    EXPECT_EQ(result.end, CaptureEnd::limit);
    EXPECT_TRUE(sink.packets.empty());
    // One short read a packet's time, 64 a second, until the limit.
    EXPECT_EQ(sink.badReads.size(), 128u);
    EXPECT_EQ(Sequence(), "3; 10; 10; 11");
}

// ---- opening: the first amplifier, identified as the panels identify it

TEST_F(CaptureSession, NoAmplifierIsReportedAndNothingIsOpen)
{
    EXPECT_FALSE(m_session->Open());
    EXPECT_EQ(m_session->LastError(), "no amplifier found");
    EXPECT_FALSE(m_session->IsOpen());
    EXPECT_FALSE(m_session->PowerOn());
}

TEST_F(CaptureSession, ADeviceWithoutTheModelDigitIsRefusedUntouched)
{
    sim::Amplifier& amp = Plug();
    amp.set_fault(sim::Fault::wrong_product, true);
    EXPECT_FALSE(m_session->Open());
    EXPECT_EQ(m_session->LastError(), "the connected device is not an amplifier (\"Generic USB Device\")");
    EXPECT_EQ(Sequence(), "");
}

TEST_F(CaptureSession, InsistingOnTheOtherModelRefusesUntouched)
{
    Plug();
    EXPECT_FALSE(m_session->Open(&PELLION_MODEL));
    EXPECT_EQ(m_session->LastError(), "the connected amplifier is a Quorvex, not a Pellion");
    EXPECT_EQ(Sequence(), "");
    EXPECT_TRUE(m_session->Open(&QUORVEX_MODEL));
}

TEST_F(CaptureSession, AProductStringWithTheDigitIsTakenWhateverTheRest)
{
    Plug({.model = sim::Model::pellion, .product = "ZZZZZ2 something else"});
    ASSERT_TRUE(m_session->Open());
    EXPECT_EQ(m_session->Identity().model, &PELLION_MODEL);
}

TEST_F(CaptureSession, ANewDeviceForgetsThatTheOldOneWentAway)
{
    Plug();
    Start();
    Unplug();
    RecordingSink sink;
    CaptureResult result;
    m_session->Capture(Eeg(), {}, sink, result);
    EXPECT_TRUE(AmplifierGone());
    m_session->Close();
    Plug();
    ASSERT_TRUE(m_session->Open());
    EXPECT_FALSE(AmplifierGone());
}

}  // namespace
