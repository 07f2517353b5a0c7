#include "acquisition/stream_worker.h"

#include "acquisition/sample_ring.h"
#include "amp/link.h"
#include "platform/afx/afxwin.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
std::mutex g_workerMutex;
std::condition_variable g_workerLeft;
bool g_workerAlive = false;
// Set while the worker is inside a read: only then is there something to abort.
std::atomic<bool> g_workerReading{false};

void WorkerLeft()
{
    std::lock_guard lock(g_workerMutex);
    g_workerAlive = false;
    g_workerLeft.notify_all();
}
}  // namespace

UINT StreamWorker(LPVOID pParam)
{
    HWND hWnd = static_cast<HWND>(pParam);
    BYTE packet[512] = {};
    LONG values[SAMPLE_VALUE_COUNT] = {};

    SendCommand(CMD_STREAM_START);
    BYTE w = 0;
    while (g_streaming.load() != 0 && !AmplifierGone()) {
        g_workerReading.store(true);
        LONG length = ReadPacket(packet);
        g_workerReading.store(false);
        if (!SamplePacket::Decode(packet, length, values)) {
            // A read that moved nothing failed at once (amplifier unplugged, pipe gone): try
            // again, but without spinning a core until SCROLL is clicked.
            if (length == 0 && g_streaming.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        StoreSlot(w, values);
        AnnounceSlot(hWnd);
        w = BYTE(w + 1);
    }
    SendCommand(CMD_STREAM_STOP);
    // The window learns it even when no device notice reaches it.
    if (AmplifierGone()) ::PostMessage(hWnd, WM_AMPLIFIER_GONE, 0, 0);
    WorkerLeft();
    return 0;
}

bool StartStreamWorker(HWND hWnd)
{
    {
        std::lock_guard lock(g_workerMutex);
        g_workerAlive = true;
    }
    if (AfxBeginThread(StreamWorker, hWnd) != nullptr) return true;
    WorkerLeft();
    return false;
}

bool StreamWorkerAlive()
{
    std::lock_guard lock(g_workerMutex);
    return g_workerAlive;
}

void WaitForStreamWorker()
{
    std::unique_lock lock(g_workerMutex);
    while (g_workerAlive) {
        // The worker may have tested g_streaming just before it was cleared and be about to
        // start one more read, so abort again until it is seen leaving; only while it reads, as
        // an abort at any other moment finds nothing to end.
        if (g_workerReading.load()) {
            lock.unlock();
            AbortPendingRead();
            lock.lock();
        }
        g_workerLeft.wait_for(lock, std::chrono::milliseconds(20), [] { return !g_workerAlive; });
    }
}
