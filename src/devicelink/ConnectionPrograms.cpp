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
#include <functional>
#include <optional>
#include <string>

namespace korvex {

namespace {

const char* const ProgramPath = "/etc/tavo/program.tdv";
const char* const SiblingPath = "/etc/tavo/program.tdv.new";

// A reason to go inside a sentence: no full stop of its own.
std::string Clause(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

// The device's program before an upload (nothing when it has none). A
// program that is there but cannot be fetched raises `error`. (The SCP
// refusal does not say which it was; the folder listing does.)
std::optional<std::string> Connection::FetchCurrentProgram(unsigned error) {
    std::string bytes;
    if (session->FetchAll(ProgramPath, 0, error, 0, bytes))
        return bytes;
    const std::string listing = session->RunCommand("ls -p /etc/tavo", error);
    if (("\n" + listing + "\n").find("\nprogram.tdv") != std::string::npos)
        RaiseError(error);
    Trace("Connection::FetchCurrentProgram: the device has no program\n");
    return std::nullopt;
}

void Connection::UploadProgram() {
    if (!RequireConnection())
        return;
    UploadReport report;
    try {
        PreviousProgram previous;
        if (programHistory)
            KeepCurrentProgram(previous, report);
        status.ShowProgress(0, text::program_uploading);
        PlaceProgram(previous, report);
    } catch (...) {
        result.value = report;
        status.ShowMessage(text::program_upload_failed);
        throw;
    }
    report.installed = true;
    result.value = report;
    // The program is in place and verified from here on: a restart that
    // fails does not undo that, and the message says both.
    status.ShowProgress(25, text::program_restarting);
    try {
        RestartCommand();
    } catch (const std::exception& e) {
        std::string why = e.what();
        const std::string prefix = LoadTextA(text::program_restart_failed) + " ";
        if (why.rfind(prefix, 0) == 0)
            why.erase(0, prefix.size());
        report.restartError = Clause(why.empty() ? LoadTextA(text::program_restart_failed) : why);
        result.value = report;
        status.ShowMessage(text::upload_installed_not_restarted);
        RaiseMessage(FilledText(text::upload_restart_failed, {report.restartError}));
    }
    report.restarted = true;
    result.value = report;
    for (unsigned i = 0; i < 75; ++i) {
        if (StopRequested())
            break;
        status.ShowProgress(i + 26, StatusSink::kKeepText);
        if (SleepOrStop(timing.uploadStep_ms))
            break;
    }
    status.ShowMessage(text::program_uploaded);
}

// Sends `bytes` to `path` and reads them back. Refused: the device would
// not take the file (nothing written); Failed: the copy broke off or the
// file holds something else. A lost session is a failure, never raised.
Connection::CopyCheck Connection::CopyAndVerify(const std::string& path, const std::string& bytes,
                                                const std::function<void(uint64_t, uint64_t)>& progress) {
    CopyCheck check;
    try {
        switch (session->TrySend(path, bytes.data(), bytes.size(), check.why, progress)) {
        case SshSession::SendOutcome::Refused:
            check.state = CopyCheck::Refused;
            check.why = Clause(check.why);
            return check;
        case SshSession::SendOutcome::Failed:
            check.state = CopyCheck::Failed;
            check.why = session->Lost()     ? LoadTextA(text::upload_link_lost)
                        : check.why.empty() ? LoadTextA(text::upload_copy_broken)
                                            : Clause(check.why);
            return check;
        case SshSession::SendOutcome::Sent:
            break;
        }
        std::string copy;
        if (!session->FetchAll(path, 0, 0, 0, copy)) {
            check.state = CopyCheck::Failed;
            check.why = LoadTextA(session->Lost() ? text::upload_link_lost : text::upload_copy_broken);
            return check;
        }
        if (copy != bytes) {
            size_t same = 0;
            while (same < copy.size() && same < bytes.size() && copy[same] == bytes[same])
                ++same;
            check.state = CopyCheck::Failed;
            check.why =
                FilledText(text::upload_copy_differs, {std::to_string(same), std::to_string(bytes.size())});
            return check;
        }
        check.state = CopyCheck::Ok;
    } catch (const std::exception& e) {
        check.state = CopyCheck::Failed;
        check.why = session && session->Lost() ? LoadTextA(text::upload_link_lost) : Clause(e.what());
    }
    return check;
}

// The program goes to a file beside the device's program, is read back and
// compared, and only then renamed over it in one step: a transfer that
// breaks anywhere leaves the previous program whole. A device that does not
// let the login create that file (its folder belongs to another user) gets
// the program written over the old one in place instead (PlaceInPlace).
void Connection::PlaceProgram(PreviousProgram& previous, UploadReport& report) {
    const std::vector<uint8_t>& payload = std::get<UploadProgramRequest>(current.request).payload;
    const std::string bytes(payload.begin(), payload.end());
    const auto progress = [&](uint64_t remaining, uint64_t total) {
        status.ShowProgress(total ? static_cast<unsigned>(25 - remaining * 25 / total) : 25,
                            StatusSink::kKeepText);
    };
    report.path = UploadReport::Path::Sibling;
    // A device that refused the file once in this session refuses it again:
    // the program goes in place at once.
    const CopyCheck sibling =
        programFolderLocked ? CopyCheck{CopyCheck::Refused, ""} : CopyAndVerify(SiblingPath, bytes, progress);
    if (sibling.state == CopyCheck::Refused) {
        Trace("Connection::PlaceProgram: %s refused (%s): writing in place\n", SiblingPath,
              sibling.why.c_str());
        report.path = UploadReport::Path::InPlace;
        if (!programFolderLocked) {
            programFolderLocked = true;
            try {
                ReopenSession();
            } catch (const std::exception& e) {
                report.previous = UploadReport::Previous::Untouched;
                RaiseMessage(FilledText(text::upload_failed_untouched, {Clause(e.what())}));
            }
            status.ShowProgress(0, text::program_uploading);
        }
        PlaceInPlace(bytes, previous, report, progress);
        return;
    }
    std::string why = sibling.why;
    if (sibling.state == CopyCheck::Ok) {
        try {
            session->RunCommand(std::string("mv -f ") + SiblingPath + " " + ProgramPath,
                                text::program_upload_failed);
            return;
        } catch (const std::exception& e) {
            why = session->Lost() ? LoadTextA(text::upload_link_lost) : Clause(e.what());
            const std::string prefix = LoadTextA(text::program_upload_failed) + " ";
            if (why.rfind(prefix, 0) == 0)
                why.erase(0, prefix.size());
        }
    }
    // Best effort: a session that still works removes the partial copy.
    if (session && !session->Lost()) {
        try {
            session->RunCommand(std::string("rm -f ") + SiblingPath, text::program_upload_failed);
        } catch (const std::exception& e) {
            Trace("Connection::PlaceProgram: %s stays: %s\n", SiblingPath, e.what());
        }
    }
    report.previous = UploadReport::Previous::Untouched;
    RaiseMessage(FilledText(text::upload_failed_untouched, {why}));
}

// A copy the device refused leaves some SSH servers (Dropbear) at odds with
// the client over that channel, so that the next transfers on the
// connection fail now and then; the rest of the job runs on a fresh one.
void Connection::ReopenSession() {
    Trace("Connection::ReopenSession: a new connection after a refused copy\n");
    CloseSession();
    try {
        OpenAndLogIn();
    } catch (const std::exception&) {
        CloseSession();
        throw;
    } catch (...) {
        // The device's key was confirmed when the session began; a
        // different one now ends the job like a failed handshake.
        CloseSession();
        RaiseError(text::session_handshake_failed);
    }
    session->StartKeepalive();
}

// In place the old program is overwritten as the bytes arrive, so a copy
// that fails or differs is undone by writing the previous program back the
// same way and reading it back too. The report says which of the three
// states the device was left in; the device is never restarted on any.
void Connection::PlaceInPlace(const std::string& bytes, PreviousProgram& previous, UploadReport& report,
                              const std::function<void(uint64_t, uint64_t)>& progress) {
    if (!previous.fetched) {
        previous.bytes = FetchCurrentProgram(text::device_keep_failed);
        previous.fetched = true;
    }
    const CopyCheck copy = CopyAndVerify(ProgramPath, bytes, progress);
    if (copy.state == CopyCheck::Ok)
        return;
    if (copy.state == CopyCheck::Refused) {
        report.previous = UploadReport::Previous::Untouched;
        RaiseMessage(FilledText(text::upload_failed_untouched, {copy.why}));
    }
    std::string restoreWhy = LoadTextA(text::upload_nothing_kept);
    if (previous.bytes) {
        status.ShowProgress(0, text::upload_writing_back);
        const CopyCheck back = CopyAndVerify(ProgramPath, *previous.bytes, {});
        // A copy that broke off may still have left the whole program (the
        // part that did not arrive was never overwritten): what the device
        // holds decides.
        std::string now;
        if (back.state == CopyCheck::Ok ||
            (!session->Lost() && session->FetchAll(ProgramPath, 0, 0, 0, now) && now == *previous.bytes)) {
            report.previous = UploadReport::Previous::Restored;
            RaiseMessage(FilledText(text::upload_failed_restored, {copy.why}));
        }
        restoreWhy = back.why;
    }
    report.previous = UploadReport::Previous::Damaged;
    Trace("Connection::PlaceInPlace: the device's program is damaged: %s; %s\n", copy.why.c_str(),
          restoreWhy.c_str());
    RaiseMessage(
        FilledText(text::upload_failed_damaged,
                   {copy.why, restoreWhy,
                    report.keptPath.empty() ? LoadTextA(text::upload_nothing_kept) : report.keptPath}));
}

void Connection::DownloadProgram() {
    if (!RequireConnection())
        return;
    try {
        status.ShowProgress(0, text::program_downloading);
        std::string bytes;
        session->FetchAll("/etc/tavo/program.tdv", text::program_download_failed,
                          text::program_download_failed, 0, bytes, [&](uint64_t received, uint64_t total) {
                              status.ShowProgress(static_cast<unsigned>(received * 100 / total),
                                                  StatusSink::kKeepText);
                          });
        const std::string& path = std::get<DownloadProgramRequest>(current.request).path;
        if (path.empty()) {
            Trace("Connection::DownloadProgram: no local file\n");
            return;
        }
        AtomicFile::WriteAll(path, bytes.data(), bytes.size());
        DownloadReport report;
        report.written.push_back(path);
        result.value = std::move(report);
        status.ShowMessage(text::program_downloaded);
    } catch (...) {
        status.ShowMessage(text::program_download_failed);
        throw;
    }
}

// The device's program goes into the history before anything is sent,
// unless the newest kept program of the device is the same; either way the
// report names the copy on this computer.
void Connection::KeepCurrentProgram(PreviousProgram& previous, UploadReport& report) {
    status.ShowProgress(0, text::device_keeping_program);
    previous.bytes = FetchCurrentProgram(text::device_keep_failed);
    previous.fetched = true;
    if (previous.bytes)
        report.keptPath = programHistory->Keep(NetworkAddressText(deviceAddress), previous.bytes->data(),
                                               previous.bytes->size(), utcNow());
}

} // namespace korvex
