// The session's recordings jobs: listing the camera, day, hour and file
// levels, and copying the selected files into the local folder.
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/SshSession.h"
#include "framework/AtomicFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace korvex {

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

void Connection::ListRecordings() {
    if (!RequireConnection())
        return;
    const ListLevelRequest& request = std::get<ListLevelRequest>(current.request);
    const int level = request.level;
    static const unsigned startText[4] = {text::recordings_listing_cameras, text::recordings_listing_folders,
                                          text::recordings_listing_hours, text::recordings_listing};
    static const unsigned endText[4] = {text::recordings_cameras_listed, text::recordings_folders_listed,
                                        text::recordings_folders_listed, text::recordings_listed};
    try {
        status.ShowMessage(startText[level]);
        for (int l = level; l < 4; ++l)
            listed[l].clear();
        // The path of the selected folders above the level being listed,
        // locally and as the listing command's argument.
        std::string relative, quoted;
        for (int l = 0; l < level; ++l) {
            const int index = request.selected[l];
            if (index < 0 || static_cast<size_t>(index) >= listed[l].size())
                RaiseError(text::recordings_choose_camera + static_cast<unsigned>(l));
            const std::string& name = listed[l][static_cast<size_t>(index)];
            relative += (l ? "/" : "") + name;
            quoted += (l ? "/" : "") + ShellWord(name);
        }
        const std::string command = level == 0 ? "ls -p /mnt/usbdrive" : "ls -p /mnt/usbdrive/" + quoted;
        const std::string output = session->RunCommand(command, text::recordings_folder_list_failed);
        static const ListingLevel kind[4] = {ListingLevel::Cameras, ListingLevel::Folders,
                                             ListingLevel::Folders, ListingLevel::Files};
        listed[level] = FilterListing(output, kind[level]);
        Listing listing{level, listed[level], {}};
        for (const std::string& name : listed[level]) {
            const std::string local = request.localFolder + (relative.empty() ? "" : relative + "/") + name;
            std::string line = level == 2 ? HourLine(name) : name;
            if (level == 3 ? Exists(local) : IsFolder(local))
                line += SavedMark;
            listing.lines.push_back(line);
        }
        result.value = std::move(listing);
        status.ShowMessage(endText[level]);
    } catch (...) {
        status.ShowMessage(text::recordings_list_failed);
        throw;
    }
}

void Connection::DownloadRecordings() {
    if (!RequireConnection())
        return;
    const DownloadRecordingsRequest& request = std::get<DownloadRecordingsRequest>(current.request);
    std::string names[3];
    for (int l = 0; l < 3; ++l) {
        const int index = request.selected[l];
        if (index < 0 || static_cast<size_t>(index) >= listed[l].size())
            RaiseError(text::recordings_choose_camera + static_cast<unsigned>(l));
        names[l] = listed[l][static_cast<size_t>(index)];
    }
    std::vector<int> files;
    for (int index : request.files)
        if (index >= 0 && static_cast<size_t>(index) < listed[3].size())
            files.push_back(index);
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    if (files.empty())
        RaiseError(text::recordings_choose_recording);

    // The report names the copies made so far, also of a download that
    // fails part-way.
    DownloadReport report;
    std::copy(std::begin(request.selected), std::end(request.selected), report.selected);
    try {
        for (int index : files) {
            const std::string& name = listed[3][static_cast<size_t>(index)];
            FetchRecording(names, name, request.localFolder);
            report.written.push_back(request.localFolder + names[0] + "/" + names[1] + "/" + names[2] + "/" +
                                     name);
            report.files.push_back(index);
            result.value = report;
        }
        status.ShowMessage(text::recordings_downloaded);
    } catch (...) {
        status.ShowMessage(text::program_download_failed);
        throw;
    }
}

// Streamed to a temporary file beside the target and renamed when whole: a
// large recording needs no memory of its size, and a broken transfer leaves
// any earlier copy as it was. The folders are made once the device sends the
// file, and the ones made for a transfer that then breaks are removed
// again, so that a failed copy never shows as saved in a later listing.
void Connection::FetchRecording(const std::string (&names)[3], const std::string& name,
                                const std::string& localFolder) {
    const std::string relative = names[0] + "/" + names[1] + "/" + names[2];
    status.ShowText(LoadTextA(text::recordings_downloading) + " '" + relative + "/" + name + "'");
    status.ShowProgress(0, StatusSink::kKeepText);
    std::vector<std::string> made;
    std::optional<AtomicFile> local;
    auto open = [&] {
        if (local)
            return;
        for (const std::string& folder :
             {localFolder + names[0], localFolder + names[0] + "/" + names[1], localFolder + relative})
            if (::mkdir(folder.c_str(), 0777) == 0)
                made.push_back(folder); // one that exists already is fine
        local.emplace(localFolder + relative + "/" + name);
    };
    try {
        session->Fetch("/mnt/usbdrive/" + relative + "/" + name, text::program_download_failed,
                       text::program_download_failed, 4096,
                       [&](const uint8_t* data, size_t n, uint64_t received, uint64_t total) {
                           open();
                           local->Write(data, n);
                           status.ShowProgress(static_cast<unsigned>(received * 100 / total),
                                               StatusSink::kKeepText);
                       });
        open(); // a recording of no bytes
        local->Commit();
    } catch (...) {
        local.reset();
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
            ::rmdir(folder->c_str());
        throw;
    }
}

} // namespace korvex
