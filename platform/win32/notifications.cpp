#include "platform/win32/notifications.h"

#include "platform/win32/handles.h"
#include "platform/win32/notify_internal.h"

#include <cstring>
#include <deque>
#include <vector>

namespace platform::win32 {

namespace {

struct Registration final : detail::Object {
    static constexpr detail::Kind kKind = detail::Kind::notification;
    Registration() : Object(kKind) {}
    HWND window = nullptr;
    DWORD type = 0;
    bool allClasses = false;
    GUID classGuid{};
    HANDLE fileHandle = nullptr;
    InterfaceId fileInterface = 0;
    HDEVNOTIFY self = nullptr;
};

constexpr size_t kKeptBroadcasts = 256;
constexpr DWORD kNotifyAllInterfaceClasses = 0x00000004;

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Registration>> registrations;
    WindowMessagePoster poster;
    std::deque<std::unique_ptr<uint8_t[]>> kept;
};

Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

struct Notice {
    HWND window;
    WPARAM event;
    LPARAM record;
};

}  // namespace

void set_window_message_poster(WindowMessagePoster poster)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.poster = std::move(poster);
}

namespace detail {

void notify_interface(const GUID& classGuid, const std::string& path, InterfaceId id, bool arrival)
{
    Registry& r = registry();
    std::vector<Notice> notices;
    WindowMessagePoster poster;
    {
        std::lock_guard lock(r.mutex);
        if (!r.poster) return;
        poster = r.poster;
        WPARAM event = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        auto keep = [&](size_t size) {
            r.kept.push_back(std::make_unique<uint8_t[]>(size));
            if (r.kept.size() > kKeptBroadcasts) r.kept.pop_front();
            return r.kept.back().get();
        };
        for (const auto& reg : r.registrations) {
            if (reg->type == DBT_DEVTYP_DEVICEINTERFACE && (reg->allClasses || reg->classGuid == classGuid)) {
                size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1;
                size = std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
                uint8_t* bytes = keep(size);
                auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(bytes);
                record->dbcc_size = static_cast<DWORD>(size);
                record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                record->dbcc_classguid = classGuid;
                std::memcpy(record->dbcc_name, path.c_str(), path.size() + 1);
                notices.push_back({reg->window, event, reinterpret_cast<LPARAM>(record)});
            } else if (reg->type == DBT_DEVTYP_HANDLE && !arrival && reg->fileInterface == id) {
                uint8_t* bytes = keep(sizeof(DEV_BROADCAST_HANDLE));
                auto* record = reinterpret_cast<DEV_BROADCAST_HANDLE*>(bytes);
                record->dbch_size = sizeof(DEV_BROADCAST_HANDLE);
                record->dbch_devicetype = DBT_DEVTYP_HANDLE;
                record->dbch_handle = reg->fileHandle;
                record->dbch_hdevnotify = reg->self;
                notices.push_back({reg->window, event, reinterpret_cast<LPARAM>(record)});
            }
        }
    }
    for (const Notice& n : notices) poster(n.window, WM_DEVICECHANGE, n.event, n.record);
}

}  // namespace detail
}  // namespace platform::win32

using namespace platform::win32;

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID notificationFilter, DWORD flags)
{
    if (flags & ~kNotifyAllInterfaceClasses) {
        // Service-handle recipients do not exist here.
        SetLastError(ERROR_INVALID_FLAGS);
        return nullptr;
    }
    if (!recipient) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!notificationFilter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto reg = std::make_shared<Registration>();
    reg->window = static_cast<HWND>(recipient);
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(notificationFilter);
    if (header->dbch_size < sizeof(DEV_BROADCAST_HDR)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    reg->type = header->dbch_devicetype;
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        const auto* filter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(notificationFilter);
        if (filter->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        reg->classGuid = filter->dbcc_classguid;
        reg->allClasses = (flags & kNotifyAllInterfaceClasses) != 0;
    } else if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        const auto* filter = static_cast<const DEV_BROADCAST_HANDLE*>(notificationFilter);
        if (filter->dbch_size < sizeof(DEV_BROADCAST_HANDLE)) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        auto file = detail::find<detail::File>(filter->dbch_handle);
        if (!file) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        reg->fileHandle = filter->dbch_handle;
        reg->fileInterface = file->interface;
    } else {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HDEVNOTIFY handle = detail::insert_handle(reg);
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    reg->self = handle;
    r.registrations.push_back(reg);
    return handle;
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY handle)
{
    auto object = detail::remove_handle(handle, detail::Kind::notification);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.registrations, [&](const auto& reg) { return reg.get() == object.get(); });
    return TRUE;
}
