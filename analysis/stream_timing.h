// The rate of a packet stream measured against the host's clock, and its longest silence, from
// the arrival time of every packet. A capture is one run of consecutive packets; runs are
// measured together, each with its own start, so pauses between captures do not count.
#pragma once

#include <span>
#include <vector>

namespace analysis {

struct StreamTiming {
    double packetsPerSecond = 0;  // NaN with no run of at least two packets spread in time
    bool rateReliable = false;    // enough packets came promptly to see the amplifier's own timeline
    double longestGapS = 0;       // the longest wait between two packets of one run
    size_t packets = 0;
};

// `runs[r][i]` is the arrival time in seconds of packet i of run r.
StreamTiming stream_timing(std::span<const std::vector<double>> runs);

}  // namespace analysis
