#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

struct RenderState;

// A simulated device inside the program, as the device session sees it:
// started on loopback, it announces itself to the discovery thread and
// serves the live stream and the SSH commands of a real device. The program
// gives the session one (the session itself never links the simulator);
// without one there is no demo device.
class DemoControl {
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
        // The file the scenes' project is saved as ("" none): the device's
        // program is that project, as an upload of it would send it.
        std::string scenesPath;
    };

    virtual ~DemoControl() = default;

    // Starts the device; throws std::runtime_error with a clear text when it
    // cannot (nothing keeps running then). Starting a running device does
    // nothing.
    virtual void Start(const Settings& settings) = 0;
    // Stops every server (within about a second); safe to call twice.
    virtual void Stop() = 0;
    virtual bool Running() const = 0;

    // The ports it serves on while running, else 0. Safe from any thread.
    virtual uint16_t LivePort() const = 0;
    virtual uint16_t SshPort() const = 0;

    // Moves camera `camera`'s picture (0 = the first) by a few pixels, as a
    // knock would, so the camera check has something to find; Straighten
    // puts every camera back. Nothing happens while stopped.
    virtual void KnockCamera(unsigned camera) = 0;
    virtual void Straighten() = 0;

    // 127.0.0.1 in network order (first octet in the lowest byte).
    static constexpr uint32_t Address() { return 0x0100007Fu; }
    static const char* User() { return "admin"; }
    static const char* Password() { return "admin"; }
    static const char* Alias() { return "Demo device"; }
};

} // namespace korvex
