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

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

// The status text naming the read commands that failed.
std::string FailedReadsText(const std::vector<std::string>& failed) {
    std::string list;
    for (const std::string& command : failed)
        list += (list.empty() ? "\"" : ", \"") + command + "\"";
    std::string text = LoadTextA(text::link_fields_not_read);
    text.replace(text.find("%1"), 2, list);
    return text;
}

// A controller or camera file that cannot be fetched, or whose read breaks
// off, is skipped: the value keeps what it has.
void Connection::ReadController(NetworkSnapshot& snapshot) {
    std::string content;
    if (!session->FetchAll("/tavo/controller", 0, 0, 4096, content))
        return;
    const std::string text = TrimTrailing(content);
    if (text.empty())
        return;
    const std::optional<uint32_t> address = ParseAddressText(text);
    if (!address || *address != 0xFFFFFFFFu) {
        snapshot.controllerUsed = true;
        snapshot.controller = address;
    }
}

// The camera rows of the factory record's cameras; true when camera 0 has
// an address, which makes the rows (and the pass text) editable.
bool Connection::ReadCameras(NetworkSnapshot& snapshot) {
    std::string content;
    bool cameraZeroSet = false;
    for (uint32_t i = 0; i < cameraCount; ++i) {
        if (!session->FetchAll("/tavo/cam" + std::to_string(static_cast<int>(i)), 0, 0, 4096, content))
            continue;
        NetworkSnapshot::Camera& row = snapshot.cameras[i];
        row.fetched = true;
        const std::string text = TrimTrailing(content);
        if (i == 0)
            cameraZeroSet = !text.empty();
        if (text.empty())
            continue;
        if (const std::optional<CameraSetting> camera = ParseCameraFile(text)) {
            row.address = camera->address;
            row.channel = camera->channel;
        } else {
            row.missing = true;
        }
    }
    return cameraZeroSet;
}

void Connection::ReadNetwork() {
    if (!RequireConnection())
        return;
    NetworkSnapshot snapshot;
    // A read command that fails leaves only its own fields missing; the
    // others are read all the same, and the status names what failed. (A
    // session that is lost ends the job.)
    const auto read = [&](const std::string& command) -> std::optional<std::string> {
        try {
            return session->RunCommand(command, text::session_command_failed);
        } catch (const SessionLost&) {
            throw;
        } catch (const std::exception& e) {
            Trace("Connection::ReadNetwork: %s\n", e.what());
            snapshot.failedCommands.push_back(command);
            return std::nullopt;
        }
    };
    const std::optional<std::string> settings = read("/tavo/ipconfig --show");
    const std::pair<std::optional<uint32_t>*, const char*> keys[3] = {
        {&snapshot.ipAddress, "ipaddr"}, {&snapshot.netmask, "netmask"}, {&snapshot.gateway, "gateway"}};
    for (const auto& [slot, key] : keys) {
        // A key the device does not report, or a value that is no address,
        // is missing, never a made-up 0.0.0.0 that would be written back.
        const std::optional<std::string> value = settings ? SettingsValue(*settings, key) : std::nullopt;
        *slot = value ? ParseAddressText(*value) : std::nullopt;
    }

    const std::optional<std::string> ifconfig = read("ifconfig eth0");
    if (ifconfig && ifconfig->find("HWaddr ") != std::string::npos)
        snapshot.hardwareAddress = HardwareAddress(*ifconfig);

    ReadController(snapshot);
    cameraCount = std::min<uint32_t>(ReadFactoryConfig(), 4);
    snapshot.cameraCount = cameraCount;
    snapshot.camerasEditable = ReadCameras(snapshot);

    std::string content;
    if (session->FetchAll("/tavo/pass", 0, text::network_pass_read_failed, 4096, content)) {
        if (const std::string text = TrimTrailing(content); !text.empty())
            snapshot.passText = text;
    }
    if (snapshot.Partial())
        status.ShowText(FailedReadsText(snapshot.failedCommands));
    result.value = std::move(snapshot);
}

