// The session's network settings jobs: reading the device's settings into
// the dialog and writing them back followed by a restart.
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/NetworkSettings.h"
#include "devicelink/SshSession.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

namespace {

class NoNetworkDialog : public NetworkSettingsSink {
public:
    void SetAddress(int, uint32_t) override {}
    void SetText(int, const std::string&) override {}
    void SetChecked(int, bool) override {}
    void Enable(int, bool) override {}
};

// Passes what the read shows on to the dialog and keeps it as a value.
class SnapshotTaker : public NetworkSettingsSink {
public:
    explicit SnapshotTaker(NetworkSettingsSink& dialog) : dialog(dialog) {}

    void SetAddress(int control, uint32_t address) override {
        if (std::optional<uint32_t>* slot = AddressOf(control))
            *slot = address;
        dialog.SetAddress(control, address);
    }
    void SetText(int control, const std::string& text) override {
        if (control == HardwareAddress)
            snapshot.hardwareAddress = text;
        else if (control == PassText)
            snapshot.passText = text;
        else if (const int camera = control - CameraChannel0; camera >= 0 && camera < 4)
            snapshot.cameras[camera].channel = static_cast<uint32_t>(std::stoul(text));
        dialog.SetText(control, text);
    }
    void SetChecked(int control, bool checked) override {
        if (control == ControllerUsed)
            snapshot.controllerUsed = checked;
        dialog.SetChecked(control, checked);
    }
    void Enable(int control, bool enabled) override { dialog.Enable(control, enabled); }
    void SetMissing(int control) override {
        if (std::optional<uint32_t>* slot = AddressOf(control))
            slot->reset();
        if (const int camera = control - CameraAddress0; camera >= 0 && camera < 4)
            snapshot.cameras[camera].missing = true;
        dialog.SetMissing(control);
    }

    NetworkSnapshot snapshot;

private:
    std::optional<uint32_t>* AddressOf(int control) {
        switch (control) {
        case DeviceAddress:
            return &snapshot.ipAddress;
        case Netmask:
            return &snapshot.netmask;
        case Gateway:
            return &snapshot.gateway;
        case Controller:
            return &snapshot.controller;
        default:
            if (const int camera = control - CameraAddress0; camera >= 0 && camera < 4)
                return &snapshot.cameras[camera].address;
            return nullptr;
        }
    }

    NetworkSettingsSink& dialog;
};

// The status text naming the read commands that failed.
std::string FailedReadsText(const std::vector<std::string>& failed) {
    std::string list;
    for (const std::string& command : failed)
        list += (list.empty() ? "\"" : ", \"") + command + "\"";
    std::string text = LoadTextA(text::link_fields_not_read);
    text.replace(text.find("%1"), 2, list);
    return text;
}

} // namespace

// A controller or camera file that cannot be fetched, or whose read breaks
// off, is skipped: the row keeps what it shows.
void Connection::ShowController(NetworkSettingsSink& dialog) {
    using C = NetworkSettingsSink;
    std::string content;
    if (session->FetchAll("/tavo/controller", 0, 0, 4096, content)) {
        const std::string text = TrimTrailing(content);
        if (!text.empty()) {
            const std::optional<uint32_t> address = ParseAddressText(text);
            if (!address || *address != 0xFFFFFFFFu) {
                dialog.SetChecked(C::ControllerUsed, true);
                dialog.Enable(C::Controller, true);
                if (address)
                    dialog.SetAddress(C::Controller, *address);
                else
                    dialog.SetMissing(C::Controller);
            }
        }
    }
}

// The camera rows of the factory record's cameras; true when camera 0 has
// an address, which enables the rows.
bool Connection::ShowCameras(NetworkSettingsSink& dialog) {
    using C = NetworkSettingsSink;
    std::string content;
    bool cameraZeroSet = false;
    for (uint32_t i = 0; i < cameraCount; ++i) {
        if (!session->FetchAll("/tavo/cam" + std::to_string(static_cast<int>(i)), 0, 0, 4096, content))
            continue;
        const std::string text = TrimTrailing(content);
        if (i == 0)
            cameraZeroSet = !text.empty();
        if (!text.empty()) {
            const std::optional<CameraSetting> camera = ParseCameraFile(text);
            if (camera) {
                dialog.SetAddress(C::CameraAddress0 + static_cast<int>(i), camera->address);
                dialog.SetText(C::CameraChannel0 + static_cast<int>(i), std::to_string(camera->channel));
            } else {
                dialog.SetMissing(C::CameraAddress0 + static_cast<int>(i));
            }
        }
        dialog.Enable(C::CameraAddress0 + static_cast<int>(i), cameraZeroSet);
        dialog.Enable(C::CameraChannel0 + static_cast<int>(i), cameraZeroSet);
    }
    return cameraZeroSet;
}

