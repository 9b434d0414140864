#include "framework/ChangeChannel.h"

#include <algorithm>
#include <utility>

namespace korvex {

struct ChangeChannel::Subscription::Registry {
    struct Entry {
        uint64_t id;
        std::shared_ptr<Listener> listener;
    };
    std::vector<Entry> entries;
    uint64_t nextId = 1;
};

ChangeChannel::Subscription::Subscription(Subscription&& other) noexcept
    : registry(std::move(other.registry)), id(std::exchange(other.id, 0)) {
    other.registry.reset();
}

ChangeChannel::Subscription& ChangeChannel::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        Reset();
        registry = std::move(other.registry);
        other.registry.reset();
        id = std::exchange(other.id, 0);
    }
    return *this;
}

void ChangeChannel::Subscription::Reset() {
    if (auto r = registry.lock())
        std::erase_if(r->entries, [this](const Registry::Entry& e) { return e.id == id; });
    registry.reset();
    id = 0;
}

ChangeChannel::ChangeChannel() : registry(std::make_shared<Subscription::Registry>()) {}

void ChangeChannel::Deliver() {
    const uint32_t bits = std::exchange(pending, 0);
    if (bits == 0)
        return;
    // The subscribers as they stand now; each is looked up again before its
    // call, for an earlier one may have ended it.
    std::vector<uint64_t> ids;
    for (const auto& e : registry->entries)
        ids.push_back(e.id);
    for (uint64_t id : ids) {
        auto it = std::find_if(registry->entries.begin(), registry->entries.end(),
                               [id](const Subscription::Registry::Entry& e) { return e.id == id; });
        if (it == registry->entries.end())
            continue;
        std::shared_ptr<Listener> keep = it->listener; // survives the subscriber ending itself
        (*keep)(bits);
    }
}

ChangeChannel::Subscription ChangeChannel::Subscribe(Listener listener) {
    const uint64_t id = registry->nextId++;
    registry->entries.push_back({id, std::make_shared<Listener>(std::move(listener))});
    return Subscription(registry, id);
}

} // namespace korvex
