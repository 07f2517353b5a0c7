// Captures from the simulated amplifier recorded into EDF+ files, read back with EDFlib and
// save2gdf and held against what the simulator's wire log shows.
#include "capture_fixture.h"
#include "edf_reader.h"

#include "recording/capture_recorder.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

// Passes everything to the recorder; a test hooks in where it needs to act.
class HookedSink : public CCaptureSink {
public:
    explicit HookedSink(CCaptureRecorder& recorder) : m_recorder(recorder) {}
    std::function<void(const CapturePacket&)> onPacket;
    std::function<void(LONG)> onBadRead;

    void OnSettingsApplied(const std::vector<AppliedSetting>& s) override { m_recorder.OnSettingsApplied(s); }
    void OnStreamStart(std::chrono::nanoseconds at) override { m_recorder.OnStreamStart(at); }
    bool OnPacket(const CapturePacket& p) override
    {
        bool more = m_recorder.OnPacket(p);
        if (onPacket) onPacket(p);
        return more;
    }
    void OnBadRead(LONG length, std::chrono::nanoseconds at) override
    {
        m_recorder.OnBadRead(length, at);
        if (onBadRead) onBadRead(length);
    }
    uint64_t PacketsToFinish() override { return m_recorder.PacketsToFinish(); }
    void OnStreamStop(const CaptureResult& r) override { m_recorder.OnStreamStop(r); }

private:
    CCaptureRecorder& m_recorder;
};

class Recording : public CaptureTest {
protected:
    void SetUp() override
    {
        CaptureTest::SetUp();
        char pattern[] = "/tmp/amprecord-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = (m_dir / "rec.edf").string();
    }
    void TearDown() override
    {
        CaptureTest::TearDown();
        fs::remove_all(m_dir);
    }

    RecorderOptions Options(double seconds = 0)
    {
        RecorderOptions o;
        o.seconds = seconds;
        o.program = "amprecord test";
        return o;
    }

    // Every sample of every signal equals the value the wire carried, in order: the file holds
    // the first packets of the log and nothing else.
    static void ExpectTheWiresValues(const EdfContents& file, const std::vector<LoggedPacket>& wire, size_t packets)
    {
        ASSERT_EQ(file.signals, 8);
        ASSERT_LE(packets, wire.size());
        for (int c = 0; c < 8; ++c) {
            ASSERT_EQ(file.digital[size_t(c)].size(), 4 * packets) << "signal " << c;
            for (size_t k = 0; k < 4 * packets; ++k) {
                uint16_t value = wire[k / 4].value(int(8 * (k % 4) + size_t(c)));
                ASSERT_EQ(file.digital[size_t(c)][k] + 32768, value) << "signal " << c << " sample " << k;
                ASSERT_EQ(file.physical[size_t(c)][k], double(value)) << "signal " << c << " sample " << k;
            }
        }
    }

    static Texts AnnotationTexts(const EdfContents& file)
    {
        Texts texts;
        for (const auto& a : file.annotations) texts.push_back(a.text);
        return texts;
    }
    static double OnsetOf(const EdfContents& file, const std::string& prefix)
    {
        for (const auto& a : file.annotations)
            if (a.text.rfind(prefix, 0) == 0) return a.onset;
        ADD_FAILURE() << "no annotation " << prefix;
        return -1;
    }

    fs::path m_dir;
    std::string m_path;
};

CaptureSettings Mode(BYTE code)
{
    CaptureSettings s;
    s.mode = code;
    return s;
}

