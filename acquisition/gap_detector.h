// Finds where a stream lost samples, from packet arrival times alone: the stream fell behind
// its own timeline (one packet period per packet) by more than three periods and stayed behind
// for a whole window of packets in a row. A late packet followed by a burst that catches up (the
// amplifier held the data in its FIFO) is no gap, and a slow drift between the amplifier's and
// the host's clocks is followed rather than reported.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

class CGapDetector {
public:
    struct Gap {
        uint64_t packet;                   // the first packet after the missing stretch
        std::chrono::nanoseconds missing;  // how far the stream fell behind
    };

    // `period`: one packet's time at the stream's rate. `window`: packets that must all be late
    // before a gap is certain; 0 takes 128 packets (twice the amplifier's FIFO) or a second,
    // whichever is longer, since a busy host can stay a few periods behind for a while without
    // losing anything.
    explicit CGapDetector(std::chrono::nanoseconds period, uint64_t window = 0);

    // The next packet's arrival; gaps that became certain are appended to `found`.
    void Add(std::chrono::nanoseconds arrival, std::vector<Gap>& found);
    // The stream ended: a lateness that lasted to the end (over at least a few packets) counts.
    void Finish(std::vector<Gap>& found);

private:
    void Report(std::vector<Gap>& found);

    std::chrono::nanoseconds m_period;
    uint64_t m_window;
    uint64_t m_count = 0;                     // packets seen
    std::chrono::nanoseconds m_reference{0};  // where the timeline starts (packet 0's arrival, as followed)
    uint64_t m_lastOnTime = 0;                // the last packet within three periods of the timeline
    uint64_t m_lateCount = 0;                 // packets since then, all late
    std::chrono::nanoseconds m_lateMin{0};
    std::chrono::nanoseconds m_blockMin{0};
    uint64_t m_blockCount = 0;
};
