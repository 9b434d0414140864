#pragma once

#include "devsim/ServerPort.h"
#include "devsim/SimulatorState.h"
#include "framework/Thread.h"

#include <list>
#include <thread>

namespace korvex::devsim {

// The device's SSH server: password authentication, exec channels running
// the device's commands, SCP in both directions. Each client session runs
// on a thread of its own; this thread accepts them.
class SshServer : public Thread {
public:
    struct Session; // one client connection (defined in SshServer.cpp)

    explicit SshServer(DeviceSimulator::State& state);
    ~SshServer() override;

    // Loads or generates the host key and binds the port; throws on failure.
    void Open();

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    void Serve(Session& session);
    void CloseSessions();
    void ReapSessions(bool all);

    DeviceSimulator::State& state;
    void* bind = nullptr; // ssh_bind
    ServerPort port{state};
    std::mutex sessionsLock;
    std::list<std::unique_ptr<Session>> sessions;
};

} // namespace korvex::devsim
