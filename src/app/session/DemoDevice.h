#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

struct RenderState;

namespace devsim {
class DeviceSimulator;
}

// A simulated device inside the program, for trying Korvex without
// hardware: four cameras (grey 320 x 240, grey 180 x 144, 16-bit colour and
// H.264), announcements to the device list, the SSH server with the
// device's commands and files, and tuning traces on request. It listens on
// loopback only, prefers the device's usual ports and takes free ones when
// another program holds those; it stops with its owner.
class DemoDevice {
public:
    struct Settings {
        // Where the announcements go (the discovery thread's port).
        uint16_t announcePort = 21060;
        // Ports tried first; 0 = always a free one.
        uint16_t preferredLivePort = 25100;
        uint16_t preferredSshPort = 2222;
        unsigned picturesPerSecond = 10;
        // The project whose cards the cameras show, with traffic over them,
        // traces from its detectors and recordings of the scenes; none:
        // test pictures.
        std::shared_ptr<const RenderState> scenes;
    };

    DemoDevice();
    ~DemoDevice(); // stops and removes its files
    DemoDevice(const DemoDevice&) = delete;
    DemoDevice& operator=(const DemoDevice&) = delete;

    // Starts the simulator; throws std::runtime_error with a clear text when
    // it cannot (nothing keeps running then). Starting a running device
    // does nothing.
    void Start(const Settings& settings);
    void Start() { Start(Settings{}); }
    // Stops every server (within about a second); safe to call twice.
    void Stop();
    bool Running() const;

    // 127.0.0.1 in network order (first octet in the lowest byte).
    static uint32_t Address();
    uint16_t LivePort() const { return livePort; }
    uint16_t SshPort() const { return sshPort; }
    static const char* User() { return "admin"; }
    static const char* Password() { return "admin"; }
    static const char* Alias() { return "Demo device"; }

    // Moves camera `camera`'s picture (0 = the first) by a few pixels, as a
    // knock would, so the camera check has something to find; Straighten
    // puts every camera back. Nothing happens while stopped.
    void KnockCamera(unsigned camera);
    void Straighten();
    static constexpr int kKnockX = 5, kKnockY = 3;

    // The simulator itself (tests look at its logs); nullptr when stopped.
    devsim::DeviceSimulator* Simulator() { return device.get(); }

private:
    std::unique_ptr<devsim::DeviceSimulator> device;
    std::string rootDir;
    uint16_t livePort = 0;
    uint16_t sshPort = 0;
};

} // namespace korvex
