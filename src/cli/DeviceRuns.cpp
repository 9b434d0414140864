// korvex-cli device: what each command does on the connected session, and
// the value it gives back.
#include "cli/Cli.h"
#include "cli/DeviceCommands.h"
#include "devicelink/NetworkSettings.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace korvex::cli::device {
namespace {

int Status(bool ok) {
    return ok ? ExitOk : ExitFailure;
}

// Reads the settings into `dialog`; the command then gives or writes them.
int WithNetwork(Run& run, int (*then)(Run&, CliNetwork&)) {
    CliNetwork dialog;
    return run.session.Run(ReadNetworkRequest{&dialog}) ? then(run, dialog) : ExitFailure;
}

int ShowNetwork(Run& run, CliNetwork& dialog) {
    run.value = dialog.Printout();
    // A read command that failed left its fields missing: said as an
    // error, and the command fails.
    const std::string notRead = LoadTextA(text::link_fields_not_read);
    const std::string text = run.status().Text();
    if (text.rfind(notRead.substr(0, notRead.find("%1")), 0) == 0)
        return run.Fail(text, ExitFailure);
    return ExitOk;
}

// The controller and cameras as the device holds them, as the dialog shows
// them before OK; a value the device holds unreadably is never written back
// made up: it has to be given.
int KeepDeviceValues(Run& run, CliNetwork& dialog, WriteNetworkRequest& w) {
    using C = NetworkSettingsSink;
    const Request& r = run.r;
    std::string missing;
    if (r.controller == "none")
        w.controllerAddress = 0xFFFFFFFFu;
    else if (!r.controller.empty())
        ParseHostAddress(r.controller, w.controllerAddress);
    else if (dialog.missing[C::Controller])
        missing = "--controller";
    else
        w.controllerAddress =
            dialog.checked[C::ControllerUsed] ? dialog.addresses[C::Controller] : 0xFFFFFFFFu;
    for (uint32_t k = 0; k < dialog.cameraCount; ++k)
        if (dialog.missing[C::CameraAddress0 + static_cast<int>(k)] && !r.cameras.count(k))
            missing += (missing.empty() ? "" : ", ") + std::string("--camera ") + std::to_string(k) + "=...";
    if (!missing.empty())
        return run.Fail("the device's value could not be read; give " + missing, ExitUsage);
    return ExitOk;
}

// The camera rows: what the device holds, then what the command gives.
int SetCameras(Run& run, CliNetwork& dialog, WriteNetworkRequest& w, int result) {
    using C = NetworkSettingsSink;
    for (uint32_t k = 0; k < dialog.cameraCount; ++k) {
        const int control = C::CameraAddress0 + static_cast<int>(k);
        w.cameraAddress[k] = dialog.addresses.count(control) ? dialog.addresses[control] : 0;
        unsigned long channel = 1;
        if (!ParseNumber(dialog.texts[C::CameraChannel0 + static_cast<int>(k)], 0xFFFFFFFFul, channel))
            channel = 1;
        w.cameraChannel[k] = static_cast<uint32_t>(channel);
    }
    for (const auto& [index, text] : run.r.cameras) {
        if (index >= dialog.cameraCount)
            return run.Fail("the device has " + std::to_string(dialog.cameraCount) + " camera rows",
                            ExitUsage);
        const std::optional<CameraSetting> setting = ParseCameraFile(text);
        if (!setting)
            return run.Fail("--camera " + std::to_string(index) + "=" + text + ": not ADDR[?channel=N]",
                            ExitUsage);
        w.cameraAddress[index] = setting->address;
        w.cameraChannel[index] = setting->channel;
    }
    return result;
}

int WriteNetwork(Run& run, CliNetwork& dialog) {
    const Request& r = run.r;
    WriteNetworkRequest w;
    ParseHostAddress(r.ip, w.ipAddress);
    ParseHostAddress(r.netmask, w.netmask);
    ParseHostAddress(r.gateway, w.gateway);
    int result = SetCameras(run, dialog, w, KeepDeviceValues(run, dialog, w));
    w.passText = r.passGiven ? r.pass : dialog.texts[NetworkSettingsSink::PassText];
    if (result == ExitOk)
        result = Status(run.session.Run(std::move(w)));
    return result;
}

int RecordingsLs(Run& run, CliLists& lists, const std::vector<std::string>& parts, ListLevelRequest& place) {
    if (parts.size() > 3)
        return run.Fail("CAM/DAY/HOUR has three parts at most", ExitUsage);
    if (!Walk(run.session, lists, parts, place))
        return ExitFailure;
    run.value = LinesResult{lists.lines[static_cast<int>(parts.size())]};
    return ExitOk;
}

// The indexes of the files `names` in the hour's listing; false (error
// said) when one is not there.
bool FileIndexes(Run& run, const std::vector<std::string>& listed, std::vector<int>& files) {
    const auto& args = run.r.recordingArgs;
    for (size_t k = 1; k < args.size(); ++k) {
        const auto found = std::find(listed.begin(), listed.end(), args[k]);
        if (found == listed.end()) {
            run.say().Error("no recording '" + args[k] + "' in " + args[0]);
            return false;
        }
        files.push_back(static_cast<int>(found - listed.begin()));
    }
    return true;
}

int RecordingsGet(Run& run, CliLists& lists, const std::vector<std::string>& parts, ListLevelRequest& place) {
    if (std::error_code made; std::filesystem::create_directories(run.r.toDir, made), made)
        return run.Fail("cannot create " + run.r.toDir + ": " + made.message(), ExitFailure);
    if (!Walk(run.session, lists, parts, place))
        return ExitFailure;
    DownloadRecordingsRequest get;
    std::copy(std::begin(place.selected), std::end(place.selected), get.selected);
    get.localFolder = place.localFolder;
    get.dialog = place.dialog;
    if (!FileIndexes(run, lists.names[3], get.files) || !run.session.Run(std::move(get)))
        return ExitFailure;
    run.value = LinesResult{lists.lines[3]};
    return ExitOk;
}

} // namespace

