// How a program ends when it is told to from outside rather than by its own windows: SIGTERM,
// SIGINT and SIGHUP, its main window destroyed by another X client, or the connection to the
// display breaking (the X server gone, or the window killed through it). The main window gets
// WM_ENDSESSION, as at the end of a Windows session, and ends itself; modal loops still open on
// top of it end; the process ends with status 0.
#pragma once

#include <functional>

namespace platform::afx {

// User-interface thread: WM_ENDSESSION (TRUE) to the main window, once per window, then every
// modal loop still running ends and so does the application's own loop.
void EndSession();

// From the program entry, once the QApplication exists. A signal that was ignored when the
// program started (a background job's SIGINT, nohup's SIGHUP) stays ignored. After a broken
// display connection the session ends at once, `atEnd` runs, and the process ends with status 0
// without returning to the toolkit, which cannot go on without its display.
void WatchForSessionEnd(std::function<void()> atEnd);
// Puts the signals' previous handling and the message handler back.
void StopWatchingForSessionEnd();

}  // namespace platform::afx
