// The capture engine: one session with the first amplifier, for programs without a window
// (amprecord, ampcheck). It reaches the amplifier only through the panels' own protocol code in
// amp/, so the wire carries what a panel would send; it needs no window and no Qt.
//
// What a session promises:
// - Open() opens the first amplifier interface as the panels do and identifies the model by the
//   digit at unit 5 of the product string ("4" Quorvex, "2" Pellion). Nothing is sent. A missing,
//   busy or foreign device, or another model than the one insisted on, is refused with a reason.
// - PowerOn() sends the model's own power-on sequence with its waits and reads the version:
//   Quorvex "1; 750 ms; 21 (up to four times); 200 ms; 9" (calibration 10.00 Hz, step 6, as at the
//   panel's start-up), Pellion "1; 250 ms; 4; 21 (again after 500 ms if the first fails)".
// - Capture() applies the settings given (mode, range, channels, aux, reference, notch,
//   calibration: in that order, only those set), sends 10, and its worker sends 10 again and
//   reads 68-byte packets. Each packet goes to the sink on the calling thread, in order, with its
//   arrival time on the platform clock (platform::win32::clock(), so a test's recording clock
//   gives the simulator's virtual times). A read of any other length is never taken for a packet;
//   the sink hears of it. The capture ends at its limit, when the sink has enough, on a stop
//   request (capture_stop.h), or when the amplifier goes away; the worker then sends 11 and
//   Capture returns once it has left. Settings the model lacks are refused before anything is sent.
// - Close(), and the destructor, send 2 when the amplifier was powered, wait as the model's own
//   shutdown does (Quorvex 500 ms), and close the device. So every way out of a program that holds
//   a session puts 11 (if streaming) and then 2 on the wire: the end of a capture, a signal, a
//   lost amplifier, an exception thrown by the sink.
// One session a process (it uses the link's g_device), and never beside a panel. All calls,
// and all calls into the sink, happen on the thread that owns the session.
#pragma once

#include "acquisition/capture_settings.h"
#include "amp/models.h"
#include "amp/packets.h"
#include "platform/win32/windows.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AmplifierIdentity {
    const AmplifierModel* model = nullptr;
    std::string product;          // the USB product string, e.g. "QRVX-4 EEG Amplifier"
    std::string usbSerial;        // the USB serial number string
    DWORD hostDriverVersion = 0;  // the driver's own version, a.b.c.d from the high byte down
    bool versionRead = false;     // a version reply arrived at power-on; the three below are from it
    int usbDriverVersion = 0;     // reply byte 1, the About box's "USB driver version"
    int firmwareVersion = 0;      // reply byte 2
    int serialNumber = 0;         // reply bytes 4 (high) and 3 (low)
};

struct CapturePacket {
    uint64_t index = 0;                    // counted from 0 in each capture
    std::chrono::nanoseconds arrival{0};   // platform clock when the read returned
    BYTE header[4] = {};                   // packet bytes 0 to 3, as they came
    WORD values[SAMPLE_VALUE_COUNT] = {};  // value 8f + c is channel c of frame f
};

// A limit of 0 is no limit; with neither, a capture runs until the sink or a stop request ends it.
struct CaptureLimit {
    uint64_t packets = 0;                  // hand over this many packets
    std::chrono::nanoseconds duration{0};  // hand over the packets that arrive this long after the start
};

enum class CaptureEnd : BYTE {
    limit,          // the packets or the time asked for
    sink,           // the sink said it had enough
    stopRequest,    // RequestCaptureStop or a signal (see CaptureResult::signal)
    amplifierGone,  // the driver reported the amplifier removed
    refused,        // nothing was streamed: not powered, amplifier gone, settings refused, or a
                    // stop request that stood before the capture began
};

