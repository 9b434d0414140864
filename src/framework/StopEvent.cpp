#include "framework/StopEvent.h"

namespace korvex {

void StopEvent::Set() {
    {
        std::lock_guard g(lock);
        set = true;
    }
    changed.notify_all();
}

void StopEvent::Reset() {
    std::lock_guard g(lock);
    set = false;
}

bool StopEvent::IsSet() const {
    std::lock_guard g(lock);
    return set;
}

bool StopEvent::WaitFor(unsigned timeout_ms) const {
    std::unique_lock g(lock);
    return changed.wait_for(g, std::chrono::milliseconds(timeout_ms), [this] { return set; });
}

void StopEvent::Wait() const {
    std::unique_lock g(lock);
    changed.wait(g, [this] { return set; });
}

} // namespace korvex
