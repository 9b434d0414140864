#pragma once

#include "live/LiveInterfaces.h"

#include <atomic>
#include <cstdint>

namespace korvex {

// The device the live thread connects to: the address the explorer's
// selection wrote into the discovery thread's `targetAddress`, and, when
// that is the demo device of this program, the port the demo listens on.
class LiveTarget : public TargetAddressSource {
public:
    explicit LiveTarget(const std::atomic<uint32_t>& targetAddress) : address(targetAddress) {}

    uint32_t TargetAddress() const override { return address.load(std::memory_order_acquire); }
    uint16_t TargetPort() const override {
        const uint32_t a = TargetAddress();
        return a != 0 && a == demoAddress.load() ? demoPort.load() : 0;
    }

    // The demo device listens for live connections at address:port.
    void SetDemo(uint32_t demo, uint16_t port) {
        demoPort.store(port);
        demoAddress.store(demo);
    }
    void ClearDemo() {
        demoAddress.store(0);
        demoPort.store(0);
    }

private:
    const std::atomic<uint32_t>& address;
    std::atomic<uint32_t> demoAddress{0};
    std::atomic<uint16_t> demoPort{0};
};

} // namespace korvex
