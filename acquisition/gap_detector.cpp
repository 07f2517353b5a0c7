#include "acquisition/gap_detector.h"

#include <algorithm>

namespace {
constexpr uint64_t kTailPackets = 8;  // fewer late packets at the end prove nothing
}

CGapDetector::CGapDetector(std::chrono::nanoseconds period, uint64_t window) : m_period(period), m_window(window)
{
    if (m_window == 0) {
        uint64_t inASecond = period.count() > 0 ? uint64_t(std::chrono::nanoseconds(std::chrono::seconds(1)) / period)
                                                : 0;
        m_window = std::max<uint64_t>(128, inASecond);
    }
}

void CGapDetector::Add(std::chrono::nanoseconds arrival, std::vector<Gap>& found)
{
    // Where this packet lies against a timeline that starts at packet 0's arrival.
    std::chrono::nanoseconds x = arrival - m_period * int64_t(m_count);
    if (m_count == 0) m_reference = x;
    if (x - m_reference <= 3 * m_period) {
        m_lastOnTime = m_count;
        m_lateCount = 0;
    } else {
        if (m_lateCount == 0 || x < m_lateMin) m_lateMin = x;
        ++m_lateCount;
    }
    if (m_blockCount == 0 || x < m_blockMin) m_blockMin = x;
    ++m_blockCount;
    ++m_count;
    if (m_lateCount == m_window) Report(found);
    if (m_blockCount == m_window) {
        // The block's earliest packet is the timeline from here: drift is followed, bursts are not.
        if (m_lateCount == 0) m_reference = m_blockMin;
        m_blockCount = 0;
    }
}

void CGapDetector::Report(std::vector<Gap>& found)
{
    // Late all along: the samples between were never sent to us. The stream goes on from here.
    found.push_back({m_lastOnTime + 1, m_lateMin - m_reference});
    m_reference = m_lateMin;
    m_lastOnTime = m_count - 1;
    m_lateCount = 0;
    m_blockCount = 0;
}

void CGapDetector::Finish(std::vector<Gap>& found)
{
    if (m_lateCount >= kTailPackets) Report(found);
}
