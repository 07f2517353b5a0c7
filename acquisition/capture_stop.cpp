#include "acquisition/capture_stop.h"

#include <atomic>
#include <csignal>

namespace {

// 0: no request; -1: asked by the program; otherwise the signal's number.
std::atomic<int> g_stopRequest{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

#ifdef SIGHUP
const int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
#else
const int kSignals[3] = {SIGINT, SIGTERM, 0};
#endif

extern "C" void OnStopSignal(int signal)
{
    // The next one of its kind is not caught: a second Ctrl-C ends a program that does not stop.
    std::signal(signal, SIG_DFL);
    RequestCaptureStop(signal);
}

}  // namespace

void RequestCaptureStop(int signal)
{
    int expected = 0;
    g_stopRequest.compare_exchange_strong(expected, signal > 0 ? signal : -1);
}

bool CaptureStopRequested()
{
    return g_stopRequest.load() != 0;
}

int CaptureStopSignal()
{
    int request = g_stopRequest.load();
    return request > 0 ? request : 0;
}

void ClearCaptureStop()
{
    g_stopRequest.store(0);
}

CStopSignals::CStopSignals()
{
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] != 0) m_previous[i] = std::signal(kSignals[i], OnStopSignal);
}

CStopSignals::~CStopSignals()
{
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] != 0 && m_previous[i] != SIG_ERR) std::signal(kSignals[i], m_previous[i]);
}
