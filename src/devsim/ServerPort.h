#pragma once

#include "devsim/SimulatorState.h"
#include "framework/StopEvent.h"

#include <functional>

namespace korvex::devsim {

// The listening port of one of the device's servers, kept in step with the
// device's restarts: closed while the device is down, opened again on the
// same port once it is back.
class ServerPort {
public:
    explicit ServerPort(DeviceSimulator::State& state) : state(state) {}
    ~ServerPort();
    ServerPort(const ServerPort&) = delete;
    ServerPort& operator=(const ServerPort&) = delete;

    // Binds `wanted` (0 = a free port) on the simulator's address and
    // stores the bound port in `bound`; throws on failure.
    void Open(uint16_t wanted, uint16_t& bound);

    // One round of a server's accept loop. While the device is down the
    // port is closed (`onDown` runs once, to end the server's connections)
    // and the round sleeps (a stop ends the sleep); once it is back the port is opened again.
    // Returns a connected socket, or -1 when none came within 100 ms.
    int Accept(const StopEvent& stop, const std::function<void()>& onDown);

private:
    DeviceSimulator::State& state;
    int listener = -1;
    uint16_t port = 0;
    bool down = false;
};

} // namespace korvex::devsim
