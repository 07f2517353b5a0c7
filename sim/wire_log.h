// What crossed a device model's wire, in order: transfers with their bytes, the host's waits
// (connect RecordingClock::on_sleep to wait()), and the model's own notes (ignored packets).
// Thread-safe. Memory holds the newest entries only (tests assert on them with commands() and
// sequence()); a sink sees every entry as it comes (ampsim streams them to a file).
#pragma once

#include "platform/bus/device.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace sim {

struct WireEntry {
    enum class Kind : uint8_t { out, in, wait, note };
    Kind kind = Kind::out;
    double t_ms = 0;               // clock().now() when logged
    uint8_t endpoint = 0;          // 0x00 for control transfers (bytes = setup + data)
    std::vector<uint8_t> bytes{};  // out: what the host sent; in: what the device delivered
    platform::bus::Status status = platform::bus::Status::ok;
    uint32_t wait_ms = 0;  // wait
    std::string text{};    // note
};

// How sequence() renders the log.
struct SequenceFormat {
    bool reads = false;            // show completed reads of bulk IN as "in 68" (runs: "in 68 x12")
    bool calibration_hex = false;  // the calibration packet as "9 [09 30 f1 ...]" instead of "9"
    bool control = false;          // show control transfers as "ctl [80 06 00 01 ...]"
    bool notes = false;            // show notes as "note: text"
};

class WireLog {
public:
    void out(uint8_t endpoint, std::span<const uint8_t> bytes,
             platform::bus::Status status = platform::bus::Status::ok);
    void in(uint8_t endpoint, std::span<const uint8_t> bytes, platform::bus::Status status = platform::bus::Status::ok);
    void wait(uint32_t ms);
    void note(std::string text);
    void clear();

    // The newest entries, at most capacity() of them, oldest first.
    std::vector<WireEntry> entries() const;
    // Every packet the host wrote to the bulk OUT endpoint 0x01, in order.
    std::vector<std::vector<uint8_t>> commands() const;
    // Notes only, e.g. "malformed calibration packet", "unknown command 22".
    std::vector<std::string> notes() const;

    // "1; wait 750; 21; wait 200; 9": items joined by "; ". A one-byte packet on 0x01 is its
    // decimal code; a 10-byte packet starting with 9 is "9"; any other packet on 0x01 is its
    // bytes in brackets, "[0b 00]" (so "11" always means the one byte 11); waits are
    // "wait N" (ms). Reads, control transfers and notes only when the format asks.
    std::string sequence(SequenceFormat format = {}) const;

    // Times are logged from this point of the clock on (default: the clock's own origin).
    void set_origin(std::chrono::nanoseconds origin);

    // Called for every new entry, outside the log's lock (ampsim streams it to a file).
    void set_sink(std::function<void(const WireEntry&)> sink);

    // How many entries memory keeps; older ones are dropped (the sink has seen them).
    static constexpr size_t kDefaultCapacity = 65536;
    void set_capacity(size_t entries);
    size_t capacity() const;
    uint64_t dropped() const;  // entries dropped from memory since the last clear()

    // {"t_ms": 12.5, "dir": "out", "ep": "0x01", "hex": "09 30 f1"}; waits carry "ms" and
    // notes "text" instead of "ep"/"hex"; a non-ok status adds "status".
    static std::string json_line(const WireEntry& entry);
    static std::string hex(std::span<const uint8_t> bytes);

private:
    void add(WireEntry entry);

    mutable std::mutex m_mutex;
    std::deque<WireEntry> m_entries;
    size_t m_capacity = kDefaultCapacity;
    uint64_t m_dropped = 0;
    std::function<void(const WireEntry&)> m_sink;
    std::chrono::nanoseconds m_origin{0};
};

}  // namespace sim
