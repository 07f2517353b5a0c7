#include "recording/capture_recorder.h"

#include "analysis/packet_period.h"

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdio>

using std::chrono::nanoseconds;

namespace {

constexpr int kSamplesPerPacket = 4;
// What the amplifier streams unless it was built otherwise; used only when too few packets came
// to measure anything.
constexpr int kUsualRate = 256;

double InSeconds(nanoseconds t)
{
    return std::chrono::duration<double>(t).count();
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP: return "SIGHUP";
#endif
    default: return "a stop request";
    }
}

}  // namespace

CCaptureRecorder::CCaptureRecorder(CEdfWriter& writer, const AmplifierIdentity& identity, RecorderOptions options)
    : m_writer(writer), m_identity(identity), m_options(std::move(options))
{
}

std::string CCaptureRecorder::DriverVersionText(DWORD v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(v >> 24), unsigned(v >> 16 & 0xFF),
                  unsigned(v >> 8 & 0xFF), unsigned(v & 0xFF));
    return text;
}

std::string CCaptureRecorder::EquipmentText(const AmplifierIdentity& id)
{
    std::string text = id.model != nullptr ? id.model->name : "amplifier";
    if (id.versionRead) {
        text += " SN" + std::to_string(id.serialNumber) + " FW" + std::to_string(id.firmwareVersion) + " USB" +
                std::to_string(id.usbDriverVersion);
    } else {
        text += " SN- FW- USB-";  // the amplifier never answered its version query
    }
    return text + " DRV" + DriverVersionText(id.hostDriverVersion);
}

uint64_t CCaptureRecorder::Position() const
{
    return m_writer.Begun() ? m_writer.SamplesAdded() : uint64_t(m_buffered.size()) * kSamplesPerPacket;
}

double CCaptureRecorder::Seconds() const
{
    return m_rate > 0 ? double(Position()) / m_rate : 0.0;
}

bool CCaptureRecorder::TargetReached() const
{
    return m_targetSamples > 0 && m_writer.SamplesAdded() >= m_targetSamples;
}

void CCaptureRecorder::Annotate(uint64_t position, std::string text, bool important)
{
    if (m_writer.Begun()) m_writer.Annotate(position, std::move(text), important);
    else m_pending.push_back({position, std::move(text), important});
}

void CCaptureRecorder::BeginStep(const std::string& name)
{
    Annotate(Position(), name);
}

void CCaptureRecorder::OnSettingsApplied(const std::vector<AppliedSetting>& settings)
{
    // As few annotations as the captions fit in.
    std::string text;
    for (const AppliedSetting& s : settings) {
        if (!text.empty() && text.size() + 2 + s.caption.size() > EDF_ANNOTATION_CHARS) {
            Annotate(Position(), text);
            text.clear();
        }
        text += (text.empty() ? "" : ", ") + s.caption;
    }
    if (!text.empty()) Annotate(Position(), text);
}

void CCaptureRecorder::OnStreamStart(nanoseconds at)
{
    if (!m_bStarted) {
        m_bStarted = true;
        m_wallStart = std::chrono::system_clock::now();
        if (m_options.sampleRate > 0) MeasureRate(true);
    }
    Annotate(Position(), "Stream start");
    m_streamFirstSample = Position();
    m_streamPackets = 0;
    m_gapDetector.reset();
    if (m_rate > 0) m_gapDetector = std::make_unique<CGapDetector>(nanoseconds(int64_t(4e9 / m_rate)));
}

bool CCaptureRecorder::OnPacket(const CapturePacket& packet)
{
    if (!m_failure.empty()) return false;
    if (m_rate > 0) {
        Store(packet.values, packet.arrival);
        return m_failure.empty() && !TargetReached();
    }
    Buffered b;
    b.arrival = packet.arrival;
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) b.values[i] = packet.values[i];
    m_buffered.push_back(b);
    // The rate is measured over the first second (all of a shorter recording). When that second
    // came too irregularly to tell, it is tried again every half second with all that came.
    const double span = InSeconds(packet.arrival - m_buffered.front().arrival);
    if (m_nextMeasurement == 0) m_nextMeasurement = MeasuringWindow();
    if (span >= m_nextMeasurement) {
        m_nextMeasurement += 0.5;
        MeasureRate(span >= MAX_MEASURING_SECONDS);
    }
    return !TargetReached();
}

double CCaptureRecorder::MeasuringWindow() const
{
    return m_options.seconds > 0 && m_options.seconds < 1.0 ? m_options.seconds : 1.0;
}

std::vector<double> CCaptureRecorder::BufferedArrivals() const
{
    std::vector<double> arrivals;
    for (const Buffered& b : m_buffered) arrivals.push_back(InSeconds(b.arrival - m_buffered.front().arrival));
    return arrivals;
}

analysis::PacketPeriod CCaptureRecorder::MeasurePeriod() const
{
    std::vector<std::vector<double>> runs{BufferedArrivals()};
    return analysis::measure_packet_period(runs);
}

