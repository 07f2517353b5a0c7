// The EDF+ file of a recording, written through EDFlib. One signal per amplifier channel,
// labelled as the panels' chart names them ("ch1" to "ch8"), at the amplifier's rate.
//
// What the file promises:
// - Every value is kept: the digital sample is the amplifier's 16-bit value less 32768, and the
//   header's scaling gives the value back (physical 0 to 65535, unit "count"), or, with a scale
//   of X microvolts per count, (value - 32768) x X in "uV".
// - Data records hold whole packets (4 samples a signal each) and last at most a second where the
//   rate allows, so a record's duration is exact in the header's units.
// - Annotations (at most 40 characters each) are placed at the sample where they happened. EDF+
//   keeps a few per data record; past that, the least important are summed up in one.
// - Only whole records are written: packets of a last, partial record are left out, and Close
//   says how many.
#pragma once

#include "platform/win32/windows.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int EDF_SIGNALS = 8;
inline constexpr size_t EDF_ANNOTATION_CHARS = 40;

struct EdfHeader {
    int sampleRate = 0;             // samples per second per signal, whole hertz
    double microvoltsPerCount = 0;  // 0: the signals are in counts
    std::string equipment;          // model, serial, firmware, driver versions
    std::string transducer;         // each signal's transducer field: the product string
    std::chrono::system_clock::time_point start;
};

// How a rate is cut into records: `packets` whole packets, `samples` per signal, lasting
// `duration10us` units of 10 microseconds (at most 100000, a second, where the rate allows it).
struct RecordLayout {
    int packets = 0;
    int samples = 0;
    int duration10us = 0;
};
RecordLayout RecordLayoutFor(int sampleRate);

// The largest scale the header can carry: its physical bounds have eight characters.
inline constexpr double EDF_MAX_MICROVOLTS_PER_COUNT = 100.0;

class CEdfWriter {
public:
    CEdfWriter() = default;
    ~CEdfWriter();
    CEdfWriter(const CEdfWriter&) = delete;
    CEdfWriter& operator=(const CEdfWriter&) = delete;

    // Creates (or empties) the file. Nothing else is written until Begin.
    bool Create(const std::string& path);
    // The header; before the first packet.
    bool Begin(const EdfHeader& header);
    bool Begun() const { return m_bBegun; }
    // One packet: value 8f + c is channel c of frame f. Whole records go out as they fill.
    bool AddPacket(const WORD values[32]);
    // `text` at sample `position` (per signal, from the start). Important ones (settings, start,
    // stop, a lost amplifier) are the last to be summed up when the file has no room left.
    void Annotate(uint64_t position, std::string text, bool important = true);
    // Writes the annotations and closes the file: a valid EDF+ file of the whole records.
    bool Close();
    // Nothing worth keeping: closes and removes the file.
    void Discard();

    const RecordLayout& Layout() const { return m_layout; }
    uint64_t SamplesAdded() const { return m_samplesAdded; }  // per signal, the partial record included
    uint64_t SamplesWritten() const { return m_recordsWritten * uint64_t(m_layout.samples); }
    uint64_t RecordsWritten() const { return m_recordsWritten; }
    // Packets the partial record still lacks (0 when it is empty).
    uint64_t PacketsToFinishRecord() const;
    // Packets of the partial record that Close left out.
    uint64_t PacketsLeftOut() const { return m_packetsLeftOut; }
    const std::string& LastError() const { return m_lastError; }
    const std::string& Path() const { return m_path; }

    // Annotation signals: the most annotations one data record carries.
    // Eight: a recording of a single record still keeps its settings, start, stop and losses;
    // each costs 114 bytes a record (at 256 Hz a sixth more than the samples).
    static constexpr int ANNOTATION_SIGNALS = 8;

private:
    struct Annotation {
        uint64_t position;
        std::string text;
        bool important;
    };
    bool WriteRecord();
    void WriteAnnotations();

    int m_handle = -1;
    std::string m_path;
    std::string m_lastError;
    bool m_bBegun = false;
    EdfHeader m_header;
    RecordLayout m_layout;
    std::vector<short> m_record;  // signal by signal, m_layout.samples each
    int m_packetsInRecord = 0;
    uint64_t m_recordsWritten = 0;
    uint64_t m_samplesAdded = 0;
    uint64_t m_packetsLeftOut = 0;
    std::vector<Annotation> m_annotations;
};
