// Device-change notices. RegisterDeviceNotificationA records who wants them; the window layer
// installs the poster that delivers WM_DEVICECHANGE to a window (from any thread, so it must post,
// not call). The broadcast record lParam points at stays valid while the next 256 notices are posted.
#pragma once

#include "platform/win32/windows.h"

#include <functional>

namespace platform::win32 {

using WindowMessagePoster = std::function<void(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

// nullptr: notices are dropped.
void set_window_message_poster(WindowMessagePoster poster);

}  // namespace platform::win32
