#include "acquisition/sample_ring.h"

#include "platform/afx/winuser.h"

std::atomic<int> g_streaming{0};
std::atomic<int> g_chartBusy{0};
std::atomic<LONG> g_sampleRing[RING_SLOTS][SLOT_VALUES];
BYTE g_ringReadIndex = 0;
std::atomic<uint64_t> g_packetsStored{0};

namespace {
// WM_SAMPLES_READY posted and not handled yet. It may read low (below zero) after a restart
// while the old stream's messages are still queued: that only costs a spare message.
std::atomic<int64_t> g_messagesQueued{0};

void PostSamplesReady(HWND hWnd)
{
    g_messagesQueued.fetch_add(1);
    if (!::PostMessage(hWnd, WM_SAMPLES_READY, 0, 0)) g_messagesQueued.fetch_sub(1);
}
}  // namespace

void ResetSampleRing(LONG value)
{
    for (auto& slot : g_sampleRing)
        for (auto& v : slot) v.store(value, std::memory_order_relaxed);
    g_packetsStored.store(0);
    g_messagesQueued.store(0);
}

void StoreSlot(BYTE writeIndex, const LONG values[SAMPLE_VALUE_COUNT])
{
    // Release stores: a reader that sees any of these values also sees the count that says the
    // slot is being rewritten, so it can tell a torn copy.
    std::atomic<LONG>* slot = g_sampleRing[writeIndex];
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) slot[i].store(values[i], std::memory_order_release);
    g_packetsStored.fetch_add(1);
}

void AnnounceSlot(HWND hWnd)
{
    if (g_chartBusy.load() == 0) PostSamplesReady(hWnd);
}

void CRingReader::Reset()
{
    g_ringReadIndex = 0;
    m_drawn = 0;
}

void CRingReader::MessageArrived()
{
    g_messagesQueued.fetch_sub(1);
}

void CRingReader::SkipToNewest(uint64_t stored)
{
    m_skipped += stored - 1 - m_drawn;
    m_drawn = stored - 1;
    g_ringReadIndex = BYTE(m_drawn % RING_SLOTS);
}

bool CRingReader::TakeSlot(SampleSlot& slot)
{
    for (;;) {
        uint64_t stored = g_packetsStored.load();
        if (stored <= m_drawn) return false;
        if (stored - m_drawn >= MAX_BACKLOG) SkipToNewest(stored);
        const std::atomic<LONG>* values = g_sampleRing[g_ringReadIndex];
        for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) slot.v[i] = values[i].load(std::memory_order_acquire);
        // The worker starts rewriting this slot once it has stored packet m_drawn + 255.
        if (g_packetsStored.load() < m_drawn + RING_SLOTS) return true;
        SkipToNewest(g_packetsStored.load());
    }
}

void CRingReader::SlotDrawn()
{
    ++m_drawn;
    g_ringReadIndex = BYTE(g_ringReadIndex + 1);
}

void CRingReader::CatchUp(HWND hWnd)
{
    uint64_t stored = g_packetsStored.load();
    int64_t queued = g_messagesQueued.load();
    if (stored > m_drawn && stored - m_drawn > uint64_t(queued < 0 ? 0 : queued)) PostSamplesReady(hWnd);
}
