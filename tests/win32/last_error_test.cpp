#include "platform/win32/clock.h"
#include "platform/win32/windows.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform::win32;

TEST(LastError, IsKeptPerThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenOnOtherThread = 1234;
    std::thread other([&] {
        seenOnOtherThread = GetLastError();
        SetLastError(ERROR_GEN_FAILURE);
    });
    other.join();
    EXPECT_EQ(seenOnOtherThread, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Clock, SleepGoesThroughTheInstalledClockAndIsReported)
{
    RecordingClock recording;
    std::vector<uint32_t> waits;
    recording.on_sleep = [&](uint32_t ms) { waits.push_back(ms); };
    ScopedClock scope(recording);

    DWORD before = GetTickCount();
    Sleep(750);
    Sleep(500);
    EXPECT_EQ(waits, (std::vector<uint32_t>{750, 500}));
    EXPECT_EQ(GetTickCount() - before, 1250u);
}

TEST(Clock, PaceUntilMovesVirtualTimeForwardOnlyAndSilently)
{
    RecordingClock recording;
    int reports = 0;
    recording.on_sleep = [&](uint32_t) { ++reports; };
    recording.pace_until(std::chrono::milliseconds(40));
    recording.pace_until(std::chrono::milliseconds(10));
    EXPECT_EQ(recording.now(), std::chrono::milliseconds(40));
    EXPECT_EQ(reports, 0);
}

TEST(Clock, RemovingTheScopeRestoresTheRealClock)
{
    RecordingClock recording;
    {
        ScopedClock scope(recording);
        EXPECT_EQ(&platform::win32::clock(), &recording);
    }
    EXPECT_NE(&platform::win32::clock(), &recording);
}
