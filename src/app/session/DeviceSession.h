#pragma once

#include "app/session/DemoControl.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceList.h"
#include "devicelink/ScanThread.h"
#include "live/LiveInterfaces.h"
#include "live/LiveThread.h"
#include "live/LiveViewCore.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvex {

// Where the device workers report to; the frame owns every one of these
// and keeps them alive until StopAll() has returned.
struct DeviceSessionSinks {
    StatusSink& status;
    LiveViewHost& liveView;
    TuningSource& tuning;
    // The session's host-key questions and the programs an upload replaces
    // (null: the command-line ways, nothing kept).
    HostKeySink* hostKeys = nullptr;
    ProgramHistory* programHistory = nullptr;
    // Told of every job's result (the device windows fill themselves from
    // it); null: nobody.
    DeviceResultSink* results = nullptr;
};

// Everything that talks to devices, in one place: the device list the
// discovery thread fills, the device session thread ("Connection"), the
// live stream thread ("Live") with the core half of the live view and the
// option-mask state its replies carry, and discovery ("Scan"). Start()
// starts the threads in that order; StopAll() stops them in the order the
// program shuts down: the session first, then "Live", then "Scan".
//
// The live stream is started only when something takes its pictures: the
// core queues up to LiveViewCore::kMaxPending pictures per camera until the
// live page's timer moves them on.
class DeviceSession : public TargetAddressSource {
public:
    // `demo`: the program's demo device (none: StartDemo refuses).
    explicit DeviceSession(DeviceSessionSinks sinks, std::unique_ptr<DemoControl> demo = nullptr);
    ~DeviceSession() override;

    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    void Start(bool withLiveStream = true);
    // Stops every started thread; safe to call more than once.
    void StopAll();

    DeviceList& Devices() { return devices; }
    Connection& Session() { return *connection; }
    LiveViewCore& LiveCore() { return *liveCore; }
    OptionMaskState& OptionMask() { return optionMask; }

    // The explorer's row became the chosen device (row -1 = none); returns
    // its address (network byte order, 0 = none), which the live thread
    // connects to from now on.
    uint32_t ChooseDevice(int row);
    uint32_t TargetAddress() const override {
        return scanThread->targetAddress.load(std::memory_order_acquire);
    }
    // The demo device's live port while it is the target (it may have had
    // to take another port than the device's usual one), else 0.
    uint16_t TargetPort() const override {
        return demo && TargetAddress() == DemoControl::Address() ? demo->LivePort() : 0;
    }

    // The SSH port to offer for a device at `address` (network byte order):
    // the demo device's own port when it is that device, else 0 (the
    // connect dialog's usual port).
    uint16_t SshPortFor(uint32_t address) const {
        return demo && address == DemoControl::Address() ? demo->SshPort() : 0;
    }

    // The simulated device inside the program: started on loopback (unless
    // it runs already), it announces itself to the discovery thread and
    // becomes the target. Throws (nothing started) when it cannot start.
    // StopAll stops it last. Throws when the program gave no demo device.
    // Without `usualPortsFirst` it takes free ports straight away.
    // `scenes`: the project whose cards the demo's cameras show (none: test
    // pictures).
    void StartDemo(bool usualPortsFirst = true, std::shared_ptr<const RenderState> scenes = {},
                   const std::string& scenesPath = "");
    void StopDemo();
    bool HasDemo() const { return demo != nullptr; }
    bool DemoRunning() const { return demo && demo->Running(); }
    // Only with HasDemo().
    DemoControl& Demo() { return *demo; }

    bool Connected() const { return connection->Connected(); }
    // Posts a request to the session thread when no job is pending (and,
    // with `needsConnection`, only while connected); false when not posted.
    // Its result goes to the sinks' result sink.
    bool Post(DeviceRequest request, bool needsConnection);

private:
    DeviceList devices;
    OptionMaskState optionMask;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<LiveViewCore> liveCore;
    std::unique_ptr<ScanThread> scanThread;
    std::unique_ptr<LiveThread> liveThread;
    std::unique_ptr<DemoControl> demo;
    bool stopped = false;
};

} // namespace korvex
