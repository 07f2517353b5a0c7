// The amplifier's packet period from the times its packets arrived. A packet can come late (the
// host was busy; a burst from the amplifier's FIFO follows) but never early, and a stretch can be
// missing altogether (the FIFO overflowed): the period is fitted through the packets that came
// promptly, stretch by stretch between the losses. When too few came promptly the measurement
// says it cannot be trusted rather than give a rate that only looks right.
#pragma once

#include <chrono>
#include <vector>

struct PeriodMeasurement {
    double period = 0;      // seconds per packet; 0 when the arrivals tell nothing
    bool reliable = false;  // enough prompt packets, and the two estimates agree
};

PeriodMeasurement MeasurePacketPeriod(const std::vector<std::chrono::nanoseconds>& arrivals);
