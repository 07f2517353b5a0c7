// The streaming worker: sends CMD_STREAM_START, reads 68-byte sample packets into the ring while
// g_streaming is set, announces each, and sends CMD_STREAM_STOP when it leaves. At most one is
// alive; the window waits for it to leave before it powers off, closes or starts the next one.
// None of it needs a window: with no window nothing is announced.
#pragma once

#include "platform/win32/windows.h"

// Posted to the worker's window when it left its loop because the amplifier went away.
inline constexpr UINT WM_AMPLIFIER_GONE = WM_USER + 11;

// The thread procedure; pParam is the window that gets WM_SAMPLES_READY.
UINT StreamWorker(LPVOID pParam);

// Starts StreamWorker for `hWnd`. The caller has set g_streaming and made sure no worker is alive.
// False when the thread could not be started: then no worker is alive.
bool StartStreamWorker(HWND hWnd);
bool StreamWorkerAlive();
// With g_streaming cleared: returns once the worker has left its loop and sent its stop command.
// A worker still inside a read has that read aborted, so an amplifier that stopped answering
// holds nobody up for the endpoint's time limit.
void WaitForStreamWorker();
