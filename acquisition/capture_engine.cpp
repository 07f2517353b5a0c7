#include "acquisition/capture_engine.h"

#include "acquisition/capture_stop.h"
#include "amp/descriptor_text.h"
#include "amp/link.h"
#include "amp/power.h"
#include "platform/win32/clock.h"

#include <condition_variable>
#include <mutex>

using std::chrono::nanoseconds;

namespace {

// About 8 s of the fastest stream: a sink further behind than that holds the worker up, and the
// amplifier's own FIFO overflows instead (which the arrival times then show).
constexpr size_t kQueuePackets = 8192;
constexpr auto kIdleTick = std::chrono::milliseconds(50);

nanoseconds Now()
{
    return platform::win32::clock().now();
}

}  // namespace

struct CCaptureSession::Event {
    enum Kind : BYTE { sample, badRead, gone, limit } kind = sample;
    LONG length = 0;
    CapturePacket packet;  // for a bad read only its arrival counts
};

// Worker to calling thread, in order. The worker waits while it is full.
class CCaptureSession::CEventQueue {
public:
    CEventQueue() : m_events(kQueuePackets) {}

    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_head = m_count = 0;
        m_bClosed = false;
    }
    // false once closed: the calling thread takes nothing more.
    bool Push(const Event& event)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_count < m_events.size() || m_bClosed; });
        if (m_bClosed) return false;
        m_events[(m_head + m_count) % m_events.size()] = event;
        ++m_count;
        m_notEmpty.notify_one();
        return true;
    }
    bool Pop(Event& event, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        if (!m_notEmpty.wait_for(lock, timeout, [&] { return m_count > 0; })) return false;
        event = m_events[m_head];
        m_head = (m_head + 1) % m_events.size();
        --m_count;
        m_notFull.notify_one();
        return true;
    }
    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        m_notFull.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::vector<Event> m_events;
    size_t m_head = 0;
    size_t m_count = 0;
    bool m_bClosed = false;
};

// Whatever way Capture is left, the worker has left first (and sent its 11).
class CCaptureSession::CWorkerGuard {
public:
    explicit CWorkerGuard(CCaptureSession& session) : m_session(session) {}
    ~CWorkerGuard() { m_session.StopWorker(); }
    CWorkerGuard(const CWorkerGuard&) = delete;
    CWorkerGuard& operator=(const CWorkerGuard&) = delete;

private:
    CCaptureSession& m_session;
};

CCaptureSession::CCaptureSession() : m_queue(std::make_unique<CEventQueue>()) {}

CCaptureSession::~CCaptureSession()
{
    StopWorker();
    Close();
}

bool CCaptureSession::Open(const AmplifierModel* model)
{
    Close();
    m_identity = {};
    m_applied.clear();
    m_appliedReported = 0;
    CUsbDevice* device = OpenAmplifierDevice(nullptr, model != nullptr && model->countDevicesFirst);
    if (device->driverHandle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        m_lastError = error == ERROR_ACCESS_DENIED ? "the amplifier is busy: another program has it open"
                                                   : "no amplifier found";
        Close();
        return false;
    }
    m_bOpen = true;
    m_identity.product = DescriptorText(device->productString, USB_STRING_UNITS);
    m_identity.usbSerial = DescriptorText(device->serialNumberString, USB_STRING_UNITS);
    m_identity.hostDriverVersion = device->driverVersion;
    const AmplifierModel* found = ModelOf(device);
    if (!HasBulkPipes(device) || found == nullptr) {
        m_lastError = "the connected device is not an amplifier (\"" + m_identity.product + "\")";
        Close();
        return false;
    }
    if (model != nullptr && found != model) {
        m_lastError = std::string("the connected amplifier is a ") + found->name + ", not a " + model->name;
        Close();
        return false;
    }
    m_identity.model = found;
    return true;
}

