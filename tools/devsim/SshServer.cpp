#include "devsim/SshServer.h"

#include "devsim/Sockets.h"

namespace korvex::devsim {

struct SshServer::Session {};

SshServer::SshServer(DeviceSimulator::State& state) : Thread("SshServer"), state(state) {}
SshServer::~SshServer() { CloseSocket(listener); }

void SshServer::Open() { listener = ListenTcp(state.options.bindAddress, state.options.sshPort, state.sshPort); }

void SshServer::Run() {
    while (!SleepOrStop(100)) {
    }
}

void SshServer::OnStopRequested() {}
void SshServer::Serve(Session&) {}
void SshServer::CloseSessions() {}
void SshServer::ReapSessions(bool) {}

} // namespace korvex::devsim
