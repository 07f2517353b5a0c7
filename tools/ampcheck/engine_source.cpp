#include "tools/ampcheck/engine_source.h"

#include "acquisition/capture_engine.h"
#include "acquisition/gap_detector.h"
#include "ampbench/version.h"
#include "amp/commands.h"
#include "analysis/packet_period.h"
#include "recording/capture_recorder.h"
#include "recording/edf_writer.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace ampcheck {

namespace {

using std::chrono::nanoseconds;

constexpr double kSamplesPerPacket = 4;

// The panels' codes for a step's switches. A switch the step leaves unset is not sent: the
// Pellion has no channel count, reference or calibration, and the engine refuses what a model lacks.
CaptureSettings to_settings(const Step& step)
{
    CaptureSettings s;
    s.mode = step.mode == Mode::calibration ? CMD_MODE_CAL : step.mode == Mode::eeg ? CMD_MODE_EEG : CMD_MODE_ZTEST;
    s.range = step.rangeUv == 50 ? CMD_RANGE_50 : step.rangeUv == 500 ? CMD_RANGE_500 : CMD_RANGE_100;
    if (step.channels) s.channels = *step.channels == 2 ? CMD_CHANNELS_2 : CMD_CHANNELS_4;
    s.aux = step.aux ? CMD_AUX_ON : CMD_AUX_OFF;
    if (step.referenceLinked) s.reference = *step.referenceLinked ? CMD_REF_LINK : CMD_REF_UNLINK;
    s.notch = step.notchHz == 60 ? CMD_NOTCH_60HZ : step.notchHz == 50 ? CMD_NOTCH_50HZ : CMD_NOTCH_OFF;
    if (step.calibration) {
        s.calFrequency = step.calibration->frequencyHz;
        s.calAmplitudeIndex = step.calibration->amplitudeIndex;
    }
    return s;
}

std::string stop_text(int signal)
{
    switch (signal) {
    case SIGINT: return "stopped by SIGINT";
    case SIGTERM: return "stopped by SIGTERM";
    case SIGHUP: return "stopped by SIGHUP";
    default: return "stopped";
    }
}

// Keeps a step's packets for the measurements and hands every packet to the recording.
class StepSink : public CCaptureSink {
public:
    StepSink(Capture& capture, size_t keep, CCaptureRecorder* recorder)
        : m_capture(capture), m_keep(keep), m_recorder(recorder)
    {
    }

    void OnSettingsApplied(const std::vector<AppliedSetting>& settings) override
    {
        if (m_recorder) m_recorder->OnSettingsApplied(settings);
    }
    void OnStreamStart(nanoseconds at) override
    {
        if (m_recorder) m_recorder->OnStreamStart(at);
    }
    bool OnPacket(const CapturePacket& packet) override
    {
        if (m_capture.packets.size() < m_keep) {
            Packet p;
            std::copy(std::begin(packet.values), std::end(packet.values), p.values.begin());
            p.arrivalS = double(packet.arrival.count()) / 1e9;
            m_capture.packets.push_back(p);
            arrivals.push_back(packet.arrival);
        }
        return m_recorder == nullptr || m_recorder->OnPacket(packet);
    }
    void OnBadRead(LONG length, nanoseconds at) override
    {
        if (m_recorder) m_recorder->OnBadRead(length, at);
    }
    // On a stop request the recording ends on a whole record, as amprecord's does.
    uint64_t PacketsToFinish() override { return m_recorder ? m_recorder->PacketsToFinish() : 0; }
    void OnStreamStop(const CaptureResult& result) override
    {
        if (m_recorder) m_recorder->OnStreamStop(result);
    }

    std::vector<nanoseconds> arrivals;  // of the packets kept

private:
    Capture& m_capture;
    size_t m_keep;
    CCaptureRecorder* m_recorder;
};

// Packets the amplifier never sent us: where the stream stayed behind its own timeline for
// longer than the amplifier's FIFO could make up. The timeline's period is the capture's own
// where it can be told (a clock that is off is the sample rate check's to catch, not a loss),
// the nominal one otherwise. A capture that ends while the stream is behind is not counted: it
// ends on its own packet count, so the burst that would have caught up never comes (a loss
// takes a silence longer than the FIFO's second, which fails the longest gap anyway).
int lost_packets(const std::vector<nanoseconds>& arrivals, double nominalPeriodS)
{
    std::vector<std::vector<double>> runs(1);
    for (nanoseconds a : arrivals) runs[0].push_back(std::chrono::duration<double>(a - arrivals.front()).count());
    analysis::PacketPeriod measured = analysis::measure_packet_period(runs);
    const double period = measured.reliable ? measured.period : nominalPeriodS;
    CGapDetector detector(nanoseconds(int64_t(period * 1e9)));
    std::vector<CGapDetector::Gap> gaps;
    for (nanoseconds a : arrivals) detector.Add(a, gaps);
    long lost = 0;
    for (const CGapDetector::Gap& gap : gaps)
        lost += std::max(1L, std::lround(std::chrono::duration<double>(gap.missing).count() / period));
    return int(lost);
}

class EngineSource : public CaptureSource {
public:
    explicit EngineSource(const Options& options) : m_options(options) {}
    ~EngineSource() override
    {
        std::string ignored;
        finish(ignored);
    }

