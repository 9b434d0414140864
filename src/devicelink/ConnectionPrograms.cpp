// The session's program jobs: upload (keeping the replaced program first),
// download, and the atomic placing of a sent program on the device.
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/SshSession.h"
#include "framework/AtomicFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <cstdio>
#include <string>

namespace korvex {

namespace {

const char* const ProgramPath = "/etc/tavo/program.tdv";

} // namespace

void Connection::UploadProgram() {
    if (!RequireConnection())
        return;
    try {
        if (programHistory)
            KeepCurrentProgram();
        statusBar.ShowProgress(0, text::program_uploading);
        PlaceProgram();
        statusBar.ShowProgress(25, text::program_restarting);
        RestartCommand();
        for (unsigned i = 0; i < 75; ++i) {
            if (StopRequested())
                break;
            statusBar.ShowProgress(i + 26, 0);
            if (SleepOrStop(timing.uploadStep_ms))
                break;
        }
        statusBar.ShowMessage(text::program_uploaded);
    } catch (...) {
        statusBar.ShowMessage(text::program_upload_failed);
        throw;
    }
}

// The program goes to a file beside the device's program, is read back and
// compared, and only then renamed over it in one step: a transfer that
// breaks anywhere leaves the previous program whole, and the caller never
// restarts the device on a program that is not the one sent.
void Connection::PlaceProgram() {
    const std::vector<uint8_t>& uploadPayload = std::get<UploadProgramRequest>(current.request).payload;
    const std::string program = ProgramPath;
    const std::string sibling = program + ".new";
    try {
        session->Send(sibling, uploadPayload.data(), uploadPayload.size(), text::program_upload_failed,
                      [&](uint64_t remaining, uint64_t total) {
                          statusBar.ShowProgress(
                              total ? static_cast<unsigned>(25 - remaining * 25 / total) : 25, 0);
                      });
        std::string copy;
        session->FetchAll(sibling, text::program_upload_failed, text::program_upload_failed, 0, copy);
        if (copy.size() != uploadPayload.size() ||
            !std::equal(copy.begin(), copy.end(), uploadPayload.begin(),
                        [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
            size_t same = 0;
            while (same < copy.size() && same < uploadPayload.size() &&
                   static_cast<uint8_t>(copy[same]) == uploadPayload[same])
                ++same;
            std::string text = LoadTextA(text::link_copy_mismatch);
            text.replace(text.find("%1"), 2, std::to_string(same));
            text.replace(text.find("%2"), 2, std::to_string(uploadPayload.size()));
            RaiseMessage(LoadTextA(text::program_upload_failed) + " " + text);
        }
        session->RunCommand("mv -f " + sibling + " " + program, text::program_upload_failed);
    } catch (...) {
        // Best effort: a session that still works removes the partial copy.
        if (session && !session->Lost()) {
            try {
                session->RunCommand("rm -f " + sibling, text::program_upload_failed);
            } catch (const std::exception& e) {
                Trace("Connection::PlaceProgram: %s stays: %s\n", sibling.c_str(), e.what());
            }
        }
        throw;
    }
}

void Connection::DownloadProgram() {
    if (!RequireConnection())
        return;
    try {
        statusBar.ShowProgress(0, text::program_downloading);
        std::string bytes;
        session->FetchAll("/etc/tavo/program.tdv", text::program_download_failed,
                          text::program_download_failed, 0, bytes, [&](uint64_t received, uint64_t total) {
                              statusBar.ShowProgress(static_cast<unsigned>(received * 100 / total), 0);
                          });
        FileChooser* fileChooser = std::get<DownloadProgramRequest>(current.request).chooser;
        if (!fileChooser) {
            Trace("Connection::DownloadProgram: no file chooser\n");
            return;
        }
        SaveFileRequest request{LoadTextA(text::filter_project_files), "*.kvx",
                                LoadTextA(text::program_default_file_name), "", "kvx"};
        std::optional<std::string> path = fileChooser->ChooseSaveFile(request);
        if (!path)
            return; // cancelled: the bytes are dropped, the status stays
        AtomicFile::WriteAll(*path, bytes.data(), bytes.size());
        result.value = DownloadReport{{*path}};
        statusBar.ShowMessage(text::program_downloaded);
    } catch (...) {
        statusBar.ShowMessage(text::program_download_failed);
        throw;
    }
}

void Connection::KeepCurrentProgram() {
    statusBar.ShowProgress(0, text::device_keeping_program);
    std::string bytes;
    if (!session->FetchAll("/etc/tavo/program.tdv", 0, text::device_keep_failed, 0, bytes)) {
        // A device that has no program yet has nothing to lose; a program
        // that is there but cannot be fetched stops the upload. (The SCP
        // refusal does not say which it was; the folder listing does.)
        const std::string listing = session->RunCommand("ls -p /etc/tavo", text::device_keep_failed);
        if (("\n" + listing + "\n").find("\nprogram.tdv") != std::string::npos)
            RaiseError(text::device_keep_failed);
        Trace("Connection::KeepCurrentProgram: the device has no program\n");
        return;
    }
    programHistory->Keep(NetworkAddressText(deviceAddress), bytes.data(), bytes.size(), utcNow());
}

} // namespace korvex
