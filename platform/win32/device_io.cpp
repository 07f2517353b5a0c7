// The device namespace, CreateFileA and overlapped DeviceIoControl.
#include "platform/win32/device_namespace.h"
#include "platform/win32/handles.h"
#include "platform/win32/namespace_internal.h"
#include "platform/win32/notify_internal.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace platform::win32 {

namespace {

struct Published {
    InterfaceId id;
    GUID classGuid;
    std::string path;
    std::string key;  // the path folded for lookup
    std::function<std::shared_ptr<DeviceFile>()> open;
    int rank;
};

struct Namespace {
    std::mutex mutex;
    std::vector<Published> entries;  // kept in enumeration order
    InterfaceId next = 1;
};

Namespace& names()
{
    static Namespace* n = new Namespace;
    return *n;
}

std::string fold(const std::string& path)
{
    std::string key = path;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.size() >= 4 && key.compare(0, 4, "\\\\.\\") == 0) key[2] = '?';
    return key;
}

// OVERLAPPED.Internal holds an NTSTATUS: a Windows error e travels as 0xC0070000 | e.
constexpr ULONG_PTR kStatusFromError = 0xC0070000;

ULONG_PTR status_of(DWORD error)
{
    return error == ERROR_SUCCESS ? 0 : (kStatusFromError | error);
}

DWORD error_of(ULONG_PTR status)
{
    if (status == 0) return ERROR_SUCCESS;
    if ((status & 0xFFFF0000u) == kStatusFromError) return static_cast<DWORD>(status & 0xFFFF);
    return ERROR_GEN_FAILURE;
}

// Overlapped requests without an event are waited for here.
std::mutex g_eventlessMutex;
std::condition_variable g_eventlessCv;

class Request final : public IoRequest {
public:
    Request(OVERLAPPED* overlapped, std::shared_ptr<detail::Event> event)
        : m_overlapped(overlapped), m_event(std::move(event))
    {
    }

    void complete(DWORD error, DWORD bytes) override
    {
        if (m_claimed.exchange(true, std::memory_order_acq_rel)) return;
        m_error = error;
        m_bytes = bytes;
        if (!m_overlapped) {
            m_done.store(true, std::memory_order_release);
            m_done.notify_all();
            return;
        }
        // After the signal the caller may reuse or free the OVERLAPPED: touch it only before.
        auto fill = [&] {
            std::atomic_ref(m_overlapped->InternalHigh).store(bytes, std::memory_order_relaxed);
            std::atomic_ref(m_overlapped->Internal).store(status_of(error), std::memory_order_release);
            m_done.store(true, std::memory_order_release);
        };
        // The event outlives the wake-up: we hold it.
        if (m_event) {
            m_event->signal(fill);
            return;
        }
        {
            std::lock_guard lock(g_eventlessMutex);
            fill();
        }
        g_eventlessCv.notify_all();
    }

    bool completed() const override { return m_done.load(std::memory_order_acquire); }

    void wait() const { m_done.wait(false, std::memory_order_acquire); }
    DWORD error() const { return m_error; }
    DWORD bytes() const { return m_bytes; }

private:
    OVERLAPPED* const m_overlapped;
    const std::shared_ptr<detail::Event> m_event;
    std::atomic<bool> m_claimed{false};
    std::atomic<bool> m_done{false};
    DWORD m_error = ERROR_SUCCESS;
    DWORD m_bytes = 0;
};

}  // namespace

InterfaceId publish_interface(const GUID& classGuid, const std::string& path,
                              std::function<std::shared_ptr<DeviceFile>()> open, int rank)
{
    Namespace& n = names();
    InterfaceId id;
    {
        std::lock_guard lock(n.mutex);
        id = n.next++;
        auto at = std::upper_bound(n.entries.begin(), n.entries.end(), rank,
                                   [](int r, const Published& p) { return r < p.rank; });
        n.entries.insert(at, Published{id, classGuid, path, fold(path), std::move(open), rank});
    }
    detail::notify_interface(classGuid, path, id, true);
    return id;
}

