#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace korvex {

// A manual-reset event: once set, every present and future wait returns at
// once until Reset.
class StopEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or `timeout_ms` passed; true when set.
    bool WaitFor(unsigned timeout_ms) const;

    // Waits without limit.
    void Wait() const;

private:
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    bool set = false;
};

} // namespace korvex
