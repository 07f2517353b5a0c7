// The amplifier's packet period from the times its packets arrived. A packet can come late (the
// host was busy; a burst from the amplifier's FIFO follows) but never early, and a stretch can be
// missing altogether (the FIFO overflowed): the period is fitted through the packets that came
// promptly, stretch by stretch between the losses. Several runs (captures with pauses between
// them) share one period, each run with its own start. When too few came promptly the
// measurement says it cannot be trusted rather than give a rate that only looks right; the period
// is then the least-squares line through every packet of the stretches.
#pragma once

#include <span>
#include <vector>

namespace analysis {

struct PacketPeriod {
    double period = 0;      // seconds per packet; 0 when the arrivals tell nothing
    bool reliable = false;  // enough prompt packets, and the two estimates agree
};

// `runs[r][i]` is the arrival time in seconds of packet i of run r.
PacketPeriod measure_packet_period(std::span<const std::vector<double>> runs);

}  // namespace analysis
