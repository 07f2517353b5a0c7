// The sample ring between the streaming worker and the window, and the flags the two threads
// share. The worker stores a packet's values into the next slot and only then announces it with
// WM_SAMPLES_READY; the window draws one slot per message in ring order. Every value is an
// atomic, so a slot can be checked afterwards for having been overwritten while it was copied.
#pragma once

#include "amp/packets.h"
#include "platform/win32/windows.h"

#include <atomic>
#include <cstdint>

inline constexpr int RING_SLOTS = 256;
inline constexpr int SLOT_VALUES = 68;  // room per slot; a packet fills the first 32
inline constexpr UINT WM_SAMPLES_READY = WM_USER + 10;

extern std::atomic<int> g_streaming;  // 1 while the stream runs
extern std::atomic<int> g_chartBusy;  // 1 while the window feeds the chart
extern std::atomic<LONG> g_sampleRing[RING_SLOTS][SLOT_VALUES];
extern BYTE g_ringReadIndex;  // next slot to draw; user-interface thread only
// Packets stored since the stream started; the worker's write index is this modulo 256.
extern std::atomic<uint64_t> g_packetsStored;

struct SampleSlot {
    LONG v[SAMPLE_VALUE_COUNT];
};

// Before a stream starts (no worker alive): every value of every slot := `value`, counts to 0.
void ResetSampleRing(LONG value);

// Worker side: stores packet number g_packetsStored into its slot, then counts it.
void StoreSlot(BYTE writeIndex, const LONG values[SAMPLE_VALUE_COUNT]);
// Worker side: announces the slots stored so far unless the window is drawing.
void AnnounceSlot(HWND hWnd);

// Window side of the hand-over; user-interface thread only.
class CRingReader {
public:
    // At stream start, with g_ringReadIndex.
    void Reset();
    // Counts a WM_SAMPLES_READY as handled.
    void MessageArrived();
    // Copies the slot at g_ringReadIndex. False when every stored slot has been drawn already (a
    // second message for one slot). Up to 255 waiting slots are drawn in order, one a call. When
    // the slot to draw is the one the worker overwrites next (255 behind the newest) or further
    // back, or was overwritten while it was copied, it skips to the newest stored slot instead.
    bool TakeSlot(SampleSlot& slot);
    // The slot taken has been drawn: g_ringReadIndex moves on.
    void SlotDrawn();
    // After g_chartBusy is cleared: slots stored while it was set were not announced, so the
    // window announces the next of them itself, one message a slot, behind whatever is queued.
    void CatchUp(HWND hWnd);

    uint64_t drawn() const { return m_drawn; }
    uint64_t skipped() const { return m_skipped; }

    // From this many undrawn slots on, the oldest is the next the worker overwrites: the display
    // gives up on them and jumps to the newest.
    static constexpr uint64_t MAX_BACKLOG = RING_SLOTS;

private:
    void SkipToNewest(uint64_t stored);

    uint64_t m_drawn = 0;    // slots of this stream drawn (or skipped)
    uint64_t m_skipped = 0;  // slots given up on
};
