#pragma once

#include "framework/Thread.h"
#include "live/LiveInterfaces.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace korvex {

struct LiveThreadSettings {
    uint16_t port = kDefaultLivePort;
    // Pause before every connection attempt.
    unsigned connectPause_ms = 1000;
    // Skip the pause before the very first attempt (command-line use).
    bool connectAtOnce = false;
    // A connection that delivers no byte for this long is closed.
    unsigned readTimeout_ms = 10000;
};

// The "Live" worker: connects to the device the user picked, reads one
// message after another, turns pictures into bitmaps for the sink, hands
// tuning traces to the tuning source and answers every message with a
// 64-byte reply carrying the viewer's options. Reconnects without limit.
class LiveThread : public Thread {
public:
    LiveThread(LiveSink& sink, const TargetAddressSource& target, const LiveViewOptions& view,
               const OptionMaskSource& mask, TuningSource& tuning, LiveThreadSettings settings = {});
    ~LiveThread() override;

    // Connections opened so far (for tests and diagnostics).
    unsigned ConnectionCount() const { return connections.load(); }
    // Why the latest connection (or attempt) ended ("" before the first
    // ended): the device closed it, no data came in time, a message broke
    // the protocol, the connection was refused.
    std::string LastEnd() const;

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    bool Connect(uint32_t address);
    void CloseSocket();
    void SetLastEnd(std::string why);

    LiveSink& sink;
    const TargetAddressSource& target;
    const LiveViewOptions& view;
    const OptionMaskSource& mask;
    TuningSource& tuning;
    LiveThreadSettings settings;

    // The connection's socket; the lock keeps a stop from shutting down a
    // descriptor that is being closed (and may be reused).
    std::mutex socketLock;
    int socketFd = -1;
    std::atomic<unsigned> connections{0};
    std::atomic<bool> runFinished{false};
    int connectError = 0; // Run's thread only
    mutable std::mutex endLock;
    std::string lastEnd;
};

} // namespace korvex
