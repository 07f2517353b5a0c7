// The one clock behind Sleep and the simulator's pacing. Tests install a recording clock that
// returns at once and reports each Sleep, so waits are asserted exactly and the suite stays fast.
// Transfer time limits do not use it: they use real time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

namespace platform::win32 {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary origin.
    virtual std::chrono::nanoseconds now() = 0;
    // What Sleep(ms) does.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
    // Simulator pacing: block until now() >= deadline (or return at once on a virtual clock).
    virtual void pace_until(std::chrono::nanoseconds deadline) = 0;
};

// The installed clock; the real one unless a test installed another.
Clock& clock();
// Installs `c` (nullptr restores the real clock). The caller keeps `c` alive while installed.
void install_clock(Clock* c);

// Virtual time: Sleep returns at once, advances now() by the wait and tells `on_sleep`
// (a test connects it to a wire log). pace_until moves now() forward to the deadline, unreported.
class RecordingClock : public Clock {
public:
    std::function<void(uint32_t ms)> on_sleep;

    std::chrono::nanoseconds now() override;
    void sleep(std::chrono::milliseconds duration) override;
    void pace_until(std::chrono::nanoseconds deadline) override;

private:
    std::mutex m_mutex;
    std::chrono::nanoseconds m_now{0};
};

// Installs a clock for one scope.
class ScopedClock {
public:
    explicit ScopedClock(Clock& c) { install_clock(&c); }
    ~ScopedClock() { install_clock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform::win32
