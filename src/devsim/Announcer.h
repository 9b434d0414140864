#pragma once

#include "devsim/SimulatorState.h"
#include "framework/Thread.h"

namespace korvex::devsim {

// The announcement datagram for an alias, shaped by the fault option.
std::string BuildAnnouncement(const std::string& alias, AnnounceFault fault, const std::string& raw);

// Sends one announcement per interval to the configured address and port
// while the device is up.
class Announcer : public Thread {
public:
    explicit Announcer(DeviceSimulator::State& state);
    ~Announcer() override;

    // Opens the socket and resolves the destination; throws on failure.
    void Open();

protected:
    void Run() override;

private:
    DeviceSimulator::State& state;
    int socket = -1;
};

} // namespace korvex::devsim