bool CCaptureSession::PowerOn()
{
    if (!m_bOpen) {
        m_lastError = "no amplifier is open";
        return false;
    }
    int versionBytes[4] = {};
    m_bPowered = true;
    m_applied.clear();
    m_appliedReported = 0;
    if (m_identity.model == &QUORVEX_MODEL) {
        m_identity.versionRead = QuorvexPowerOn(versionBytes);
        // The start-up's calibration packet, at the panel's defaults.
        m_calFrequency = 10.0;
        m_calAmplitudeIndex = 6;
        SendCalibration(m_calFrequency, m_calAmplitudeIndex);
        CalibrationPacket packet = CalibrationPacket::Build(m_calFrequency, m_calAmplitudeIndex);
        NoteApplied({packet.bytes, packet.bytes + CALIBRATION_PACKET_LENGTH},
                    CalibrationCaption(m_calFrequency, m_calAmplitudeIndex));
    } else {
        m_identity.versionRead = PellionPowerOn(versionBytes);
        NoteApplied({CMD_MODE_CAL}, SettingCaption(CMD_MODE_CAL, *m_identity.model));
    }
    if (m_identity.versionRead) {
        m_identity.usbDriverVersion = versionBytes[0];
        m_identity.firmwareVersion = versionBytes[1];
        m_identity.serialNumber = versionBytes[3] * 256 + versionBytes[2];
    }
    if (AmplifierGone()) {
        m_lastError = "the amplifier went away";
        return false;
    }
    return true;
}

void CCaptureSession::NoteApplied(std::vector<BYTE> packet, std::string caption)
{
    m_applied.push_back({std::move(packet), std::move(caption)});
}

bool CCaptureSession::ApplySettings(const CaptureSettings& settings)
{
    if (!m_bPowered) {
        m_lastError = "the amplifier is not powered";
        return false;
    }
    if (AmplifierGone()) {
        m_lastError = "the amplifier went away";
        return false;
    }
    std::string refusal = SettingsRefusal(settings, *m_identity.model);
    if (!refusal.empty()) {
        m_lastError = refusal;
        return false;
    }
    for (BYTE code :
         {settings.mode, settings.range, settings.channels, settings.aux, settings.reference, settings.notch}) {
        if (code == 0) continue;
        SendCommand(code);
        NoteApplied({code}, SettingCaption(code, *m_identity.model));
    }
    if (settings.calFrequency != 0 || settings.calAmplitudeIndex >= 0) {
        if (settings.calFrequency != 0) m_calFrequency = settings.calFrequency;
        if (settings.calAmplitudeIndex >= 0) m_calAmplitudeIndex = unsigned(settings.calAmplitudeIndex);
        SendCalibration(m_calFrequency, m_calAmplitudeIndex);
        CalibrationPacket packet = CalibrationPacket::Build(m_calFrequency, m_calAmplitudeIndex);
        NoteApplied({packet.bytes, packet.bytes + CALIBRATION_PACKET_LENGTH},
                    CalibrationCaption(m_calFrequency, m_calAmplitudeIndex));
    }
    return true;
}

bool CCaptureSession::Refuse(std::string why, CaptureResult& result)
{
    m_lastError = std::move(why);
    result.end = CaptureEnd::refused;
    return false;
}

bool CCaptureSession::Capture(const CaptureSettings& settings, const CaptureLimit& limit, CCaptureSink& sink,
                              CaptureResult& result)
{
    result = {};
    if (CaptureStopRequested()) {
        m_lastError = "a stop was requested";
        result.end = CaptureEnd::stopRequest;
        result.signal = CaptureStopSignal();
        return false;
    }
    if (!ApplySettings(settings)) return Refuse(m_lastError, result);

    sink.OnSettingsApplied({m_applied.begin() + std::ptrdiff_t(m_appliedReported), m_applied.end()});
    m_appliedReported = m_applied.size();

    m_queue->Reset();
    m_started = Now();
    result.started = m_started;
    m_bStreaming.store(true);
    {
        std::lock_guard lock(m_workerMutex);
        m_bWorkerLeft = false;
    }
    SendCommand(CMD_STREAM_START);
    CWorkerGuard guard(*this);
    m_worker = std::thread([this, limit] { StreamWorker(limit); });
    sink.OnStreamStart(m_started);

    bool ended = false;
    bool finishing = false;
    uint64_t toFinish = 0;
    std::chrono::steady_clock::time_point finishBy{};
    auto end = [&](CaptureEnd why) {
        result.end = why;
        ended = true;
    };
    while (!ended) {
        Event event;
        if (m_queue->Pop(event, kIdleTick)) {
            switch (event.kind) {
            case Event::sample:
                ++result.packets;
                if (!sink.OnPacket(event.packet)) end(CaptureEnd::sink);
                else if (finishing && --toFinish == 0) end(CaptureEnd::stopRequest);
                break;
            case Event::badRead:
                ++(event.length == 0 ? result.failedReads : result.shortReads);
                sink.OnBadRead(event.length, event.packet.arrival);
                break;
            case Event::gone: end(CaptureEnd::amplifierGone); break;
            case Event::limit: end(CaptureEnd::limit); break;
            }
        } else {
            // No packet for a while: the time limit and the stop request are watched from here.
            nanoseconds now = Now();
            if (limit.duration.count() > 0 && now - m_started > limit.duration) end(CaptureEnd::limit);
            else sink.OnIdle(now);
        }
        if (ended) break;
        if (finishing && std::chrono::steady_clock::now() > finishBy) end(CaptureEnd::stopRequest);
        if (!finishing && CaptureStopRequested()) {
            toFinish = sink.PacketsToFinish();
            finishing = true;
            finishBy = std::chrono::steady_clock::now() + FINISH_BOUND;
            if (toFinish == 0) end(CaptureEnd::stopRequest);
        }
    }
    if (result.end == CaptureEnd::stopRequest) {
        result.signal = CaptureStopSignal();
        // A stop request ends the program: a frozen amplifier costs one time limit, not one per command.
        BeginWayOut();
    }
    if (result.end == CaptureEnd::amplifierGone) m_lastError = "the amplifier went away";

    StopWorker();
    result.stopped = Now();
    sink.OnStreamStop(result);
    return true;
}

