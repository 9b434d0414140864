#pragma once

// State shared by the simulator's servers (internal to korvex_devsim).

#include "devsim/DeviceSimulator.h"
#include "framework/StopEvent.h"

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

namespace korvex::devsim {

class Announcer;
class SshServer;
class LiveServer;
class SceneSet;
class RecordingWriter;

// Milliseconds of a steady clock.
int64_t SteadyMs();

struct DeviceSimulator::State {
    State();
    ~State(); // in DeviceSimulator.cpp, where the servers are complete
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    Options options;

    mutable std::mutex lock; // guards everything below up to the atomics
    std::vector<CommandRecord> commands;
    std::vector<TransferRecord> transfers;
    std::vector<LiveReplyRecord> replies;
    std::vector<LiveMessageRecord> messages;
    std::string password;
    int64_t clockOffset_s = 0;
    FaultOptions faults;
    unsigned restartCount = 0;

    std::atomic<bool> running{false};
    std::atomic<int64_t> restartFrom_ms{0};  // device is down from then
    std::atomic<int64_t> restartUntil_ms{0}; // until then
    std::atomic<int> serversDown{0};         // servers that closed their port for a restart
    std::atomic<unsigned> authFailures{0};
    std::atomic<unsigned> announcementsSent{0};
    std::atomic<unsigned> liveConnections{0};
    std::atomic<uint32_t> nextFrameNumber{1};
    // Camera shifts in scene pixels (Options::shifts, SetCameraShift).
    std::array<std::atomic<int>, 8> shiftX{}, shiftY{};
    // The scenes, when the options ask for them (built by Start).
    std::shared_ptr<const SceneSet> scenes;
    std::unique_ptr<RecordingWriter> recordings; // writes the scenes' clips
    int64_t startedAt_ms = 0;                    // scene time 0
    uint16_t sshPort = 0;
    uint16_t livePort = 0;

    std::unique_ptr<Announcer> announcer;
    std::unique_ptr<SshServer> ssh;
    std::unique_ptr<LiveServer> live;

    bool DeviceDown() const {
        int64_t now = SteadyMs();
        return now >= restartFrom_ms.load() && now < restartUntil_ms.load();
    }
    FaultOptions CurrentFaults() const {
        std::lock_guard guard(lock);
        return faults;
    }

    // Appends a record and returns its index for later updates.
    size_t AddCommand(CommandRecord record) {
        std::lock_guard guard(lock);
        commands.push_back(std::move(record));
        return commands.size() - 1;
    }
    void FinishCommand(size_t index, int exitStatus, const std::string& output,
                       const std::string& errorOutput) {
        std::lock_guard guard(lock);
        if (index < commands.size()) {
            commands[index].exitStatus = exitStatus;
            commands[index].output = output;
            commands[index].errorOutput = errorOutput;
        }
    }
    size_t AddTransfer(TransferRecord record) {
        std::lock_guard guard(lock);
        transfers.push_back(std::move(record));
        return transfers.size() - 1;
    }
    void UpdateTransfer(size_t index, const TransferRecord& record) {
        std::lock_guard guard(lock);
        if (index < transfers.size())
            transfers[index] = record;
    }
    // The device goes away `delay_ms` from now (so the restart command's
    // answer still reaches the client) for restartSeconds.
    void BeginRestart(unsigned delay_ms = 0) {
        {
            std::lock_guard guard(lock);
            ++restartCount;
        }
        int64_t from = SteadyMs() + delay_ms;
        restartUntil_ms = 0;
        restartFrom_ms = from;
        restartUntil_ms = from + int64_t(options.restartSeconds) * 1000;
    }
};

} // namespace korvex::devsim
