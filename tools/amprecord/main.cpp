// amprecord: records what the first amplifier streams into an EDF+ file, through the capture
// engine the acceptance test uses too. One line of progress on a terminal; quiet otherwise.
// Exit 0: complete; 1: ended early (the file is valid and says why) or nothing recorded;
// 2: a bad option or no amplifier.
#include "acquisition/capture_engine.h"
#include "acquisition/capture_stop.h"
#include "ampbench/version.h"
#include "platform/bus/bus.h"
#include "platform/usbdriver/driver.h"
#include "recording/capture_recorder.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace {

const char* kProgram = "amprecord";

int Fail(int code, const std::string& text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
    return code;
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a stop request";
    }
}

// Passes everything on to the recorder and keeps one line of progress current on a terminal.
class CProgressSink : public CCaptureSink {
public:
    CProgressSink(CCaptureRecorder& recorder, double target, bool terminal)
        : m_recorder(recorder), m_target(target), m_bTerminal(terminal)
    {
    }

    void OnSettingsApplied(const std::vector<AppliedSetting>& settings) override
    {
        m_recorder.OnSettingsApplied(settings);
    }
    void OnStreamStart(std::chrono::nanoseconds at) override
    {
        m_start = at;
        m_recorder.OnStreamStart(at);
        Show(at, true);
    }
    bool OnPacket(const CapturePacket& packet) override
    {
        ++m_packets;
        bool more = m_recorder.OnPacket(packet);
        Show(packet.arrival, false);
        return more;
    }
    void OnBadRead(LONG length, std::chrono::nanoseconds at) override
    {
        m_recorder.OnBadRead(length, at);
        Show(at, false);
    }
    uint64_t PacketsToFinish() override { return m_recorder.PacketsToFinish(); }
    void OnIdle(std::chrono::nanoseconds now) override { Show(now, false); }
    void OnStreamStop(const CaptureResult& result) override
    {
        m_recorder.OnStreamStop(result);
        Show(result.stopped, true);
    }
    // Ends the progress line so that what follows starts on its own.
    void EndLine()
    {
        if (m_bTerminal && m_bShown) std::fputs("\n", stderr);
        m_bShown = false;
    }

    uint64_t Packets() const { return m_packets; }

private:
    void Show(std::chrono::nanoseconds now, bool always)
    {
        if (!m_bTerminal) return;
        auto real = std::chrono::steady_clock::now();
        if (!always && real - m_lastShown < std::chrono::milliseconds(200)) return;
        m_lastShown = real;
        double elapsed = m_recorder.RateKnown() ? m_recorder.Seconds()
                                                : std::chrono::duration<double>(now - m_start).count();
        std::string line = "\r" + Fixed(elapsed, 1) + " s";
        line += m_target > 0 ? " / " + Fixed(m_target, m_target == std::floor(m_target) ? 0 : 1) + " s"
                             : " (Ctrl-C ends)";
        line += "   " + std::to_string(m_packets) + " packets   ";
        line += m_recorder.RateKnown() ? std::to_string(m_recorder.SampleRate()) + " Hz" : "measuring rate";
        line += "   lost: " + LostText();
        std::fputs((line + "\033[K").c_str(), stderr);
        std::fflush(stderr);
        m_bShown = true;
    }

    std::string LostText() const
    {
        std::string text;
        auto add = [&](uint64_t n, const char* one, const char* many) {
            if (n == 0) return;
            if (!text.empty()) text += ", ";
            text += std::to_string(n) + " " + (n == 1 ? one : many);
        };
        add(m_recorder.ShortReads(), "short read", "short reads");
        add(m_recorder.FailedReads(), "failed read", "failed reads");
        add(m_recorder.Gaps(), "gap", "gaps");
        if (m_recorder.Gaps() > 0)
            text += " (" + Fixed(std::chrono::duration<double>(m_recorder.Missing()).count(), 2) + " s)";
        return text.empty() ? "nothing" : text;
    }

    CCaptureRecorder& m_recorder;
    double m_target;
    bool m_bTerminal;
    bool m_bShown = false;
    uint64_t m_packets = 0;
    std::chrono::nanoseconds m_start{0};
    std::chrono::steady_clock::time_point m_lastShown{};
};