int RunVersion(Run& run) {
    // The device's answers are this command's output: a version or factory
    // record the device failed to give fails it (the reason was said).
    if (!run.connectSucceeded)
        return ExitFailure;
    run.value = TextResult{run.status().Text()};
    return ExitOk;
}

// Uploads the payload, keeping the device's program first; a newly kept
// program is named in a note.
int RunUpload(Run& run) {
    auto newest = [&] {
        const auto kept = run.history.List(run.r.host);
        return kept.empty() ? std::string() : kept.front().path;
    };
    const std::string before = newest();
    const int result = Status(run.session.Run(UploadProgramRequest{std::move(run.r.payload)}));
    if (const std::string after = newest(); after != before)
        run.say().Note(LoadTextA(text::device_kept_in) + " " + after);
    return result;
}

int RunDownload(Run& run) {
    FixedChooser chooser(run.r.file);
    return Status(run.session.Run(DownloadProgramRequest{&chooser}));
}

int RunRestart(Run& run) {
    return Status(run.session.Run(RestartRequest{}));
}

int RunPasswd(Run& run) {
    return Status(run.session.Run(ChangePasswordRequest{run.r.newPassword}));
}

// Asks for a clock check now and waits until it has been made.
int RunSyncClock(Run& run) {
    Connection& c = run.session.Get();
    const unsigned checks = c.ClockChecks();
    const unsigned settings = c.ClockSettings();
    const unsigned failures = c.ClockFailures();
    c.SetRound(run.session.Timing().clockRounds - 1);
    while (c.ClockChecks() == checks && c.Connected() && !run.session.Cancelled())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (c.ClockChecks() == checks)
        return run.Fail("the clock could not be checked", ExitFailure);
    if (c.ClockFailures() != failures)
        return run.Fail(c.ClockError(), ExitFailure);
    run.value = TextResult{c.ClockSettings() != settings ? "device clock set" : "device clock in step"};
    return ExitOk;
}

int RunNetworkShow(Run& run) {
    return WithNetwork(run, ShowNetwork);
}

int RunNetworkSet(Run& run) {
    return WithNetwork(run, WriteNetwork);
}

int RunRecordings(Run& run) {
    CliLists lists;
    ListLevelRequest place;
    place.dialog = &lists;
    place.localFolder = LocalFolder(run.r.toDir);
    const auto& args = run.r.recordingArgs;
    const std::vector<std::string> parts = args.empty() ? std::vector<std::string>{} : SplitPath(args[0]);
    return run.r.rest[0] == "ls" ? RecordingsLs(run, lists, parts, place)
                                 : RecordingsGet(run, lists, parts, place);
}

} // namespace korvex::cli::device
