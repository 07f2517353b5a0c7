#include "recording/edf_writer.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>

namespace {

constexpr int kSamplesPerPacket = 4;
constexpr long long kTenMicrosecondsPerSecond = 100000;
constexpr int kMidscale = 32768;

}  // namespace

RecordLayout RecordLayoutFor(int sampleRate)
{
    RecordLayout layout;
    if (sampleRate <= 0) return layout;
    // A record of p packets lasts 4p / rate seconds: whole in 10 us units once rate divides 400000 p.
    const long long rate = sampleRate;
    const long long perPacket = kSamplesPerPacket * kTenMicrosecondsPerSecond;
    const long long step = rate / std::gcd(rate, perPacket);
    const long long packetsInASecond = rate / kSamplesPerPacket;
    const long long p = step * std::max(1LL, packetsInASecond / step);
    layout.packets = int(p);
    layout.samples = int(p * kSamplesPerPacket);
    layout.duration10us = int(p * perPacket / rate);
    return layout;
}

CEdfWriter::~CEdfWriter()
{
    if (m_handle >= 0) Close();
}

bool CEdfWriter::Create(const std::string& path)
{
    m_path = path;
    // EDFlib's own errors do not say why a path cannot be written; try it first.
    std::FILE* probe = std::fopen(path.c_str(), "wb");
    if (probe == nullptr) {
        m_lastError = std::strerror(errno);
        return false;
    }
    std::fclose(probe);
    m_handle = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, EDF_SIGNALS);
    if (m_handle < 0) {
        m_lastError = "the EDF library cannot open it (" + std::to_string(m_handle) + ")";
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool CEdfWriter::Begin(const EdfHeader& header)
{
    m_header = header;
    m_layout = RecordLayoutFor(header.sampleRate);
    if (m_handle < 0 || m_layout.samples == 0) {
        m_lastError = "no sample rate";
        return false;
    }
    const bool counts = header.microvoltsPerCount <= 0;
    const double physicalMin = counts ? 0.0 : -kMidscale * header.microvoltsPerCount;
    const double physicalMax = counts ? 65535.0 : (kMidscale - 1) * header.microvoltsPerCount;
    bool ok = edf_set_datarecord_duration(m_handle, m_layout.duration10us) == 0;
    for (int s = 0; s < EDF_SIGNALS; ++s) {
        char label[8];
        std::snprintf(label, sizeof label, "ch%d", s + 1);
        ok = ok && edf_set_samplefrequency(m_handle, s, m_layout.samples) == 0;
        ok = ok && edf_set_digital_minimum(m_handle, s, -kMidscale) == 0;
        ok = ok && edf_set_digital_maximum(m_handle, s, kMidscale - 1) == 0;
        ok = ok && edf_set_physical_minimum(m_handle, s, physicalMin) == 0;
        ok = ok && edf_set_physical_maximum(m_handle, s, physicalMax) == 0;
        ok = ok && edf_set_label(m_handle, s, label) == 0;
        ok = ok && edf_set_physical_dimension(m_handle, s, counts ? "count" : "uV") == 0;
        ok = ok && edf_set_transducer(m_handle, s, header.transducer.c_str()) == 0;
    }
    ok = ok && edf_set_number_of_annotation_signals(m_handle, ANNOTATION_SIGNALS) == 0;

    std::time_t seconds = std::chrono::system_clock::to_time_t(header.start);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto sinceSecond = header.start - std::chrono::system_clock::from_time_t(seconds);
    // In 100 ns units, kept to 100 us as EDF+ readers expect.
    long long subsecond = std::chrono::duration_cast<std::chrono::microseconds>(sinceSecond).count() / 100 * 1000;
    ok = ok && edf_set_startdatetime(m_handle, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                     local.tm_min, local.tm_sec) == 0;
    ok = ok && edf_set_subsecond_starttime(m_handle, int(std::clamp(subsecond, 0LL, 9999000LL))) == 0;
    ok = ok && edf_set_equipment(m_handle, header.equipment.c_str()) == 0;
    if (!ok) {
        m_lastError = "the EDF library refused the header";
        return false;
    }
    m_record.assign(size_t(EDF_SIGNALS) * size_t(m_layout.samples), 0);
    m_packetsInRecord = 0;
    m_bBegun = true;
    return true;
}

bool CEdfWriter::AddPacket(const WORD values[32])
{
    if (!m_bBegun) return false;
    for (int f = 0; f < kSamplesPerPacket; ++f) {
        size_t at = size_t(m_packetsInRecord * kSamplesPerPacket + f);
        for (int c = 0; c < EDF_SIGNALS; ++c)
            m_record[size_t(c) * size_t(m_layout.samples) + at] = short(int(values[EDF_SIGNALS * f + c]) - kMidscale);
    }
    m_samplesAdded += kSamplesPerPacket;
    if (++m_packetsInRecord < m_layout.packets) return true;
    return WriteRecord();
}

bool CEdfWriter::WriteRecord()
{
    m_packetsInRecord = 0;
    if (edf_blockwrite_digital_short_samples(m_handle, m_record.data()) != 0) {
        m_lastError = "writing a data record failed";
        return false;
    }
    ++m_recordsWritten;
    return true;
}

uint64_t CEdfWriter::PacketsToFinishRecord() const
{
    return m_packetsInRecord == 0 ? 0 : uint64_t(m_layout.packets - m_packetsInRecord);
}

void CEdfWriter::Annotate(uint64_t position, std::string text, bool important)
{
    if (text.size() > EDF_ANNOTATION_CHARS) text.resize(EDF_ANNOTATION_CHARS);
    m_annotations.push_back({position, std::move(text), important});
}

void CEdfWriter::WriteAnnotations()
{
    // Each record carries one annotation per annotation signal, and no more. Without room for
    // all, the important ones are kept first, then the earliest others; the last one kept
    // gives way to the count of those left out.
    const size_t room = size_t(m_recordsWritten) * ANNOTATION_SIGNALS;
    std::vector<bool> keep(m_annotations.size(), false);
    size_t kept = 0;
    size_t lastKept = 0;
    for (bool important : {true, false})
        for (size_t i = 0; i < m_annotations.size(); ++i)
            if (m_annotations[i].important == important && kept < room) {
                keep[i] = true;
                ++kept;
                lastKept = i;
            }
    if (kept < m_annotations.size() && kept > 0)
        m_annotations[lastKept] = {m_annotations[lastKept].position,
                                   std::to_string(m_annotations.size() - kept + 1) + " more events not kept", false};
    std::vector<Annotation> ordered;
    for (size_t i = 0; i < m_annotations.size(); ++i)
        if (keep[i]) ordered.push_back(m_annotations[i]);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Annotation& a, const Annotation& b) { return a.position < b.position; });
    const uint64_t end = SamplesWritten();
    for (const Annotation& a : ordered) {
        // Onsets in 100 us units; what happened after the last whole record is put at its end.
        uint64_t position = std::min(a.position, end);
        long long onset = (long long)std::llround(double(position) * 10000.0 / m_header.sampleRate);
        edfwrite_annotation_utf8(m_handle, onset, -1, a.text.c_str());
    }
    m_annotations.clear();
}

bool CEdfWriter::Close()
{
    if (m_handle < 0) return false;
    m_packetsLeftOut = uint64_t(m_packetsInRecord);
    m_packetsInRecord = 0;
    if (m_recordsWritten == 0) {
        // EDFlib would invent records to hold the annotations: no file rather than a false one.
        Discard();
        m_lastError = "not one whole data record arrived";
        return false;
    }
    if (m_bBegun) WriteAnnotations();
    bool ok = edfclose_file(m_handle) == 0;
    m_handle = -1;
    if (!ok) m_lastError = "closing the file failed";
    return ok;
}

void CEdfWriter::Discard()
{
    if (m_handle >= 0) edfclose_file(m_handle);
    m_handle = -1;
    if (!m_path.empty()) std::remove(m_path.c_str());
}