    bool open(Identity& identity, std::string& error)
    {
        const AmplifierModel* insisted = nullptr;
        if (m_options.model) insisted = *m_options.model == Model::quorvex ? &QUORVEX_MODEL : &PELLION_MODEL;
        if (!m_session.Open(insisted)) {
            error = m_session.LastError();
            return false;
        }
        identity.model = m_session.Identity().model == &QUORVEX_MODEL ? Model::quorvex : Model::pellion;
        m_plan = plan_for(identity.model, m_options.mainsHz);
        if (!m_options.recordPath.empty()) {
            if (!m_writer.Create(m_options.recordPath)) {
                error = "cannot write " + m_options.recordPath + ": " + m_writer.LastError();
                return false;
            }
            m_bWriting = true;
        }
        if (!m_session.PowerOn()) {
            error = m_session.LastError();
            return false;
        }
        const AmplifierIdentity& id = m_session.Identity();
        identity.product = id.product;
        identity.versionRead = id.versionRead;
        identity.serial = id.serialNumber;
        identity.firmware = id.firmwareVersion;
        identity.usbDriver = id.usbDriverVersion;
        if (m_bWriting) {
            RecorderOptions options;
            options.program = std::string("ampcheck ") + AMPBENCH_VERSION;
            m_recorder = std::make_unique<CCaptureRecorder>(m_writer, id, options);
        }
        return true;
    }

    bool capture(const Step& step, Capture& capture, std::string& error) override
    {
        const bool last = ++m_steps == m_plan.steps.size();
        CaptureLimit limit;
        limit.packets = uint64_t(step.packets) + (last ? packets_to_fill_the_recording(step) : 0);
        // An amplifier that stops sending must not hold the test: twice the capture's time and
        // a few seconds more, room for a clock half as fast.
        const double seconds = double(limit.packets) * nominal_period();
        limit.duration = nanoseconds(int64_t((2 * seconds + 3) * 1e9));
        if (m_recorder) m_recorder->BeginStep(step.name);

        StepSink sink(capture, size_t(step.packets), m_recorder.get());
        CaptureResult result;
        m_session.Capture(to_settings(step), limit, sink, result);
        if (result.end != CaptureEnd::limit || result.packets < limit.packets) {
            error = why_it_ended(result, limit);
            return false;
        }
        capture.shortReads = int(result.shortReads);
        capture.lostPackets = lost_packets(sink.arrivals, nominal_period());
        return true;
    }

    bool finish(std::string& error) override
    {
        m_session.Close();
        if (!m_bWriting) return true;
        m_bWriting = false;
        std::string why;
        if (!m_recorder) {
            m_writer.Discard();  // the amplifier was not powered: nothing was recorded
            return true;
        }
        const bool kept = m_recorder->Finish(why);
        m_recorder.reset();
        if (!kept) error = "the recording " + m_options.recordPath + " failed: " + why;
        return kept;
    }

private:
    double nominal_period() const { return kSamplesPerPacket / m_plan.samplesPerSecond; }

    // The recording keeps whole records only: the last capture runs on to the end of its record
    // (the packets past the step's own are recorded, not measured), so nothing measured is left
    // out of the file.
    uint64_t packets_to_fill_the_recording(const Step& step) const
    {
        if (!m_recorder || !m_writer.Begun()) return 0;
        const uint64_t record = uint64_t(m_writer.Layout().packets);
        const uint64_t after = m_writer.SamplesAdded() / uint64_t(kSamplesPerPacket) + uint64_t(step.packets);
        return (record - after % record) % record;
    }

    std::string why_it_ended(const CaptureResult& result, const CaptureLimit& limit) const
    {
        char text[128];
        switch (result.end) {
        case CaptureEnd::stopRequest: return stop_text(result.signal);
        case CaptureEnd::amplifierGone: return "the amplifier went away";
        case CaptureEnd::sink:
            return "cannot write " + m_options.recordPath + ": " + (m_recorder ? m_recorder->Failure() : "");
        case CaptureEnd::limit:
            std::snprintf(text, sizeof text, "the amplifier sent %llu of %llu packets in %.1f s",
                          (unsigned long long)result.packets, (unsigned long long)limit.packets,
                          std::chrono::duration<double>(result.stopped - result.started).count());
            if (result.shortReads > 0)
                return text + (", and " + std::to_string(result.shortReads) + " reads shorter than a packet");
            if (result.failedReads > 0) return text + (", and " + std::to_string(result.failedReads) + " failed reads");
            return text;
        case CaptureEnd::refused: break;
        }
        return m_session.LastError();
    }

    Options m_options;
    CCaptureSession m_session;
    Plan m_plan;
    size_t m_steps = 0;  // captures asked for so far
    CEdfWriter m_writer;
    bool m_bWriting = false;  // the file is created and not yet closed
    std::unique_ptr<CCaptureRecorder> m_recorder;
};

}  // namespace

std::unique_ptr<CaptureSource> open_amplifier(const Options& options, Identity& identity, std::string& error)
{
    auto source = std::make_unique<EngineSource>(options);
    if (!source->open(identity, error)) return nullptr;
    return source;
}

}  // namespace ampcheck
