#pragma once

#include "app/session/DemoControl.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

namespace devsim {
class DeviceSimulator;
}

// The program's demo device, for trying Korvex without hardware: the device
// simulator with four cameras (grey 320 x 240, grey 180 x 144, 16-bit
// colour and H.264), announcements to the device list, the SSH server with
// the device's commands and files, and tuning traces on request. It listens
// on loopback only, prefers the device's usual ports and takes free ones
// when another program holds those; it stops with its owner.
class DemoDevice : public DemoControl {
public:
    DemoDevice();
    ~DemoDevice() override; // stops and removes its files
    DemoDevice(const DemoDevice&) = delete;
    DemoDevice& operator=(const DemoDevice&) = delete;

    void Start(const Settings& settings) override;
    void Start() { Start(Settings{}); }
    void Stop() override;
    bool Running() const override;

    uint16_t LivePort() const override { return livePort.load(); }
    uint16_t SshPort() const override { return sshPort.load(); }

    void KnockCamera(unsigned camera) override;
    void Straighten() override;
    static constexpr int kKnockX = 5, kKnockY = 3;

    // The simulator itself (tests look at its logs); nullptr when stopped.
    devsim::DeviceSimulator* Simulator() { return device.get(); }

private:
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::string rootDir;
    // Read by the live thread while the window starts and stops the device.
    std::atomic<uint16_t> livePort{0};
    std::atomic<uint16_t> sshPort{0};
};

} // namespace korvex
