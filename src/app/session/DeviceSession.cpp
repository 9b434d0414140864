#include "app/session/DeviceSession.h"

#include <stdexcept>

namespace korvex {

DeviceSession::DeviceSession(DeviceSessionSinks sinks, std::unique_ptr<DemoControl> demo)
    : connection(std::make_unique<Connection>(ConnectionSetup{.status = sinks.status,
                                                              .devices = devices,
                                                              .hostKeys = sinks.hostKeys,
                                                              .programHistory = sinks.programHistory,
                                                              .results = sinks.results,
                                                              .reconnectAfterRestart = true})),
      liveCore(std::make_unique<LiveViewCore>(sinks.liveView)),
      scanThread(std::make_unique<ScanThread>(devices, ScanThread::DefaultPort, &sinks.status)),
      liveThread(std::make_unique<LiveThread>(*liveCore, *this, *liveCore, optionMask, sinks.tuning)),
      demo(std::move(demo)) {}

DeviceSession::~DeviceSession() {
    StopAll();
    devices.SetSink(nullptr);
}

void DeviceSession::Start(bool withLiveStream) {
    connection->Start();
    if (withLiveStream)
        liveThread->Start();
    scanThread->Start();
}

void DeviceSession::StopAll() {
    if (stopped)
        return;
    stopped = true;
    for (Thread* thread : {static_cast<Thread*>(connection.get()), static_cast<Thread*>(liveThread.get()),
                           static_cast<Thread*>(scanThread.get())})
        if (thread->Started())
            thread->Stop();
    // The demo device goes after the threads that talk to it.
    StopDemo();
}

void DeviceSession::StartDemo(bool usualPortsFirst, std::shared_ptr<const RenderState> scenes,
                              const std::string& scenesPath) {
    if (!demo)
        throw std::runtime_error("This program has no demo device.");
    if (!demo->Running()) {
        DemoControl::Settings settings;
        settings.scenes = std::move(scenes);
        settings.scenesPath = scenesPath;
        settings.announcePort = ScanThread::DefaultPort;
        if (!usualPortsFirst)
            settings.preferredLivePort = settings.preferredSshPort = 0;
        demo->Start(settings);
    }
    // The demo becomes the device the live page shows.
    scanThread->targetAddress.store(DemoControl::Address(), std::memory_order_release);
}

void DeviceSession::StopDemo() {
    if (!demo)
        return;
    if (scanThread->targetAddress.load() == DemoControl::Address())
        scanThread->targetAddress.store(0, std::memory_order_release);
    demo->Stop();
}

uint32_t DeviceSession::ChooseDevice(int row) {
    devices.Select(row < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(row));
    uint32_t address = devices.SelectedAddress();
    scanThread->targetAddress.store(address, std::memory_order_release);
    return address;
}

bool DeviceSession::Post(DeviceRequest request, bool needsConnection) {
    if (needsConnection && !connection->Connected())
        return false;
    return connection->Post(std::move(request));
}

} // namespace korvex