void CCaptureSession::StreamWorker(CaptureLimit limit)
{
    BYTE buffer[512] = {};
    LONG values[SAMPLE_VALUE_COUNT] = {};
    SendCommand(CMD_STREAM_START);
    uint64_t packets = 0;
    Event event;
    while (m_bStreaming.load()) {
        LONG length = ReadPacket(buffer);
        nanoseconds at = Now();
        if (SamplePacket::Decode(buffer, length, values)) {
            if (limit.duration.count() > 0 && at - m_started > limit.duration) {
                event.kind = Event::limit;
                m_queue->Push(event);
                break;
            }
            event.kind = Event::sample;
            event.packet.index = packets++;
            event.packet.arrival = at;
            for (int i = 0; i < 4; ++i) event.packet.header[i] = buffer[i];
            for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) event.packet.values[i] = WORD(values[i]);
            if (!m_queue->Push(event)) break;
            if (limit.packets != 0 && packets == limit.packets) {
                event.kind = Event::limit;
                m_queue->Push(event);
                break;
            }
            continue;
        }
        if (!m_bStreaming.load()) break;  // our own abort ended the read
        if (AmplifierGone()) {
            event.kind = Event::gone;
            m_queue->Push(event);
            break;
        }
        // Reads that bring no packet (an amplifier sending only short ones) must not hold off
        // the time limit either.
        if (limit.duration.count() > 0 && at - m_started > limit.duration) {
            event.kind = Event::limit;
            m_queue->Push(event);
            break;
        }
        event.kind = Event::badRead;
        event.length = length;
        event.packet.arrival = at;
        if (!m_queue->Push(event)) break;
        // A read that moved nothing failed at once: try again, without spinning a core.
        if (length == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    SendCommand(CMD_STREAM_STOP);
    std::lock_guard lock(m_workerMutex);
    m_bWorkerLeft = true;
    m_workerLeft.notify_all();
}

void CCaptureSession::StopWorker()
{
    if (!m_worker.joinable()) return;
    m_bStreaming.store(false);
    m_queue->Close();
    // The worker may be inside a read, or about to start one: abort until it is seen leaving.
    std::unique_lock lock(m_workerMutex);
    while (!m_bWorkerLeft) {
        lock.unlock();
        AbortPendingRead();
        lock.lock();
        m_workerLeft.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_bWorkerLeft; });
    }
    lock.unlock();
    m_worker.join();
}

void CCaptureSession::Close()
{
    BeginWayOut();
    StopWorker();
    if (m_bPowered) {
        m_bPowered = false;
        SendCommand(CMD_POWER_OFF);
        if (!AmplifierGone() && m_identity.model != nullptr && m_identity.model->powerOffWaitMs != 0)
            Sleep(m_identity.model->powerOffWaitMs);
    }
    CUsbDevice* device = g_device.exchange(nullptr);
    if (device != nullptr) {
        try {
            device->Close();
        } catch (const char* message) {
            m_lastError = message;
        }
        delete device;
    }
    m_bOpen = false;
}
