#include "app/session/LivePart.h"

namespace korvex {

LivePart::LivePart(const std::atomic<uint32_t>& targetAddress, LiveThreadSettings settings)
    : core(viewSink), target(targetAddress), thread(core, target, core, mask, tuning, settings) {}

LivePart::~LivePart() {
    Stop();
    StopDemo();
}

void LivePart::Start() {
    if (!thread.Started())
        thread.Start();
}

void LivePart::Stop() {
    if (thread.Started())
        thread.Stop();
}

void LivePart::StartDemo(uint16_t announcePort, bool usualPortsFirst) {
    DemoDevice::Settings s;
    s.announcePort = announcePort;
    if (!usualPortsFirst)
        s.preferredLivePort = s.preferredSshPort = 0;
    demo.Start(s);
    target.SetDemo(DemoDevice::Address(), demo.LivePort());
}

void LivePart::StopDemo() {
    target.ClearDemo();
    demo.Stop();
}

} // namespace korvex