TEST_F(Recording, ThreeSecondsReadBackWithEdflibHoldEveryValueOfTheWire)
{
    Plug();
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options(3));
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.labels, (Texts{"ch1", "ch2", "ch3", "ch4", "ch5", "ch6", "ch7", "ch8"}));
    EXPECT_EQ(file.units, Texts(8, "count"));
    EXPECT_EQ(file.rates, std::vector<double>(8, 256.0));
    EXPECT_EQ(file.samplesPerRecord, 256);
    EXPECT_EQ(file.records, 3);
    EXPECT_EQ(file.physicalMin, 0.0);
    EXPECT_EQ(file.physicalMax, 65535.0);
    EXPECT_EQ(file.equipment, "Quorvex SN1234 FW23 USB11 DRV1.5.7.0");
    EXPECT_EQ(file.transducer, "QRVX-4 EEG Amplifier");
    ExpectTheWiresValues(file, LoggedPackets(), 192);
    EXPECT_EQ(AnnotationTexts(file), (Texts{"Recorded by amprecord test", "Sample rate 256 Hz measured",
                                            "Calibration 10.00 Hz 50 uV, Mode EEG", "Stream start", "Stream stop"}));
    EXPECT_EQ(OnsetOf(file, "Stream start"), 0.0);
    EXPECT_EQ(OnsetOf(file, "Stream stop"), 3.0);
    EXPECT_EQ(result.end, CaptureEnd::sink);
}

TEST_F(Recording, TheSameFileReadsBackValueForValueWithSave2gdf)
{
    Plug({.model = sim::Model::pellion});
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options(2));
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    GdfContents gdf = ReadWithSave2gdf(m_path, m_dir.string());
    ASSERT_TRUE(gdf.ran) << "save2gdf (biosig-tools) did not read the file";
    EXPECT_EQ(gdf.numberOfChannels, 8 + CEdfWriter::ANNOTATION_SIGNALS);
    EXPECT_EQ(gdf.samplingRate, 256.0);
    ASSERT_GE(gdf.labels.size(), 8u);
    EXPECT_EQ(Texts(gdf.labels.begin(), gdf.labels.begin() + 8),
              (Texts{"ch1", "ch2", "ch3", "ch4", "ch5", "ch6", "ch7", "ch8"}));
    EXPECT_EQ(gdf.events, (Texts{"Recorded by amprecord test", "Sample rate 256 Hz measured", "Mode Test, Mode EEG",
                                 "Stream start", "Stream stop"}));
    ASSERT_EQ(gdf.values.size(), 8u);
    std::vector<LoggedPacket> wire = LoggedPackets();
    ASSERT_GE(wire.size(), 128u);
    for (int c = 0; c < 8; ++c) {
        ASSERT_EQ(gdf.values[size_t(c)].size(), 512u) << "signal " << c;
        for (size_t k = 0; k < 512; ++k)
            ASSERT_EQ(gdf.values[size_t(c)][k], double(wire[k / 4].value(int(8 * (k % 4) + size_t(c)))))
                << "signal " << c << " sample " << k;
    }
}

TEST_F(Recording, CapturesInARowFollowOneAnotherWithTheirStepsAndSettingsMarked)
{
    Plug();
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options());
    CaptureResult first, second;
    CaptureLimit oneRecord, twoRecords;
    oneRecord.packets = 64;
    twoRecords.packets = 128;
    recorder.BeginStep("Step 1: EEG");
    ASSERT_TRUE(m_session->Capture(Mode(3), oneRecord, recorder, first));
    recorder.BeginStep("Step 2: CAL at range 100");
    CaptureSettings cal = Mode(4);
    cal.range = 7;
    ASSERT_TRUE(m_session->Capture(cal, twoRecords, recorder, second));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.records, 3);
    ExpectTheWiresValues(file, LoggedPackets(), 192);
    EXPECT_EQ(AnnotationTexts(file),
              (Texts{"Recorded by amprecord test", "Sample rate 256 Hz measured", "Step 1: EEG",
                     "Calibration 10.00 Hz 50 uV, Mode EEG", "Stream start", "Stream stop", "Step 2: CAL at range 100",
                     "Mode CAL, Range 100", "Stream start", "Stream stop"}));
    EXPECT_EQ(file.annotations[6].onset, 1.0);
    EXPECT_EQ(file.annotations[7].onset, 1.0);
    EXPECT_EQ(file.annotations[9].onset, 3.0);
}