void withdraw_interface(InterfaceId id)
{
    Namespace& n = names();
    std::optional<Published> gone;
    {
        std::lock_guard lock(n.mutex);
        auto it = std::find_if(n.entries.begin(), n.entries.end(), [&](const Published& p) { return p.id == id; });
        if (it == n.entries.end()) return;
        gone = std::move(*it);
        n.entries.erase(it);
    }
    detail::notify_interface(gone->classGuid, gone->path, id, false);
}

namespace detail {

std::vector<InterfaceEntry> interfaces()
{
    Namespace& n = names();
    std::lock_guard lock(n.mutex);
    std::vector<InterfaceEntry> list;
    list.reserve(n.entries.size());
    for (const Published& p : n.entries) list.push_back({p.id, p.classGuid, p.path});
    return list;
}

std::optional<Opener> find_interface(const std::string& path)
{
    std::string key = fold(path);
    Namespace& n = names();
    std::lock_guard lock(n.mutex);
    for (const Published& p : n.entries)
        if (p.key == key) return Opener{p.id, p.open};
    return std::nullopt;
}

}  // namespace detail
}  // namespace platform::win32

using namespace platform::win32;

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition, DWORD, HANDLE)
{
    if (!fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto opener = detail::find_interface(fileName);
    if (!opener) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (creationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    DWORD before = GetLastError();
    SetLastError(ERROR_SUCCESS);
    std::shared_ptr<DeviceFile> file = opener->open();
    if (!file) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(before);
    return detail::insert_handle(std::make_shared<detail::File>(std::move(file), opener->id));
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped)
{
    auto file = detail::find<detail::File>(device);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((!inBuffer && inBufferSize) || (!outBuffer && outBufferSize)) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::shared_ptr<detail::Event> event;
    if (overlapped) {
        // The low bit of hEvent only keeps the completion off a completion port.
        HANDLE eventHandle = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(overlapped->hEvent) & ~uintptr_t{1});
        if (eventHandle) {
            event = detail::find<detail::Event>(eventHandle);
            if (!event) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            event->reset();
            event->serve_with(nullptr);
        }
        std::atomic_ref(overlapped->InternalHigh).store(0, std::memory_order_relaxed);
        std::atomic_ref(overlapped->Internal).store(STATUS_PENDING, std::memory_order_relaxed);
    }
    auto request = std::make_shared<Request>(overlapped, event);
    std::span<uint8_t> in(static_cast<uint8_t*>(inBuffer), inBuffer ? inBufferSize : 0);
    std::span<uint8_t> out(static_cast<uint8_t*>(outBuffer), outBuffer ? outBufferSize : 0);
    file->file->ioctl(ioControlCode, in, out, request);
    if (!request->completed()) {
        // Whoever waits on the event may read the answer itself.
        if (event) event->serve_with(file->file->completer());
        if (overlapped) {
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        }
        request->wait();
    }
    if (bytesReturned) *bytesReturned = request->bytes();
    if (request->error() != ERROR_SUCCESS) {
        SetLastError(request->error());
        return FALSE;
    }
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD numberOfBytesTransferred, BOOL wait)
{
    if (!overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONG_PTR status = std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire);
    if (status == STATUS_PENDING) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        HANDLE eventHandle = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(overlapped->hEvent) & ~uintptr_t{1});
        if (auto event = eventHandle ? detail::find<detail::Event>(eventHandle) : nullptr) {
            event->await({}, true, [&] {
                return std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire) != STATUS_PENDING;
            });
            std::lock_guard lock(event->mutex);
            if (!event->manual) event->signalled = false;
        } else {
            std::unique_lock lock(g_eventlessMutex);
            g_eventlessCv.wait(lock, [&] {
                return std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire) != STATUS_PENDING;
            });
        }
        status = std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire);
    }
    if (numberOfBytesTransferred)
        *numberOfBytesTransferred =
            static_cast<DWORD>(std::atomic_ref(overlapped->InternalHigh).load(std::memory_order_relaxed));
    DWORD error = error_of(status);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CancelIo(HANDLE handle)
{
    auto file = detail::find<detail::File>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    file->file->cancel();
    return TRUE;
}
