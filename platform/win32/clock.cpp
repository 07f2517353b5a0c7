#include "platform/win32/clock.h"

#include <atomic>
#include <thread>

namespace platform::win32 {

namespace {

class RealClock final : public Clock {
public:
    std::chrono::nanoseconds now() override
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    void pace_until(std::chrono::nanoseconds deadline) override
    {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline)));
    }
};

RealClock g_realClock;
std::atomic<Clock*> g_clock{&g_realClock};

}  // namespace

Clock& clock()
{
    return *g_clock.load(std::memory_order_acquire);
}

void install_clock(Clock* c)
{
    g_clock.store(c ? c : &g_realClock, std::memory_order_release);
}

std::chrono::nanoseconds RecordingClock::now()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void RecordingClock::sleep(std::chrono::milliseconds duration)
{
    {
        std::lock_guard lock(m_mutex);
        m_now += duration;
    }
    if (on_sleep) on_sleep(static_cast<uint32_t>(duration.count()));
}

void RecordingClock::pace_until(std::chrono::nanoseconds deadline)
{
    std::lock_guard lock(m_mutex);
    if (deadline > m_now) m_now = deadline;
}

}  // namespace platform::win32
