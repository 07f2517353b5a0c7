#include "analysis/stream_timing.h"

#include "analysis/packet_period.h"

#include <algorithm>
#include <limits>

namespace analysis {

StreamTiming stream_timing(std::span<const std::vector<double>> runs)
{
    StreamTiming timing;
    for (const std::vector<double>& run : runs) {
        timing.packets += run.size();
        for (size_t i = 1; i < run.size(); ++i) timing.longestGapS = std::max(timing.longestGapS, run[i] - run[i - 1]);
    }
    // The period the recorder measures too: through the packets that came promptly, so a host
    // that was late and caught up, or a stretch the amplifier lost, does not move the rate.
    PacketPeriod period = measure_packet_period(runs);
    timing.packetsPerSecond = period.period > 0 ? 1 / period.period : std::numeric_limits<double>::quiet_NaN();
    timing.rateReliable = period.reliable;
    return timing;
}

}  // namespace analysis