void CCaptureRecorder::MeasureRate(bool last)
{
    if (m_rate > 0) return;
    std::string how = "given";
    if (m_options.sampleRate > 0) {
        m_rate = m_options.sampleRate;
    } else if (analysis::PacketPeriod m = MeasurePeriod(); m.period > 0 && (m.reliable || last)) {
        m_rate = int(std::clamp(std::lround(kSamplesPerPacket / m.period), 1L, 1000000L));
        m_bMeasured = true;
        m_bUncertain = !m.reliable;
        how = m.reliable ? "measured" : "measured, uncertain";
    } else if (!last) {
        return;  // another try later
    } else {
        m_rate = kUsualRate;
        m_bUncertain = true;
        how = "assumed";
    }

    EdfHeader header;
    header.sampleRate = m_rate;
    header.microvoltsPerCount = m_options.microvoltsPerCount;
    header.equipment = EquipmentText(m_identity);
    header.transducer = m_identity.product;
    header.start = m_wallStart;
    if (!m_writer.Begin(header)) {
        m_failure = m_writer.LastError();
        return;
    }

    const RecordLayout& layout = m_writer.Layout();
    if (m_options.seconds > 0) {
        double records = std::ceil(m_options.seconds * m_rate / layout.samples - 1e-9);
        m_targetSamples = uint64_t(std::max(1.0, records)) * uint64_t(layout.samples);
    }
    // The header's recording field has no room left for the program: it goes first in the list.
    // Both are the first to give way when a short file has no room for all its annotations.
    if (!m_options.program.empty()) m_writer.Annotate(0, "Recorded by " + m_options.program, false);
    m_writer.Annotate(0, "Sample rate " + std::to_string(m_rate) + " Hz " + how, false);
    for (Pending& p : m_pending) m_writer.Annotate(p.position, std::move(p.text), p.important);
    m_pending.clear();

    // The buffered packets are the first stream's first ones.
    m_gapDetector = std::make_unique<CGapDetector>(nanoseconds(int64_t(4e9 / m_rate)));
    std::vector<Buffered> buffered = std::move(m_buffered);
    m_buffered.clear();
    // Measuring may have taken longer than the recording asked for.
    for (const Buffered& b : buffered)
        if (!TargetReached()) Store(b.values, b.arrival);
}

void CCaptureRecorder::Store(const WORD values[SAMPLE_VALUE_COUNT], nanoseconds arrival)
{
    if (!m_writer.AddPacket(values) && m_failure.empty()) m_failure = m_writer.LastError();
    ++m_streamPackets;
    if (m_gapDetector) {
        m_gapDetector->Add(arrival, m_gapsFound);
        FlushGaps();
    }
    // Bad reads are summed up per data record.
    const uint64_t record = uint64_t(m_writer.Layout().samples);
    if (m_badShort + m_badFailed > 0 && record > 0 && Position() / record > m_badPosition / record) FlushBadReads();
}

void CCaptureRecorder::OnBadRead(LONG length, nanoseconds)
{
    if (m_badShort + m_badFailed == 0) m_badPosition = Position();
    if (length == 0) {
        ++m_failedReads;
        ++m_badFailed;
        return;
    }
    ++m_shortReads;
    if (m_badShort == 0 || length < m_badMin) m_badMin = length;
    if (m_badShort == 0 || length > m_badMax) m_badMax = length;
    ++m_badShort;
}

void CCaptureRecorder::FlushBadReads()
{
    if (m_badShort > 0) {
        std::string bytes = m_badMin == m_badMax ? std::to_string(m_badMin)
                                                 : std::to_string(m_badMin) + "-" + std::to_string(m_badMax);
        Annotate(m_badPosition,
                 m_badShort == 1 ? "Short read (" + bytes + " bytes)"
                                 : "Short reads: " + std::to_string(m_badShort) + " (" + bytes + " bytes)",
                 false);
    }
    if (m_badFailed > 0)
        Annotate(m_badPosition, m_badFailed == 1 ? "Failed read" : "Failed reads: " + std::to_string(m_badFailed),
                 false);
    m_badShort = m_badFailed = 0;
}

void CCaptureRecorder::FlushGaps()
{
    for (const CGapDetector::Gap& gap : m_gapsFound) {
        char text[48];
        std::snprintf(text, sizeof text, "Gap: %.3f s of samples missing", InSeconds(gap.missing));
        Annotate(m_streamFirstSample + gap.packet * kSamplesPerPacket, text, false);
        ++m_gaps;
        m_missing += gap.missing;
    }
    m_gapsFound.clear();
}

uint64_t CCaptureRecorder::PacketsToFinish()
{
    MeasureRate(true);
    if (TargetReached()) return 0;
    return m_writer.PacketsToFinishRecord();
}

void CCaptureRecorder::OnStreamStop(const CaptureResult& result)
{
    if (m_rate == 0 && !m_buffered.empty()) MeasureRate(true);
    FlushBadReads();
    if (m_gapDetector) {
        m_gapDetector->Finish(m_gapsFound);
        FlushGaps();
    }
    std::string text = "Stream stop";
    if (result.end == CaptureEnd::amplifierGone) text += ": amplifier lost";
    else if (result.end == CaptureEnd::stopRequest) text += std::string(": ") + SignalName(result.signal);
    Annotate(Position(), text);
}

bool CCaptureRecorder::Finish(std::string& why)
{
    if (!m_failure.empty() && !m_writer.Begun()) {
        m_writer.Discard();
        why = m_failure;
        return false;
    }
    if (!m_writer.Begun()) {
        m_writer.Discard();
        why = "no packet arrived";
        return false;
    }
    uint64_t tail = m_writer.Layout().packets - m_writer.PacketsToFinishRecord();
    if (m_writer.PacketsToFinishRecord() > 0)
        m_writer.Annotate(Position(), "Not stored: last " + std::to_string(tail) + " packets");
    if (!m_writer.Close()) {
        why = m_writer.LastError();
        return false;
    }
    // A failed write still leaves a valid file of the records before it; the caller hears why.
    why = m_failure;
    return m_failure.empty();
}
