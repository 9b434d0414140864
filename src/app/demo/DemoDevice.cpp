#include "app/demo/DemoDevice.h"

#include "devsim/DeviceSimulator.h"
#include "framework/Trace.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace korvex {

namespace {

std::string MakeRoot() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        base = "/tmp";
    std::string pattern = (base / "korvex-demo-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("The demo device cannot create its folder in " + base.string());
    return pattern;
}

devsim::Options DemoOptions(const std::string& root, const DemoDevice::Settings& s, uint16_t live,
                            uint16_t ssh) {
    devsim::Options o;
    o.rootDir = root;
    o.alias = DemoDevice::Alias();
    o.bindAddress = "127.0.0.1";
    o.livePort = live;
    o.sshPort = ssh;
    o.announce = true;
    o.announceAddress = "127.0.0.1";
    o.announcePort = s.announcePort;
    o.announceInterval_ms = 1000;
    o.cameraCount = 4;
    o.formats = {devsim::CameraFormat::Grey320, devsim::CameraFormat::Grey180,
                 devsim::CameraFormat::Colour320, devsim::CameraFormat::H264};
    o.fps = s.picturesPerSecond;
    o.keyFrameInterval = 2 * s.picturesPerSecond;
    o.blurEvery = 0;
    o.scenesState = s.scenes;
    if (s.scenes)
        o.scenesProject = s.scenesPath;
    o.user = DemoDevice::User();
    o.password = DemoDevice::Password();
    return o;
}

} // namespace

DemoDevice::DemoDevice() = default;

DemoDevice::~DemoDevice() {
    Stop();
}

bool DemoDevice::Running() const {
    return device && device->Running();
}

void DemoDevice::Start(const Settings& settings) {
    if (Running())
        return;
    // The encoder's statistics would otherwise fill the terminal.
    av_log_set_level(AV_LOG_ERROR);
    rootDir = MakeRoot();
    // The usual ports first; when another program holds one of them the
    // bind fails (nothing of ours listens there) and free ports are taken.
    std::string firstError;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const uint16_t live = attempt == 0 ? settings.preferredLivePort : 0;
        const uint16_t ssh = attempt == 0 ? settings.preferredSshPort : 0;
        if (attempt == 0 && (live == 0 || ssh == 0) && !(live == 0 && ssh == 0))
            continue;
        auto candidate = std::make_unique<devsim::DeviceSimulator>(DemoOptions(rootDir, settings, live, ssh));
        try {
            candidate->Start();
            device = std::move(candidate);
            livePort.store(device->LivePort());
            sshPort.store(device->SshPort());
            Trace("%s: live port %u, SSH port %u\n", "DemoDevice::Start", unsigned(LivePort()),
                  unsigned(SshPort()));
            return;
        } catch (const std::exception& e) {
            if (firstError.empty())
                firstError = e.what();
            Trace("%s: %s\n", "DemoDevice::Start", e.what());
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(rootDir, ec);
    rootDir.clear();
    throw std::runtime_error(firstError);
}

void DemoDevice::KnockCamera(unsigned camera) {
    if (device)
        device->SetCameraShift(camera, kKnockX, kKnockY);
}

void DemoDevice::Straighten() {
    if (device)
        for (unsigned camera = 0; camera < 8; ++camera)
            device->SetCameraShift(camera, 0, 0);
}

void DemoDevice::Stop() {
    // The ports go first: the live thread stops asking for them.
    livePort.store(0);
    sshPort.store(0);
    if (device) {
        device->Stop();
        device.reset();
    }
    if (!rootDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(rootDir, ec);
        rootDir.clear();
    }
}

} // namespace korvex
