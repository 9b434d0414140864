#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace korvex::test {

// Sleeps the calling thread for a short moment between two looks.
inline void Nap() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Looks at `done` until it holds or `timeout` has passed, calling `pause`
// between looks (tests of widgets pass one that runs the event loop), and
// looks once more at the end. Returns whether `done` held.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                      const std::function<void()>& pause = Nap) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        pause();
    }
    return done();
}

} // namespace korvex::test
