#include "devsim/LiveServer.h"

#include "devsim/Sockets.h"

namespace korvex::devsim {

LiveServer::LiveServer(DeviceSimulator::State& state) : Thread("LiveServer"), state(state) {}
LiveServer::~LiveServer() { CloseSocket(listener); }

void LiveServer::Open() { listener = ListenTcp(state.options.bindAddress, state.options.livePort, state.livePort); }

void LiveServer::Run() {
    while (!SleepOrStop(100)) {
    }
}

void LiveServer::OnStopRequested() {}
void LiveServer::ServeClient(int) {}

} // namespace korvex::devsim