struct CaptureResult {
    CaptureEnd end = CaptureEnd::refused;
    int signal = 0;                       // the signal that asked to stop, if one did
    uint64_t packets = 0;                 // handed to the sink
    uint64_t shortReads = 0;              // reads that brought 1 to 67 bytes
    uint64_t failedReads = 0;             // reads that brought nothing while the stream ran
    std::chrono::nanoseconds started{0};  // platform clock when 10 was sent
    std::chrono::nanoseconds stopped{0};  // platform clock when the worker had sent 11
};

// What a capture hands over. Everything but OnPacket is optional.
class CCaptureSink {
public:
    virtual ~CCaptureSink() = default;
    // Before the stream starts: every setting sent since the previous stream (or power-on,
    // whose own settings are included), in the order sent.
    virtual void OnSettingsApplied(const std::vector<AppliedSetting>& settings) {}
    virtual void OnStreamStart(std::chrono::nanoseconds at) {}
    // false: enough; the capture ends after this packet.
    virtual bool OnPacket(const CapturePacket& packet) = 0;
    // A read that brought `length` bytes (0 to 67): not a packet.
    virtual void OnBadRead(LONG length, std::chrono::nanoseconds at) {}
    // Asked once when a stop is requested: how many more packets the sink needs to end on a whole
    // unit of its own (a data record). The capture takes at most that many more, for at most a
    // few seconds, then stops.
    virtual uint64_t PacketsToFinish() { return 0; }
    // While no packet comes, about every 50 ms of real time.
    virtual void OnIdle(std::chrono::nanoseconds now) {}
    // The worker has sent 11 and left.
    virtual void OnStreamStop(const CaptureResult& result) {}
};

class CCaptureSession {
public:
    CCaptureSession();
    ~CCaptureSession();
    CCaptureSession(const CCaptureSession&) = delete;
    CCaptureSession& operator=(const CCaptureSession&) = delete;

    // `model`: the one model to accept, or nullptr for either.
    bool Open(const AmplifierModel* model = nullptr);
    bool PowerOn();
    // Sends the settings given, in the order of CaptureSettings; false (nothing sent) for
    // settings the model lacks, or when the amplifier is not powered or has gone.
    bool ApplySettings(const CaptureSettings& settings);
    // ApplySettings, then one stream to `sink` until `limit`. False when nothing was streamed
    // (result.end is then refused, or stopRequest for a stop that stood before the start).
    bool Capture(const CaptureSettings& settings, const CaptureLimit& limit, CCaptureSink& sink, CaptureResult& result);
    void Close();

    bool IsOpen() const { return m_bOpen; }
    bool IsPowered() const { return m_bPowered; }
    const AmplifierIdentity& Identity() const { return m_identity; }
    // Why the last call that failed did so, in one sentence ("no amplifier found").
    const std::string& LastError() const { return m_lastError; }
    // Every setting sent since power-on, power-on's own included, in order.
    const std::vector<AppliedSetting>& Applied() const { return m_applied; }

    // How long a stop request may wait for the packets the sink asks to finish with.
    static constexpr std::chrono::seconds FINISH_BOUND{5};

private:
    struct Event;
    class CEventQueue;
    class CWorkerGuard;

    void NoteApplied(std::vector<BYTE> packet, std::string caption);
    void StreamWorker(CaptureLimit limit);
    void StopWorker();
    bool Refuse(std::string why, CaptureResult& result);

    AmplifierIdentity m_identity;
    std::string m_lastError;
    bool m_bOpen = false;
    bool m_bPowered = false;
    double m_calFrequency = 10.0;
    unsigned m_calAmplitudeIndex = 6;
    std::vector<AppliedSetting> m_applied;
    size_t m_appliedReported = 0;  // entries of m_applied already handed to a sink

    std::unique_ptr<CEventQueue> m_queue;
    std::thread m_worker;
    std::atomic<bool> m_bStreaming{false};
    std::mutex m_workerMutex;
    std::condition_variable m_workerLeft;
    bool m_bWorkerLeft = true;  // guarded by m_workerMutex
    std::chrono::nanoseconds m_started{0};
};