// Everything is sent before anything changes: each file goes beside its
// target and is read back; then the address settings are applied (the
// device may still refuse them, and nothing has changed then), then the
// files are renamed over their targets one by one. A folder that takes no
// new files gets its files written in place and read back at that step. A
// failure says which settings the device now holds and which it does not.
void Connection::WriteNetwork() {
    if (!RequireConnection())
        return;
    NetworkWriteReport report;
    try {
        // Settings that would leave the device unreachable are refused
        // before anything is sent. (A gateway outside the network is the
        // requester's to confirm.)
        const WriteNetworkRequest& w = std::get<WriteNetworkRequest>(current.request);
        const NetworkCheck check = ValidateNetworkSettings(w.ipAddress, w.netmask, w.gateway);
        if (check.Refused())
            RaiseMessage(LoadTextA(text::network_write_failed) + " " + check.error);
        status.ShowProgress(0, text::network_writing);
        std::vector<NetworkFile> files = NetworkFiles(w);
        StageNetworkFiles(files, report);
        ApplyNetwork(w, files, report);
    } catch (...) {
        result.value = report;
        status.ShowMessage(text::network_write_failed);
        throw;
    }
    result.value = report;
    status.ShowProgress(35, text::program_restarting);
    try {
        RestartCommand();
    } catch (const std::exception& e) {
        std::string why = e.what();
        const std::string prefix = LoadTextA(text::program_restart_failed) + " ";
        if (why.rfind(prefix, 0) == 0)
            why.erase(0, prefix.size());
        while (!why.empty() && why.back() == '.')
            why.pop_back();
        status.ShowMessage(text::network_written_not_restarted);
        RaiseMessage(FilledText(text::network_restart_failed, {why}));
    }
    report.restarted = true;
    result.value = report;
    for (unsigned i = 1; i <= 65; ++i) {
        if (StopRequested())
            break;
        status.ShowProgress(i + 35, StatusSink::kKeepText);
        if (SleepOrStop(timing.networkStep_ms))
            break;
    }
    status.ShowMessage(text::network_written);
}

// The files a write sends, in the order the device gets them.
std::vector<Connection::NetworkFile> Connection::NetworkFiles(const WriteNetworkRequest& w) const {
    std::vector<NetworkFile> files;
    const uint32_t cameras = std::min<uint32_t>(cameraCount, 8);
    for (uint32_t i = 0; i < cameras; ++i)
        files.push_back({"/tavo/cam" + std::to_string(i),
                         CameraFileContent(w.cameraAddress[i], w.cameraChannel[i]),
                         FilledText(text::network_setting_camera, {std::to_string(i)}),
                         text::network_camera_write_failed});
    files.push_back(
        {"/tavo/pass", w.passText, LoadTextA(text::network_setting_pass), text::network_pass_write_failed});
    files.push_back({"/tavo/controller", HostAddressText(w.controllerAddress),
                     LoadTextA(text::network_setting_controller), text::network_controller_write_failed});
    return files;
}

// Sends every file beside its target and reads it back. A refused sibling
// (the folder takes no new files) leaves that file to be written in place;
// any other failure removes the siblings already sent and ends the job
// with nothing changed.
void Connection::StageNetworkFiles(std::vector<NetworkFile>& files, NetworkWriteReport& report) {
    for (size_t k = 0; k < files.size(); ++k) {
        // A step per camera file, then the pass and the controller files.
        const size_t cameras = files.size() - 2;
        status.ShowProgress(k < cameras    ? static_cast<unsigned>(3 * k + 3)
                            : k == cameras ? 25
                                           : 30,
                            StatusSink::kKeepText);
        NetworkFile& f = files[k];
        const CopyCheck check = CopyAndVerify(f.path + ".new", f.content, {});
        if (check.state == CopyCheck::Ok) {
            f.staged = true;
            continue;
        }
        if (check.state == CopyCheck::Refused)
            continue;
        report.notApplied.push_back(LoadTextA(text::network_setting_address));
        for (const NetworkFile& g : files)
            report.notApplied.push_back(g.setting);
        RemoveStaged(files, k + 1);
        RaiseMessage(NetworkFailure(f.error, check.why, report));
    }
}