TEST_F(Recording, AScaleInMicrovoltsGoesInTheHeaderAndTheDigitalValuesStayTheSame)
{
    Plug();
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    RecorderOptions options = Options(1);
    options.microvoltsPerCount = 0.25;
    CCaptureRecorder recorder(writer, m_session->Identity(), options);
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    EXPECT_EQ(file.units, Texts(8, "uV"));
    EXPECT_EQ(file.physicalMin, -8192.0);
    EXPECT_EQ(file.physicalMax, 8191.75);
    std::vector<LoggedPacket> wire = LoggedPackets();
    for (int c = 0; c < 8; ++c) {
        for (size_t k = 0; k < 256; ++k) {
            int value = wire[k / 4].value(int(8 * (k % 4) + size_t(c)));
            ASSERT_EQ(file.digital[size_t(c)][k], value - 32768);
            ASSERT_EQ(file.physical[size_t(c)][k], (value - 32768) * 0.25);
        }
    }
}

TEST_F(Recording, AStopInTheMiddleOfARecordFinishesItAndTheFileIsWhole)
{
    Plug();
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options());
    HookedSink sink(recorder);
    sink.onPacket = [](const CapturePacket& p) {
        if (p.index == 99) RequestCaptureStop(SIGINT);
    };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, sink, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EXPECT_EQ(result.end, CaptureEnd::stopRequest);
    EXPECT_EQ(result.packets, 128u);  // 100, and 28 more to fill the second record
    EdfContents file = ReadWithEdflib(m_path);
    EXPECT_EQ(file.records, 2);
    ExpectTheWiresValues(file, LoggedPackets(), 128);
    EXPECT_EQ(file.annotations.back().text, "Stream stop: SIGINT");
    EXPECT_EQ(file.annotations.back().onset, 2.0);
}

TEST_F(Recording, ALostAmplifierLeavesItsWholeRecordsAndSaysWhatWasLeftOut)
{
    sim::Amplifier& amp = Plug();
    Start();
    amp.set_detach_after(100);
    amp.set_fault(sim::Fault::detach, true);
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options());
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EXPECT_EQ(result.end, CaptureEnd::amplifierGone);
    EdfContents file = ReadWithEdflib(m_path);
    EXPECT_EQ(file.records, 1);
    ExpectTheWiresValues(file, LoggedPackets(), 64);
    Texts texts = AnnotationTexts(file);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Stream stop: amplifier lost");
    EXPECT_EQ(texts.back(), "Not stored: last 36 packets");
    EXPECT_EQ(file.annotations.back().onset, 1.0);
}

