#include "sim/wire_log.h"

#include "platform/win32/clock.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace sim {

using platform::bus::Status;

namespace {
const char* status_name(Status s)
{
    switch (s) {
    case Status::ok: return "ok";
    case Status::stall: return "stall";
    case Status::cancelled: return "cancelled";
    case Status::no_device: return "no_device";
    case Status::error: return "error";
    case Status::busy: return "busy";
    }
    return "?";
}

std::string endpoint_text(uint8_t ep)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", ep);
    return buf;
}

bool is_calibration(const std::vector<uint8_t>& b)
{
    return b.size() == 10 && b[0] == 9;
}
}  // namespace

void WireLog::add(WireEntry entry)
{
    std::chrono::nanoseconds now = platform::win32::clock().now();
    std::function<void(const WireEntry&)> sink;
    {
        std::lock_guard lock(m_mutex);
        entry.t_ms = std::chrono::duration<double, std::milli>(now - m_origin).count();
        m_entries.push_back(entry);
        while (m_entries.size() > m_capacity) {
            m_entries.pop_front();
            ++m_dropped;
        }
        sink = m_sink;
    }
    if (sink) sink(entry);
}

void WireLog::out(uint8_t endpoint, std::span<const uint8_t> bytes, Status status)
{
    add({WireEntry::Kind::out, 0, endpoint, {bytes.begin(), bytes.end()}, status, 0, {}});
}

void WireLog::in(uint8_t endpoint, std::span<const uint8_t> bytes, Status status)
{
    add({WireEntry::Kind::in, 0, endpoint, {bytes.begin(), bytes.end()}, status, 0, {}});
}

void WireLog::wait(uint32_t ms)
{
    add({WireEntry::Kind::wait, 0, 0, {}, Status::ok, ms, {}});
}

void WireLog::note(std::string text)
{
    add({WireEntry::Kind::note, 0, 0, {}, Status::ok, 0, std::move(text)});
}

void WireLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_dropped = 0;
}

std::vector<WireEntry> WireLog::entries() const
{
    std::lock_guard lock(m_mutex);
    return {m_entries.begin(), m_entries.end()};
}

void WireLog::set_capacity(size_t entries)
{
    std::lock_guard lock(m_mutex);
    m_capacity = std::max<size_t>(entries, 1);
    while (m_entries.size() > m_capacity) {
        m_entries.pop_front();
        ++m_dropped;
    }
}

size_t WireLog::capacity() const
{
    std::lock_guard lock(m_mutex);
    return m_capacity;
}

uint64_t WireLog::dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

std::vector<std::vector<uint8_t>> WireLog::commands() const
{
    std::vector<std::vector<uint8_t>> result;
    std::lock_guard lock(m_mutex);
    for (const WireEntry& e : m_entries)
        if (e.kind == WireEntry::Kind::out && e.endpoint == 0x01) result.push_back(e.bytes);
    return result;
}

std::vector<std::string> WireLog::notes() const
{
    std::vector<std::string> result;
    std::lock_guard lock(m_mutex);
    for (const WireEntry& e : m_entries)
        if (e.kind == WireEntry::Kind::note) result.push_back(e.text);
    return result;
}

std::string WireLog::sequence(SequenceFormat format) const
{
    std::vector<std::string> items;
    std::string lastRead;
    int runLength = 0;
    auto flushRun = [&] {
        if (runLength > 1) items.back() += " x" + std::to_string(runLength);
        runLength = 0;
        lastRead.clear();
    };
    for (const WireEntry& e : entries()) {
        std::string item;
        switch (e.kind) {
        case WireEntry::Kind::out:
            if (e.endpoint == 0x00) {
                if (format.control) item = "ctl [" + hex(e.bytes) + "]";
            } else if (e.endpoint == 0x01) {
                if (e.bytes.size() == 1) item = std::to_string(e.bytes[0]);
                else if (is_calibration(e.bytes)) item = format.calibration_hex ? "9 [" + hex(e.bytes) + "]" : "9";
                else item = "[" + hex(e.bytes) + "]";
            }
            break;
        case WireEntry::Kind::in:
            if (e.endpoint == 0x81 && format.reads) {
                std::string read = e.status == Status::ok ? "in " + std::to_string(e.bytes.size())
                                                          : std::string("in ") + status_name(e.status);
                if (runLength > 0 && read == lastRead) {
                    ++runLength;
                    continue;
                }
                flushRun();
                items.push_back(read);
                lastRead = read;
                runLength = 1;
                continue;
            }
            break;
        case WireEntry::Kind::wait: item = "wait " + std::to_string(e.wait_ms); break;
        case WireEntry::Kind::note:
            if (format.notes) item = "note: " + e.text;
            break;
        }
        if (item.empty()) continue;
        flushRun();
        items.push_back(item);
    }
    flushRun();
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text += "; ";
        text += item;
    }
    return text;
}

void WireLog::set_origin(std::chrono::nanoseconds origin)
{
    std::lock_guard lock(m_mutex);
    m_origin = origin;
}

void WireLog::set_sink(std::function<void(const WireEntry&)> sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

std::string WireLog::hex(std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string WireLog::json_line(const WireEntry& e)
{
    nlohmann::ordered_json j;
    j["t_ms"] = e.t_ms;
    switch (e.kind) {
    case WireEntry::Kind::out:
    case WireEntry::Kind::in:
        j["dir"] = e.kind == WireEntry::Kind::out ? "out" : "in";
        j["ep"] = endpoint_text(e.endpoint);
        j["hex"] = hex(e.bytes);
        if (e.status != Status::ok) j["status"] = status_name(e.status);
        break;
    case WireEntry::Kind::wait:
        j["dir"] = "wait";
        j["ms"] = e.wait_ms;
        break;
    case WireEntry::Kind::note:
        j["dir"] = "note";
        j["text"] = e.text;
        break;
    }
    return j.dump();
}

}  // namespace sim