// Best effort: removes the first `count` files' siblings from the device.
void Connection::RemoveStaged(const std::vector<NetworkFile>& files, size_t count) {
    if (!session || session->Lost())
        return;
    std::string command = "rm -f";
    for (size_t k = 0; k < count && k < files.size(); ++k)
        command += " " + files[k].path + ".new";
    try {
        session->RunCommand(command, text::network_write_failed);
    } catch (const std::exception& e) {
        Trace("Connection::RemoveStaged: %s\n", e.what());
    }
}

void Connection::ApplyNetwork(const WriteNetworkRequest& w, const std::vector<NetworkFile>& files,
                              NetworkWriteReport& report) {
    const std::string address = LoadTextA(text::network_setting_address);
    const std::string command = "/tavo/ipconfig --proto static --ipaddr " + HostAddressText(w.ipAddress) +
                                " --netmask " + HostAddressText(w.netmask) + " --gateway " +
                                HostAddressText(w.gateway);
    // A device that refuses the settings (a non-zero exit status) ends the
    // job before any file is changed or the device restarted.
    try {
        session->RunCommand(command, text::network_write_failed);
    } catch (const std::exception& e) {
        report.notApplied.push_back(address);
        for (const NetworkFile& f : files)
            report.notApplied.push_back(f.setting);
        RemoveStaged(files, files.size());
        RaiseMessage(NetworkFailure(text::network_write_failed, e.what(), report));
    }
    report.applied.push_back(address);
    for (size_t k = 0; k < files.size(); ++k) {
        const NetworkFile& f = files[k];
        std::string why;
        bool known = true;
        if (f.staged) {
            try {
                session->RunCommand("mv -f " + f.path + ".new " + f.path, f.error);
            } catch (const std::exception& e) {
                why = e.what();
            }
        } else {
            const CopyCheck check = CopyAndVerify(f.path, f.content, {});
            why = check.state == CopyCheck::Ok ? "" : check.why;
            known = check.state == CopyCheck::Refused; // refused: nothing written
        }
        if (why.empty()) {
            report.applied.push_back(f.setting);
            continue;
        }
        (known ? report.notApplied : report.unknown).push_back(f.setting);
        for (size_t m = k + 1; m < files.size(); ++m)
            report.notApplied.push_back(files[m].setting);
        std::vector<NetworkFile> left(files.begin() + static_cast<long>(k), files.end());
        RemoveStaged(left, left.size());
        RaiseMessage(NetworkFailure(f.error, why, report));
    }
}

// "Could not write <what>: why." and which settings the device holds now.
std::string Connection::NetworkFailure(unsigned error, std::string why, const NetworkWriteReport& report) {
    const auto list = [](const std::vector<std::string>& names) {
        std::string text;
        for (size_t k = 0; k < names.size(); ++k)
            text += (k == 0 ? "" : "; ") + names[k];
        return text.empty() ? LoadTextA(text::network_none) : text;
    };
    std::string text = LoadTextA(error);
    if (why.rfind(text, 0) == 0)
        why.erase(0, text.size());
    while (!why.empty() && why.front() == ' ')
        why.erase(0, 1);
    while (!why.empty() && (why.back() == '.' || why.back() == ' '))
        why.pop_back();
    if (!why.empty() && why[0] >= 'a' && why[0] <= 'z')
        why[0] = static_cast<char>(why[0] - 'a' + 'A');
    if (!why.empty())
        text += " " + why + ".";
    if (report.applied.empty() && report.unknown.empty())
        text += " " + LoadTextA(text::network_write_nothing);
    else
        text +=
            " " + FilledText(text::network_write_partial, {list(report.applied), list(report.notApplied)});
    if (!report.unknown.empty())
        text += " " + FilledText(text::network_write_unknown, {list(report.unknown)});
    return text;
}

} // namespace korvex