struct Options {
    std::string file;
    double seconds = 0;
    std::string mode = "eeg", range, channels, aux, reference, notch, calFrequency, calAmplitude, model;
    int sampleRate = 0;
    double microvoltsPerCount = 0;
};

// The settings the options ask for; false with `why` for a value no switch has.
bool ToSettings(const Options& o, CaptureSettings& s, std::string& why)
{
    struct Named {
        const std::string& value;
        bool (*parse)(std::string_view, BYTE&);
        BYTE& code;
        const char* help;
    };
    const Named named[] = {
        {o.mode, ParseModeName, s.mode, "--mode: cal, eeg or ztest (test is the Pellion's name for cal)"},
        {o.range, ParseRangeName, s.range, "--range: 50, 100 or 500"},
        {o.channels, ParseChannelsName, s.channels, "--channels: 2 or 4"},
        {o.aux, ParseAuxName, s.aux, "--aux: on or off"},
        {o.reference, ParseReferenceName, s.reference, "--reference: link or unlink"},
        {o.notch, ParseNotchName, s.notch, "--notch: 50, 60 or off"},
    };
    for (const Named& n : named) {
        if (!n.value.empty() && !n.parse(n.value, n.code)) {
            why = n.help;
            return false;
        }
    }
    if (!o.calFrequency.empty() && !ParseCalFrequency(o.calFrequency, s.calFrequency)) {
        why = "--cal-frequency: 0.01 to 999.99 Hz in steps of 0.01";
        return false;
    }
    if (!o.calAmplitude.empty() && !ParseCalAmplitude(o.calAmplitude, s.calAmplitudeIndex)) {
        why = "--cal-amplitude: 0, 5, 10, 15, 20, 25, 50, 75 or 100 (microvolts peak to peak)";
        return false;
    }
    return true;
}

