// Records captures into an EDF+ file: a capture sink that measures the amplifier's rate, writes
// every packet through CEdfWriter and marks in annotations what happened on the way: the
// settings applied, each stream's start and stop, reads that were not packets, gaps in time, a
// lost amplifier, and (for several captures in one file) the name of each step.
#pragma once

#include "acquisition/capture_engine.h"
#include "acquisition/gap_detector.h"
#include "analysis/packet_period.h"
#include "recording/edf_writer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct RecorderOptions {
    int sampleRate = 0;             // Hz; 0: measured over the first second of the first capture
    double microvoltsPerCount = 0;  // 0: the file is in counts
    double seconds = 0;             // the samples to keep, as time at the rate (rounded up to whole
                                    // records); 0: as many as the captures bring
    std::string program;            // "amprecord 1.1.0": named in the first annotation
};

class CCaptureRecorder : public CCaptureSink {
public:
    CCaptureRecorder(CEdfWriter& writer, const AmplifierIdentity& identity, RecorderOptions options);

    // Several captures in one file: `name` marks where the next capture's data begins.
    void BeginStep(const std::string& name);

    void OnSettingsApplied(const std::vector<AppliedSetting>& settings) override;
    void OnStreamStart(std::chrono::nanoseconds at) override;
    bool OnPacket(const CapturePacket& packet) override;
    void OnBadRead(LONG length, std::chrono::nanoseconds at) override;
    uint64_t PacketsToFinish() override;
    void OnStreamStop(const CaptureResult& result) override;

    // Closes the file. False when nothing was worth keeping (the file is then removed) or when
    // writing failed on the way (the records before stay); `why` says which.
    bool Finish(std::string& why);
    // Writing failed; the capture is told it has enough.
    const std::string& Failure() const { return m_failure; }

    bool RateKnown() const { return m_rate > 0; }
    int SampleRate() const { return m_rate; }
    bool RateMeasured() const { return m_bMeasured; }
    // The packets came too irregularly (a host too busy) for the rate to be sure.
    bool RateUncertain() const { return m_bUncertain; }
    // How long packets are kept back for a rate that can be trusted before one is settled anyway.
    static constexpr double MAX_MEASURING_SECONDS = 10.0;
    // Seconds of samples taken so far (the partial record included).
    double Seconds() const;
    bool TargetReached() const;
    uint64_t ShortReads() const { return m_shortReads; }
    uint64_t FailedReads() const { return m_failedReads; }
    uint64_t Gaps() const { return m_gaps; }
    std::chrono::nanoseconds Missing() const { return m_missing; }
    // Formats a.b.c.d of the driver's version.
    static std::string DriverVersionText(DWORD version);
    // "Quorvex SN1234 FW23 USB11 DRV1.5.7.0": what the header's equipment field carries.
    static std::string EquipmentText(const AmplifierIdentity& identity);

private:
    struct Buffered {
        std::chrono::nanoseconds arrival;
        WORD values[SAMPLE_VALUE_COUNT];
    };
    uint64_t Position() const;                     // per-signal samples so far, buffered ones included
    std::vector<double> BufferedArrivals() const;  // seconds from the first
    analysis::PacketPeriod MeasurePeriod() const;
    double MeasuringWindow() const;
    // Settles the rate if it can be trusted (`last`: whatever the packets say, or an assumption).
    void MeasureRate(bool last);
    void Store(const WORD values[SAMPLE_VALUE_COUNT], std::chrono::nanoseconds arrival);
    void Annotate(uint64_t position, std::string text, bool important = true);
    void FlushBadReads();
    void FlushGaps();

    CEdfWriter& m_writer;
    AmplifierIdentity m_identity;
    RecorderOptions m_options;
    int m_rate = 0;
    bool m_bMeasured = false;
    bool m_bUncertain = false;
    double m_nextMeasurement = 0;  // seconds of buffered packets at the next try
    uint64_t m_targetSamples = 0;
    std::chrono::system_clock::time_point m_wallStart{};
    bool m_bStarted = false;
    std::vector<Buffered> m_buffered;  // the first packets, while the rate is being measured
    struct Pending {
        uint64_t position;
        std::string text;
        bool important;
    };
    std::vector<Pending> m_pending;  // annotations before the rate is known

    // This stream
    uint64_t m_streamFirstSample = 0;
    uint64_t m_streamPackets = 0;
    std::unique_ptr<CGapDetector> m_gapDetector;
    std::vector<CGapDetector::Gap> m_gapsFound;

    // Reads that were not packets, summed up per data record.
    uint64_t m_badPosition = 0;
    uint64_t m_badShort = 0;
    uint64_t m_badFailed = 0;
    LONG m_badMin = 0;
    LONG m_badMax = 0;

    uint64_t m_shortReads = 0;
    uint64_t m_failedReads = 0;
    uint64_t m_gaps = 0;
    std::chrono::nanoseconds m_missing{0};
    std::string m_failure;  // the file could not take more
};