void Connection::ReadNetwork() {
    if (!RequireConnection())
        return;
    NoNetworkDialog none;
    NetworkSettingsSink* const shown = std::get<ReadNetworkRequest>(current.request).dialog;
    SnapshotTaker dialog(shown ? *shown : none);
    using C = NetworkSettingsSink;

    // A read command that fails leaves only its own fields missing; the
    // others are read all the same, and the status names what failed. (A
    // session that is lost ends the job.)
    std::vector<std::string> failed;
    const auto read = [&](const std::string& command) -> std::optional<std::string> {
        try {
            return session->RunCommand(command, text::session_command_failed);
        } catch (const SessionLost&) {
            throw;
        } catch (const std::exception& e) {
            Trace("Connection::ReadNetwork: %s\n", e.what());
            failed.push_back(command);
            return std::nullopt;
        }
    };
    const std::optional<std::string> settings = read("/tavo/ipconfig --show");
    const std::pair<int, const char*> keys[3] = {
        {C::DeviceAddress, "ipaddr"}, {C::Netmask, "netmask"}, {C::Gateway, "gateway"}};
    for (const auto& [control, key] : keys) {
        // A key the device does not report, or a value that is no address,
        // is shown as missing, never as a made-up 0.0.0.0 that OK would
        // write back.
        const std::optional<std::string> value = settings ? SettingsValue(*settings, key) : std::nullopt;
        const std::optional<uint32_t> address = value ? ParseAddressText(*value) : std::nullopt;
        if (address)
            dialog.SetAddress(control, *address);
        else
            dialog.SetMissing(control);
        dialog.Enable(control, true);
    }

    const std::optional<std::string> ifconfig = read("ifconfig eth0");
    if (!ifconfig)
        dialog.SetMissing(C::HardwareAddress);
    else if (ifconfig->find("HWaddr ") != std::string::npos)
        dialog.SetText(C::HardwareAddress, HardwareAddress(*ifconfig));

    ShowController(dialog);
    cameraCount = std::min<uint32_t>(ReadFactoryConfig(), 4);

    const bool cameraZeroSet = ShowCameras(dialog);

    std::string content;
    if (session->FetchAll("/tavo/pass", 0, text::network_pass_read_failed, 4096, content)) {
        const std::string text = TrimTrailing(content);
        if (!text.empty()) {
            dialog.SetText(C::PassText, text);
            dialog.Enable(C::PassText, cameraZeroSet);
        }
    }
    if (!failed.empty())
        statusBar.ShowText(FailedReadsText(failed));
    dialog.snapshot.cameraCount = cameraCount;
    dialog.snapshot.failedCommands = failed;
    (shown ? *shown : none).Snapshot(dialog.snapshot);
    result.value = std::move(dialog.snapshot);
}

void Connection::WriteNetwork() {
    if (!RequireConnection())
        return;
    try {
        // Settings that would leave the device unreachable are refused
        // before anything is sent. (A gateway outside the network is the
        // requester's to confirm.)
        const WriteNetworkRequest& w = std::get<WriteNetworkRequest>(current.request);
        const NetworkCheck check = ValidateNetworkSettings(w.ipAddress, w.netmask, w.gateway);
        if (check.Refused())
            RaiseMessage(LoadTextA(text::network_write_failed) + " " + check.error);
        statusBar.ShowProgress(0, text::network_writing);
        const std::string command = "/tavo/ipconfig --proto static --ipaddr " + HostAddressText(w.ipAddress) +
                                    " --netmask " + HostAddressText(w.netmask) + " --gateway " +
                                    HostAddressText(w.gateway);
        // The output is not used, but the command is waited out, and a
        // device that refuses the settings (a non-zero exit status) ends the
        // job before any file is written or the device restarted.
        session->RunCommand(command, text::network_write_failed);
        const uint32_t cameras = std::min<uint32_t>(cameraCount, 8);
        for (uint32_t i = 0; i < cameras; ++i) {
            statusBar.ShowProgress(3 * i + 3, 0);
            const std::string content = CameraFileContent(w.cameraAddress[i], w.cameraChannel[i]);
            session->Send("/tavo/cam" + std::to_string(i), content.data(), content.size(),
                          text::network_camera_write_failed);
        }
        statusBar.ShowProgress(25, 0);
        session->Send("/tavo/pass", w.passText.data(), w.passText.size(), text::network_pass_write_failed);
        statusBar.ShowProgress(30, 0);
        const std::string controller = HostAddressText(w.controllerAddress);
        session->Send("/tavo/controller", controller.data(), controller.size(),
                      text::network_controller_write_failed);
        statusBar.ShowProgress(35, text::program_restarting);
        RestartCommand();
        for (unsigned i = 1; i <= 65; ++i) {
            if (StopRequested())
                break;
            statusBar.ShowProgress(i + 35, 0);
            if (SleepOrStop(timing.networkStep_ms))
                break;
        }
        statusBar.ShowMessage(text::network_written);
    } catch (...) {
        statusBar.ShowMessage(text::network_write_failed);
        throw;
    }
}

} // namespace korvex