int Record(const Options& o, const CaptureSettings& settings)
{
    const AmplifierModel* model = o.model == "quorvex"   ? &QUORVEX_MODEL
                                  : o.model == "pellion" ? &PELLION_MODEL
                                                         : nullptr;
    CCaptureSession session;
    if (!session.Open(model)) return Fail(2, session.LastError());
    std::string refusal = SettingsRefusal(settings, *session.Identity().model);
    if (!refusal.empty()) return Fail(2, refusal);

    CEdfWriter writer;
    if (!writer.Create(o.file)) return Fail(2, "cannot write " + o.file + ": " + writer.LastError());

    RecorderOptions recorderOptions;
    recorderOptions.sampleRate = o.sampleRate;
    recorderOptions.microvoltsPerCount = o.microvoltsPerCount;
    recorderOptions.seconds = o.seconds;
    recorderOptions.program = std::string(kProgram) + " " + AMPBENCH_VERSION;

    CaptureResult result;
    std::string why;
    bool kept = false;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    {
        if (!session.PowerOn()) {
            writer.Discard();
            return Fail(1, session.LastError() + "; nothing recorded");
        }
        if (terminal) {
            const AmplifierIdentity& id = session.Identity();
            std::string version = id.versionRead ? "serial " + std::to_string(id.serialNumber) + ", firmware " +
                                                       std::to_string(id.firmwareVersion) + ", USB driver " +
                                                       std::to_string(id.usbDriverVersion)
                                                 : "no version reply";
            std::fprintf(stderr, "%s: %s (%s), recording to %s\n", kProgram, id.model->name, version.c_str(),
                         o.file.c_str());
        }
        CCaptureRecorder recorder(writer, session.Identity(), recorderOptions);
        CProgressSink progress(recorder, o.seconds, terminal);
        CaptureLimit limit;
        // A silent amplifier must not hold the recording forever: a margin past the time asked for.
        if (o.seconds > 0) limit.duration = std::chrono::nanoseconds(int64_t((o.seconds * 1.25 + 2.0) * 1e9));
        session.Capture(settings, limit, progress, result);
        session.Close();
        progress.EndLine();
        kept = recorder.Finish(why);

        const double seconds = writer.SamplesWritten() / double(std::max(1, recorder.SampleRate()));
        const std::string holds = o.file + " holds " + Fixed(seconds, 1) + " s";
        if (!kept && writer.RecordsWritten() == 0) {
            if (result.end == CaptureEnd::refused || result.end == CaptureEnd::stopRequest || result.packets == 0)
                return Fail(
                    1, "nothing recorded: " + (result.end == CaptureEnd::amplifierGone ? session.LastError() : why));
            return Fail(1, "nothing recorded: " + why);
        }
        if (!kept) return Fail(1, "writing " + o.file + " failed: " + why + "; it holds " + Fixed(seconds, 1) + " s");
        switch (result.end) {
        case CaptureEnd::amplifierGone: return Fail(1, "the amplifier went away; " + holds + " (until it was lost)");
        case CaptureEnd::stopRequest:
            if (o.seconds > 0 && !recorder.TargetReached())
                return Fail(1, std::string("stopped by ") + SignalName(result.signal) + "; " + holds + " of " +
                                   Fixed(o.seconds, 1) + " s");
            break;
        case CaptureEnd::limit:
            if (o.seconds > 0 && !recorder.TargetReached())
                return Fail(1, "the amplifier sent too little; " + holds + " of " + Fixed(o.seconds, 1) + " s");
            break;
        default: break;
        }
        if (recorder.RateUncertain())
            std::fprintf(stderr,
                         "%s: the packets came too irregularly to be sure of the rate (%d Hz); give --sample-rate "
                         "if you know it\n",
                         kProgram, recorder.SampleRate());
        if (recorder.ShortReads() + recorder.FailedReads() + recorder.Gaps() > 0)
            std::fprintf(
                stderr,
                "%s: %llu short reads, %llu failed reads, %llu gaps while recording; see the file's annotations\n",
                kProgram, (unsigned long long)recorder.ShortReads(), (unsigned long long)recorder.FailedReads(),
                (unsigned long long)recorder.Gaps());
        if (terminal)
            std::fprintf(stderr, "%s: %s at %d Hz, %llu packets\n", kProgram, holds.c_str(), recorder.SampleRate(),
                         (unsigned long long)progress.Packets());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app("Records what the first amplifier streams into an EDF+ file.", kProgram);
    app.set_version_flag("--version", std::string(kProgram) + " " + AMPBENCH_VERSION);
    app.footer("Exit status: 0 complete, 1 ended early (the file says why) or nothing recorded, "
               "2 a bad option or no amplifier.");
    Options o;
    app.add_option("FILE.edf", o.file, "the EDF+ file to write (replaced if it exists)")->required();
    app.add_option("--seconds", o.seconds, "how long to record (default: until Ctrl-C)")->check(CLI::PositiveNumber);
    app.add_option("--mode", o.mode, "cal, eeg or ztest (test: the Pellion's name for cal)")->capture_default_str();
    app.add_option("--range", o.range, "50, 100 or 500");
    app.add_option("--channels", o.channels, "2 or 4 (Quorvex)");
    app.add_option("--aux", o.aux, "on or off");
    app.add_option("--reference", o.reference, "link or unlink (Quorvex)");
    app.add_option("--notch", o.notch, "50 or 60, off (Pellion)");
    app.add_option("--cal-frequency", o.calFrequency, "calibration signal, 0.01 to 999.99 Hz (Quorvex)");
    app.add_option("--cal-amplitude", o.calAmplitude, "calibration signal, 0 5 10 15 20 25 50 75 100 uV p-p (Quorvex)");
    app.add_option("--sample-rate", o.sampleRate, "samples per second (default: measured over the first second)")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--microvolts-per-count", o.microvoltsPerCount,
                   "scale the file carries (default: none, values in counts 0 to 65535)")
        ->check(CLI::Range(1e-9, EDF_MAX_MICROVOLTS_PER_COUNT));
    app.add_option("--model", o.model, "record only from this model: quorvex or pellion")
        ->check(CLI::IsMember({"quorvex", "pellion"}));
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        return Fail(2, e.what());
    }
    CaptureSettings settings;
    std::string why;
    if (!ToSettings(o, settings, why)) return Fail(2, why);

    // From here a Ctrl-C stops the stream in order and keeps the file.
    CStopSignals signals;
    platform::bus::start_backends();
    platform::usbdriver::install();
    int status = Record(o, settings);
    platform::bus::stop_backends();
    return status;
}
