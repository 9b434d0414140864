#pragma once

#include "devsim/ServerPort.h"
#include "devsim/SimulatorState.h"
#include "framework/Thread.h"

#include <mutex>

namespace korvex::devsim {

// The live picture stream server: one client at a time; every message is
// answered with a 64-byte reply before the next one goes out.
class LiveServer : public Thread {
public:
    explicit LiveServer(DeviceSimulator::State& state);
    ~LiveServer() override;

    // Binds the port; throws on failure.
    void Open();

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    class Connection;
    void ServeClient(int client);

    DeviceSimulator::State& state;
    ServerPort port{state};
    std::mutex clientLock; // guards `client` against a stop from another thread
    int client = -1;
};

} // namespace korvex::devsim
