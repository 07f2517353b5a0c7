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
    if (!await(deadline, forever, [this] { return signalled; })) return false;
    std::lock_guard lock(mutex);
    if (!manual) signalled = false;
    return true;
}

bool Event::await(std::chrono::steady_clock::time_point deadline, bool forever, const std::function<bool()>& ready)
{
    std::unique_lock lock(mutex);
    while (!ready()) {
        if (std::shared_ptr<Completer> c = completer.lock()) {
            ++serving_waiters;
            lock.unlock();
            const bool served =
                c->complete_here(forever ? std::chrono::steady_clock::time_point::max() : deadline, [&] {
                    std::lock_guard inner(mutex);
                    return ready();
                });
            lock.lock();
            --serving_waiters;
            // Its device is gone or cannot serve: the answer comes by another thread, if at all.
            if (!served && completer.lock() == c) completer.reset();
            if (!forever && !ready() && std::chrono::steady_clock::now() >= deadline) return false;
            continue;
        }
        if (forever) cv.wait(lock, ready);
        else if (!cv.wait_until(lock, deadline, ready)) return false;
    }
    return true;
}

void Event::set()
{
    signal([] {});
}

void Event::serve_with(std::shared_ptr<Completer> c)
{
    std::lock_guard lock(mutex);
    completer = c;
}

void Event::reset()
{
    std::lock_guard lock(mutex);
    signalled = false;
}

}  // namespace platform::win32::detail
