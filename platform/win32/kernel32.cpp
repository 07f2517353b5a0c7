// Last error, time, events and waits.
#include "platform/win32/clock.h"
#include "platform/win32/handles.h"
#include "platform/win32/windows.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

using namespace platform::win32;

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

void Sleep(DWORD milliseconds)
{
    platform::win32::clock().sleep(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(platform::win32::clock().now()).count());
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (name && *name) {
        // Named events are shared between processes on Windows; nothing here needs one.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return detail::insert_handle(std::make_shared<detail::Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event)
{
    auto e = detail::find<detail::Event>(event);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    auto e = detail::find<detail::Event>(event);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto e = detail::find<detail::Event>(handle);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // Time limits are real time, whatever clock is installed.
    bool forever = milliseconds == INFINITE;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    return e->wait_until(deadline, forever) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle)
{
    if (detail::remove_handle(handle, detail::Kind::event)) return TRUE;
    if (auto object = detail::remove_handle(handle, detail::Kind::file)) {
        static_cast<detail::File&>(*object).file->close();
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
