// korvex-cli device: what each command does on the connected session, and
// the value it gives back.
#include "cli/Cli.h"
#include "cli/DeviceCommands.h"
#include "devicelink/NetworkSettings.h"
#include "framework/TextIds.h"

#include <algorithm>
#include <filesystem>

namespace korvex::cli::device {
namespace {

int Status(bool ok) {
    return ok ? ExitOk : ExitFailure;
}

// Reads the settings; the command then gives or writes them.
int WithNetwork(Run& run, int (*then)(Run&, const NetworkSnapshot&)) {
    if (!run.session.Run(ReadNetworkRequest{}))
        return ExitFailure;
    const auto* read = std::get_if<NetworkSnapshot>(&run.session.LastResult().value);
    return read ? then(run, *read) : run.Fail("the device's settings were not read", ExitFailure);
}

int ShowNetwork(Run& run, const NetworkSnapshot& read) {
    run.value = run.session.LastResult();
    // A read command that failed left its fields missing: said as an
    // error, and the command fails.
    if (read.Partial())
        return run.Fail(FailedReadsText(read.failedCommands), ExitFailure);
    return ExitOk;
}

// The controller and cameras as the device holds them, as the dialog shows
// them before OK; a value the device holds unreadably is never written back
// made up: it has to be given.
int KeepDeviceValues(Run& run, const NetworkSnapshot& read, WriteNetworkRequest& w) {
    const Request& r = run.r;
    std::string missing;
    if (r.controller == "none")
        w.controllerAddress = 0xFFFFFFFFu;
    else if (!r.controller.empty())
        ParseHostAddress(r.controller, w.controllerAddress);
    else if (read.controllerUsed && !read.controller)
        missing = "--controller";
    else
        w.controllerAddress = read.controllerUsed ? *read.controller : 0xFFFFFFFFu;
    for (uint32_t k = 0; k < read.cameraCount && k < 4; ++k)
        if (read.cameras[k].missing && !r.cameras.count(k))
            missing += (missing.empty() ? "" : ", ") + std::string("--camera ") + std::to_string(k) + "=...";
    if (!missing.empty())
        return run.Fail("the device's value could not be read; give " + missing, ExitUsage);
    return ExitOk;
}

// The camera rows: what the device holds, then what the command gives.
int SetCameras(Run& run, const NetworkSnapshot& read, WriteNetworkRequest& w, int result) {
    const uint32_t rows = std::min<uint32_t>(read.cameraCount, 4);
    for (uint32_t k = 0; k < rows; ++k) {
        w.cameraAddress[k] = read.cameras[k].address.value_or(0);
        w.cameraChannel[k] = read.cameras[k].address ? read.cameras[k].channel.value_or(1) : 1;
    }
    for (const auto& [index, text] : run.r.cameras) {
        if (index >= rows)
            return run.Fail("the device has " + std::to_string(rows) + " camera rows", ExitUsage);
        const std::optional<CameraSetting> setting = ParseCameraFile(text);
        if (!setting)
            return run.Fail("--camera " + std::to_string(index) + "=" + text + ": not ADDR[?channel=N]",
                            ExitUsage);
        w.cameraAddress[index] = setting->address;
        w.cameraChannel[index] = setting->channel;
    }
    return result;
}

int WriteNetwork(Run& run, const NetworkSnapshot& read) {
    const Request& r = run.r;
    WriteNetworkRequest w;
    ParseHostAddress(r.ip, w.ipAddress);
    ParseHostAddress(r.netmask, w.netmask);
    ParseHostAddress(r.gateway, w.gateway);
    int result = SetCameras(run, read, w, KeepDeviceValues(run, read, w));
    w.passText = r.passGiven ? r.pass : read.passText.value_or("");
    if (result == ExitOk)
        result = Status(run.session.Run(std::move(w)));
    return result;
}

int RecordingsLs(Run& run, const std::vector<std::string>& parts, ListLevelRequest& place) {
    if (parts.size() > 3)
        return run.Fail("CAM/DAY/HOUR has three parts at most", ExitUsage);
    Listing listing;
    if (!Walk(run.session, parts, place, listing))
        return ExitFailure;
    run.value.value = std::move(listing);
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

// The hour's files as listed, the copies just made marked as saved.
int RecordingsGet(Run& run, const std::vector<std::string>& parts, ListLevelRequest& place) {
    if (std::error_code made; std::filesystem::create_directories(run.r.toDir, made), made)
        return run.Fail("cannot create " + run.r.toDir + ": " + made.message(), ExitFailure);
    Listing listing;
    if (!Walk(run.session, parts, place, listing))
        return ExitFailure;
    DownloadRecordingsRequest get;
    std::copy(std::begin(place.selected), std::end(place.selected), get.selected);
    get.localFolder = place.localFolder;
    if (!FileIndexes(run, listing.names, get.files) || !run.session.Run(std::move(get)))
        return ExitFailure;
    if (const auto* copied = std::get_if<DownloadReport>(&run.session.LastResult().value))
        for (int index : copied->files)
            if (static_cast<size_t>(index) < listing.lines.size())
                listing.lines[static_cast<size_t>(index)] =
                    listing.names[static_cast<size_t>(index)] + SavedMark;
    run.value.value = std::move(listing);
    return ExitOk;
}

} // namespace

int RunVersion(Run& run) {
    // The device's answers are this command's output: a version or factory
    // record the device failed to give fails it (the reason was said).
    if (!run.connectSucceeded)
        return ExitFailure;
    run.value = run.session.LastResult(); // the connect's, with what it read
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
    return Status(run.session.Run(DownloadProgramRequest{run.r.file}));
}

int RunRestart(Run& run) {
    return Status(run.session.Run(RestartRequest{}));
}

int RunPasswd(Run& run) {
    return Status(run.session.Run(ChangePasswordRequest{run.r.newPassword}));
}

// Asks for a clock check now.
int RunSyncClock(Run& run) {
    if (!run.session.Run(SyncClockRequest{}))
        return ExitFailure;
    run.value = run.session.LastResult();
    return ExitOk;
}

int RunNetworkShow(Run& run) {
    return WithNetwork(run, ShowNetwork);
}

int RunNetworkSet(Run& run) {
    return WithNetwork(run, WriteNetwork);
}

int RunRecordings(Run& run) {
    ListLevelRequest place;
    place.localFolder = LocalFolder(run.r.toDir);
    const auto& args = run.r.recordingArgs;
    const std::vector<std::string> parts = args.empty() ? std::vector<std::string>{} : SplitPath(args[0]);
    return run.r.rest[0] == "ls" ? RecordingsLs(run, parts, place) : RecordingsGet(run, parts, place);
}

} // namespace korvex::cli::device