TEST_F(Recording, ShortAndFailedReadsAreMarkedWhereTheyHappened)
{
    sim::UsbDevice& device = PlugScripted();
    Start();
    for (int n = 0; n < 10; ++n) device.queue_in(PacketBytes(uint8_t(n), {uint16_t(n), 2, 3}));
    device.queue_in(std::vector<uint8_t>(40, 0x53));
    device.queue_in(std::vector<uint8_t>(67, 0x53));
    device.queue_in({});
    for (int n = 10; n < 128; ++n) device.queue_in(PacketBytes(uint8_t(n), {uint16_t(n), 2, 3}));
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    RecorderOptions options = Options();
    options.sampleRate = 256;  // the scripted device answers at once: nothing to measure
    CCaptureRecorder recorder(writer, m_session->Identity(), options);
    CaptureResult result;
    CaptureLimit limit;
    limit.packets = 128;
    ASSERT_TRUE(m_session->Capture({}, limit, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    EXPECT_EQ(file.records, 2);
    ExpectTheWiresValues(file, LoggedPackets(), 128);
    EXPECT_EQ(AnnotationTexts(file),
              (Texts{"Recorded by amprecord test", "Sample rate 256 Hz given", "Calibration 10.00 Hz 50 uV",
                     "Stream start", "Short reads: 2 (40-67 bytes)", "Failed read", "Stream stop"}));
    // Onsets have a resolution of 100 us.
    EXPECT_NEAR(OnsetOf(file, "Short reads"), 40.0 / 256, 0.0001);
    EXPECT_NEAR(OnsetOf(file, "Failed read"), 40.0 / 256, 0.0001);
}

// The amplifier's pacing stalls once for two seconds, as a host that stopped reading would see
// it: the amplifier's FIFO keeps the last 64 packets and loses the ones before.
class StallingClock : public platform::win32::RecordingClock {
public:
    std::chrono::nanoseconds at{0};
    bool stalled = false;
    void pace_until(std::chrono::nanoseconds deadline) override
    {
        if (!stalled && deadline >= at) {
            stalled = true;
            deadline += std::chrono::seconds(2);
        }
        RecordingClock::pace_until(deadline);
    }
};

TEST_F(Recording, AGapInTheStreamIsMarkedWithTheTimeThatWentMissing)
{
    StallingClock clock;
    clock.on_sleep = [this](uint32_t ms) {
        if (m_device) m_device->log().wait(ms);
    };
    platform::win32::install_clock(&clock);
    Plug();
    Start();
    clock.at = clock.now() + std::chrono::seconds(3);
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options(8));
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    ExpectTheWiresValues(file, LoggedPackets(), 512);
    EXPECT_EQ(recorder.Gaps(), 1u);
    std::vector<EdfAnnotation> gaps;
    for (const auto& a : file.annotations)
        if (a.text.rfind("Gap: ", 0) == 0) gaps.push_back(a);
    ASSERT_EQ(gaps.size(), 1u);
    double missing = std::atof(gaps[0].text.c_str() + 5);
    EXPECT_NEAR(missing, 1.0, 0.05) << gaps[0].text;  // two seconds less what the FIFO kept
    EXPECT_NEAR(gaps[0].onset, 3.0, 0.05);
    m_session.reset();
    platform::win32::install_clock(&m_clock);  // this one ends with the test's body
}

struct RateCase {
    double rate;
    int samplesPerRecord;
};

class RecordingRate : public Recording, public testing::WithParamInterface<RateCase> {};

TEST_P(RecordingRate, IsMeasuredOverTheFirstSecondAndCutIntoWholeSecondRecords)
{
    Plug({.rate = GetParam().rate});
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options(2));
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    ASSERT_TRUE(recorder.Finish(why)) << why;

    EdfContents file = ReadWithEdflib(m_path);
    EXPECT_EQ(file.rates, std::vector<double>(8, GetParam().rate));
    EXPECT_EQ(file.samplesPerRecord, GetParam().samplesPerRecord);
    EXPECT_EQ(file.records, 2);
    ExpectTheWiresValues(file, LoggedPackets(), size_t(GetParam().rate / 2));
    EXPECT_EQ(file.annotations[1].text, "Sample rate " + std::to_string(int(GetParam().rate)) + " Hz measured");
}

INSTANTIATE_TEST_SUITE_P(Rates, RecordingRate,
                         testing::Values(RateCase{256, 256}, RateCase{1024, 1024}, RateCase{4096, 4096}),
                         [](const testing::TestParamInfo<RateCase>& info) {
                             return "Rate" + std::to_string(int(info.param.rate));
                         });

TEST_F(Recording, NotOneWholeRecordLeavesNoFileAndSaysWhy)
{
    sim::UsbDevice& device = PlugScripted();
    Start();
    for (int n = 0; n < 10; ++n) device.queue_in(PacketBytes(uint8_t(n), {}));
    device.queue_in(std::vector<uint8_t>(40, 0x53));
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    RecorderOptions options = Options();
    options.sampleRate = 256;
    CCaptureRecorder recorder(writer, m_session->Identity(), options);
    HookedSink sink(recorder);
    sink.onBadRead = [this](LONG) { Unplug(); };
    CaptureResult result;
    ASSERT_TRUE(m_session->Capture({}, {}, sink, result));
    std::string why;
    EXPECT_FALSE(recorder.Finish(why));
    EXPECT_EQ(why, "not one whole data record arrived");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(Recording, AStopBeforeAnyPacketLeavesNoFile)
{
    Plug();
    Start();
    CEdfWriter writer;
    ASSERT_TRUE(writer.Create(m_path));
    CCaptureRecorder recorder(writer, m_session->Identity(), Options());
    RequestCaptureStop(SIGTERM);
    CaptureResult result;
    EXPECT_FALSE(m_session->Capture(Mode(3), {}, recorder, result));
    std::string why;
    EXPECT_FALSE(recorder.Finish(why));
    EXPECT_EQ(why, "no packet arrived");
    EXPECT_FALSE(fs::exists(m_path));
}

}  // namespace
