#include "devsim/DeviceSimulator.h"

#include "devsim/Announcer.h"
#include "devsim/DeviceFiles.h"
#include "devsim/LiveServer.h"
#include "devsim/RecordingClips.h"
#include "devsim/SceneRenderer.h"
#include "devsim/SshServer.h"

#include <stdexcept>
#include <thread>

namespace korvex::devsim {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DeviceSimulator::State::State() = default;
DeviceSimulator::State::~State() = default;

DeviceSimulator::DeviceSimulator(Options options) : state(std::make_unique<State>()) {
    state->options = std::move(options);
    state->password = state->options.password;
    state->clockOffset_s = state->options.clockOffset_s;
    state->faults = state->options.faults;
}

DeviceSimulator::~DeviceSimulator() {
    Stop();
}

void DeviceSimulator::Start() {
    if (state->running)
        return;
    Options& o = state->options;
    if (o.cameraCount < 1 || o.cameraCount > 8)
        throw std::invalid_argument("devsim: the camera count must be 1 to 8");
    if (o.fps < 1 || o.fps > 60)
        throw std::invalid_argument("devsim: the picture rate must be 1 to 60 per second");
    if (o.keyFrameInterval < 1)
        o.keyFrameInterval = 1;
    PrepareScenes();
    PrepareRoot(o);

    state->restartUntil_ms = 0;
    state->restartFrom_ms = 0;
    state->serversDown = 0;
    try {
        state->ssh = std::make_unique<SshServer>(*state);
        state->ssh->Open();
        state->live = std::make_unique<LiveServer>(*state);
        state->live->Open();
        if (o.announce) {
            state->announcer = std::make_unique<Announcer>(*state);
            state->announcer->Open();
        }
        state->ssh->Start();
        state->live->Start();
        if (state->announcer)
            state->announcer->Start();
    } catch (...) {
        state->running = true;
        Stop();
        throw;
    }
    state->running = true;
}

void DeviceSimulator::PrepareScenes() {
    const Options& o = state->options;
    for (const Options::Shift& shift : o.shifts)
        SetCameraShift(shift.camera, shift.dx, shift.dy);
    if (!o.scenesState && o.scenesProject.empty())
        return;
    if (!state->scenes)
        state->scenes = o.scenesState
                            ? std::make_shared<SceneSet>(*o.scenesState, o.sceneSeed)
                            : std::make_shared<SceneSet>(SceneSet::FromProject(o.scenesProject, o.sceneSeed));
    state->startedAt_ms = SteadyMs();
    // Before the default files, which would put stand-in recordings there.
    if (o.rootDir.empty())
        throw std::runtime_error("devsim: no root folder given");
    if (o.sceneRecordings && !state->recordings)
        state->recordings = std::make_unique<RecordingWriter>(o.rootDir + "/mnt/usbdrive", state->scenes);
}

void DeviceSimulator::SetCameraShift(unsigned camera, int dx, int dy) {
    if (camera >= state->shiftX.size())
        return;
    state->shiftX[camera] = dx;
    state->shiftY[camera] = dy;
}

std::pair<int, int> DeviceSimulator::CameraShift(unsigned camera) const {
    if (camera >= state->shiftX.size())
        return {0, 0};
    return {state->shiftX[camera].load(), state->shiftY[camera].load()};
}

bool DeviceSimulator::ShowsScenes() const {
    return state->scenes != nullptr;
}

void DeviceSimulator::Stop() {
    if (!state->running)
        return;
    // The three stop at the same time: each Stop only waits for its own.
    if (state->announcer && state->announcer->Started())
        state->announcer->Stop();
    if (state->live && state->live->Started())
        state->live->Stop();
    if (state->ssh && state->ssh->Started())
        state->ssh->Stop();
    state->announcer.reset();
    state->live.reset();
    state->ssh.reset();
    state->recordings.reset();
    state->running = false;
}

bool DeviceSimulator::Running() const {
    return state->running;
}
uint16_t DeviceSimulator::SshPort() const {
    return state->sshPort;
}
uint16_t DeviceSimulator::LivePort() const {
    return state->livePort;
}
const Options& DeviceSimulator::Settings() const {
    return state->options;
}

std::string DeviceSimulator::HostPath(const std::string& devicePath) const {
    return MapDevicePath(state->options.rootDir, devicePath);
}

std::vector<CommandRecord> DeviceSimulator::Commands() const {
    std::lock_guard guard(state->lock);
    return state->commands;
}

std::vector<TransferRecord> DeviceSimulator::Transfers() const {
    std::lock_guard guard(state->lock);
    return state->transfers;
}

std::vector<LiveReplyRecord> DeviceSimulator::LiveReplies() const {
    std::lock_guard guard(state->lock);
    return state->replies;
}

std::vector<LiveMessageRecord> DeviceSimulator::LiveMessages() const {
    std::lock_guard guard(state->lock);
    return state->messages;
}

unsigned DeviceSimulator::AuthFailures() const {
    return state->authFailures;
}
unsigned DeviceSimulator::AnnouncementsSent() const {
    return state->announcementsSent;
}
unsigned DeviceSimulator::LiveConnections() const {
    return state->liveConnections;
}

void DeviceSimulator::ClearLogs() {
    std::lock_guard guard(state->lock);
    state->commands.clear();
    state->transfers.clear();
    state->replies.clear();
    state->messages.clear();
}

bool DeviceSimulator::WaitUntil(const std::function<bool()>& condition, unsigned timeout_ms) const {
    int64_t end = SteadyMs() + timeout_ms;
    for (;;) {
        if (condition())
            return true;
        if (SteadyMs() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string DeviceSimulator::Password() const {
    std::lock_guard guard(state->lock);
    return state->password;
}

int64_t DeviceSimulator::ClockOffset() const {
    std::lock_guard guard(state->lock);
    return state->clockOffset_s;
}

void DeviceSimulator::SetClockOffset(int64_t seconds) {
    std::lock_guard guard(state->lock);
    state->clockOffset_s = seconds;
}

void DeviceSimulator::SetFaults(const FaultOptions& faults) {
    std::lock_guard guard(state->lock);
    state->faults = faults;
}

FaultOptions DeviceSimulator::Faults() const {
    return state->CurrentFaults();
}

void DeviceSimulator::Restart() {
    state->BeginRestart();
}
bool DeviceSimulator::Restarting() const {
    return SteadyMs() < state->restartUntil_ms.load() || state->serversDown > 0;
}

unsigned DeviceSimulator::RestartCount() const {
    std::lock_guard guard(state->lock);
    return state->restartCount;
}

} // namespace korvex::devsim
