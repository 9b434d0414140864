#pragma once

#include "app/session/DemoDevice.h"
#include "app/session/LiveTarget.h"
#include "app/sinks/LiveViewSink.h"
#include "app/sinks/TuningSink.h"
#include "live/LiveInterfaces.h"
#include "live/LiveThread.h"
#include "live/LiveViewCore.h"

#include <atomic>
#include <cstdint>

namespace korvex {

// The live half of the device session: the "Live" worker with everything it
// shares with the UI thread (camera slots and layout, option mask, tuning
// selection and traces, the target) and the demo device. The session starts
// it after "Connection" and stops it after "Connection" and before "Scan".
//
//     LivePart live(scanThread.targetAddress);
//     live.ViewSink().Attach(&liveView);  liveView.Attach(&live.Core());
//     live.Start();  ...  live.Stop();
class LivePart {
public:
    explicit LivePart(const std::atomic<uint32_t>& targetAddress, LiveThreadSettings settings = {});
    ~LivePart();  // stops the thread, then the demo device
    LivePart(const LivePart&) = delete;
    LivePart& operator=(const LivePart&) = delete;

    void Start();
    // Stops "Live" (bounded: its waits look at the stop event every 100 ms).
    void Stop();
    bool Started() const { return thread.Started(); }

    // Starts the demo device (announcing to `announcePort`) and points the
    // live thread at its port; throws when it cannot start. Without
    // `usualPortsFirst` it takes free ports straight away.
    void StartDemo(uint16_t announcePort, bool usualPortsFirst = true);
    void StopDemo();
    DemoDevice& Demo() { return demo; }

    LiveViewCore& Core() { return core; }
    LiveViewSink& ViewSink() { return viewSink; }
    OptionMaskState& Mask() { return mask; }
    TuningSink& Tuning() { return tuning; }
    LiveTarget& Target() { return target; }
    LiveThread& Thread() { return thread; }

private:
    LiveViewSink viewSink;
    LiveViewCore core;
    OptionMaskState mask;
    TuningSink tuning;
    LiveTarget target;
    LiveThread thread;
    DemoDevice demo;
};

} // namespace korvex
