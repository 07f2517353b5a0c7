// Asking a capture to stop: from another thread, from a signal handler, or by the signals a
// terminal and a system send (SIGINT, SIGTERM, SIGHUP) while a CStopSignals is alive. A request
// stands until cleared, so every capture of a session after it ends at once as well.
#pragma once

// Async-signal-safe. `signal` names the signal that asked (0: asked by the program itself).
void RequestCaptureStop(int signal = 0);
bool CaptureStopRequested();
// The signal that asked to stop, 0 when none did.
int CaptureStopSignal();
void ClearCaptureStop();

// While alive, SIGINT, SIGTERM and SIGHUP request a stop. A second one of the same kind ends
// the program as it would have without us. The handlers found are put back at the end.
class CStopSignals {
public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    using Handler = void (*)(int);
    Handler m_previous[3] = {};
};
