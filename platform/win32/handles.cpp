#include "platform/win32/handles.h"

#include <unordered_map>

namespace platform::win32::detail {

namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
    uintptr_t next = 0x100;
};

Table& table()
{
    static Table* t = new Table;  // outlives static destructors that may still close handles
    return *t;
}

}  // namespace

HANDLE insert_handle(std::shared_ptr<Object> object)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> find_handle(HANDLE handle, Kind kind)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end() || it->second->kind != kind) return nullptr;
    return it->second;
}

std::shared_ptr<Object> remove_handle(HANDLE handle, Kind kind)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end() || it->second->kind != kind) return nullptr;
    std::shared_ptr<Object> object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

bool Event::wait_until(std::chrono::steady_clock::time_point deadline, bool forever)
{
    std::unique_lock lock(mutex);
    if (forever) {
        cv.wait(lock, [&] { return signalled; });
    } else if (!cv.wait_until(lock, deadline, [&] { return signalled; })) {
        return false;
    }
    if (!manual) signalled = false;
    return true;
}

// Waiters are woken after the mutex is let go: woken under it, each would block on it at once and
// need a second wake-up, twice the thread switches for every completed transfer.
void Event::set()
{
    {
        std::lock_guard lock(mutex);
        signalled = true;
    }
    cv.notify_all();
}

void Event::reset()
{
    std::lock_guard lock(mutex);
    signalled = false;
}

}  // namespace platform::win32::detail
