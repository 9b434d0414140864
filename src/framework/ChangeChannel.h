#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvex {

// Change bits of one owner (a document, say), gathered as the owner changes
// and handed to the subscribers in one set when the loop asks for delivery.
// Marking never calls anybody, so nothing is told while the owner is still
// half-way through a change. UI thread only.
class ChangeChannel {
public:
    using Listener = std::function<void(uint32_t changes)>;

    // Ends its subscription when destroyed or reset; it may outlive the
    // channel.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { Reset(); }

        void Reset();
        bool Active() const { return !registry.expired(); }

    private:
        friend class ChangeChannel;
        struct Registry;
        Subscription(std::weak_ptr<Registry> registry, uint64_t id) : registry(std::move(registry)), id(id) {}

        std::weak_ptr<Registry> registry;
        uint64_t id = 0;
    };

    ChangeChannel();

    void Mark(uint32_t bits) { pending |= bits; }
    uint32_t Pending() const { return pending; }

    // Calls every subscriber once with the bits marked since the last
    // delivery, if any. Marks made by a subscriber wait for the next
    // delivery; a subscription ended during the delivery is not called.
    void Deliver();

    [[nodiscard]] Subscription Subscribe(Listener listener);

private:
    std::shared_ptr<Subscription::Registry> registry;
    uint32_t pending = 0;
};

} // namespace korvex
