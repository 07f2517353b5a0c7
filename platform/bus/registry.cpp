// The process-wide list of attached devices and who listens to it.
#include "platform/bus/bus.h"

#include <algorithm>
#include <mutex>

namespace platform::bus {

namespace {

int backend_rank(const Device& d)
{
    std::string b = d.backend();
    if (b == "libusb") return 0;
    if (b == "ampsim") return 1;
    if (b == "local") return 2;
    return 3;
}

struct Registry {
    // Held while listeners run, so each listener sees attach and detach in the order they
    // happened, and never runs after unsubscribe() returned. Recursive: a listener may attach.
    std::recursive_mutex dispatch;
    std::mutex mutex;
    std::vector<std::pair<std::shared_ptr<Device>, int>> devices;  // with rank, kept in order
    std::vector<std::pair<ListenerId, std::shared_ptr<Listener>>> listeners;
    ListenerId next = 1;
};

Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

std::vector<std::shared_ptr<Listener>> listeners_now(Registry& r)
{
    std::lock_guard lock(r.mutex);
    std::vector<std::shared_ptr<Listener>> list;
    for (auto& [id, l] : r.listeners) list.push_back(l);
    return list;
}

}  // namespace

ListenerId subscribe(Listener listener)
{
    Registry& r = registry();
    std::lock_guard dispatch(r.dispatch);
    auto shared = std::make_shared<Listener>(std::move(listener));
    ListenerId id;
    std::vector<std::shared_ptr<Device>> now;
    {
        std::lock_guard lock(r.mutex);
        id = r.next++;
        r.listeners.emplace_back(id, shared);
        for (auto& [d, rank] : r.devices) now.push_back(d);
    }
    for (auto& d : now) (*shared)(d, true);
    return id;
}

void unsubscribe(ListenerId id)
{
    Registry& r = registry();
    std::lock_guard dispatch(r.dispatch);
    std::lock_guard lock(r.mutex);
    std::erase_if(r.listeners, [&](const auto& entry) { return entry.first == id; });
}

void attach(std::shared_ptr<Device> device)
{
    if (!device) return;
    Registry& r = registry();
    std::lock_guard dispatch(r.dispatch);
    {
        std::lock_guard lock(r.mutex);
        for (auto& [d, rank] : r.devices)
            if (d == device) return;
        int rank = backend_rank(*device);
        auto at = std::upper_bound(r.devices.begin(), r.devices.end(), rank,
                                   [](int value, const auto& entry) { return value < entry.second; });
        r.devices.insert(at, {device, rank});
    }
    for (auto& l : listeners_now(r)) (*l)(device, true);
}

void detach(const std::shared_ptr<Device>& device)
{
    Registry& r = registry();
    std::lock_guard dispatch(r.dispatch);
    std::shared_ptr<Device> keep = device;  // the caller's reference may be the registry's own
    {
        std::lock_guard lock(r.mutex);
        auto it = std::find_if(r.devices.begin(), r.devices.end(), [&](const auto& e) { return e.first == keep; });
        if (it == r.devices.end()) return;
        r.devices.erase(it);
    }
    for (auto& l : listeners_now(r)) (*l)(keep, false);
}

std::vector<std::shared_ptr<Device>> devices()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::shared_ptr<Device>> list;
    for (auto& [d, rank] : r.devices) list.push_back(d);
    return list;
}

namespace local {

void plug(std::shared_ptr<Device> device)
{
    if (!device) return;
    std::weak_ptr<Device> weak = device;
    device->set_detach_handler([weak] {
        if (auto d = weak.lock()) detach(d);
    });
    attach(std::move(device));
}

}  // namespace local
}  // namespace platform::bus
