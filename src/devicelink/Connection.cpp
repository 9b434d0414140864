#include "devicelink/Connection.h"

#include "devicelink/DeviceTexts.h"
#include "devicelink/FactoryRecord.h"
#include "devicelink/KnownHosts.h"
#include "devicelink/NetworkSettings.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/SshSession.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/Trace.h"

#include <libssh2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

namespace {

// libssh2 keeps a plain counter of its users; sessions of several
// Connection objects may take and drop references at the same time.
std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

// Stands in for a dialog that is not there, so jobs need no null checks.
class NoRecordings : public RecordingsSink {
public:
    void SetLines(int, const std::vector<std::string>&) override {}
    void ReplaceLine(int, size_t, const std::string&, bool) override {}
};

class NoNetworkDialog : public NetworkSettingsSink {
public:
    void SetAddress(int, uint32_t) override {}
    void SetText(int, const std::string&) override {}
    void SetChecked(int, bool) override {}
    void Enable(int, bool) override {}
};

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

const char* const RestartCommandText = "sync && /tavo/restart";
const char* const ProgramPath = "/etc/tavo/program.tdv";

// Ends a connect job at a key the window has to ask about (not an error).
struct UnconfirmedKey {};

} // namespace

// ---- Connection

struct ConnectionInternals {
    SocketGuard socket;
};

namespace {
// One guard per Connection, kept outside the class so the header needs no
// socket details.
SocketGuard& GuardOf(const std::unique_ptr<ConnectionInternals>& internals) { return internals->socket; }
} // namespace

Connection::Connection(StatusSink& statusBar, DeviceList& explorer)
    : Thread("Connection"), utcNow(SystemUtc100ns), statusBar(statusBar), explorer(explorer),
      internals(std::make_unique<ConnectionInternals>()) {
    std::fill(std::begin(cameraChannel), std::end(cameraChannel), 1u);
}

// The base class would end a still-running thread only after this object's
// members (the session among them) are gone, and the thread's way out
// closes the session through them; end it while they still exist.
Connection::~Connection() { Stop(); }

bool Connection::Post(int32_t code) {
    int32_t idle = 0;
    // Release: the request fields written before are visible to the session
    // thread once it sees the code.
    return job.compare_exchange_strong(idle, code, std::memory_order_release, std::memory_order_relaxed);
}

void Connection::OnStopRequested() {
    // An idle thread sees the stop at once and closes the session with its
    // disconnect message, which cutting the socket first would lose. A
    // thread blocked in a job, or in that goodbye, is cut off after a short
    // grace so that Stop always ends soon.
    {
        std::unique_lock<std::mutex> guard(runLock);
        runChanged.wait_for(guard, std::chrono::milliseconds(timing.stopGrace_ms), [&] { return !runActive; });
    }
    GuardOf(internals).Interrupt();
}

void Connection::Run() {
    {
        std::lock_guard<std::mutex> guard(runLock);
        runActive = true;
    }
    struct RunEnd {
        Connection& self;
        ~RunEnd() {
            std::lock_guard<std::mutex> guard(self.runLock);
            self.runActive = false;
            self.runChanged.notify_all();
        }
    } runEnd{*this};
    round.store(0, std::memory_order_release);
    while (!StopRequested()) {
        if (SleepOrStop(timing.poll_ms))
            break;
        const int32_t code = job.load(std::memory_order_acquire);
        if (code >= 1 && code <= 13) {
            try {
                PerformJob(code);
            } catch (const std::exception& e) {
                // A job broken off by the stop request is not the user's error.
                if (StopRequested())
                    Trace("Connection::Run: job %d ended by stop: %s\n", code, e.what());
                else
                    statusBar.ShowError(e.what());
            }
            EndLostSession();
        }
        if (code != 0)
            job.store(0, std::memory_order_release);
        const uint32_t counter = round.fetch_add(1, std::memory_order_acq_rel) + 1;
        if (StopRequested())
            break;
        if (connected.load(std::memory_order_acquire) && timing.clockRounds && counter % timing.clockRounds == 0)
            SynchroniseClock();
        if (connected.load(std::memory_order_acquire) && timing.livenessRounds &&
            counter % timing.livenessRounds == 0)
            CheckLiveness();
        if (connected.load(std::memory_order_acquire) && session) {
            session->Keepalive();
            EndLostSession();
        }
    }
    try {
        Disconnect();
    } catch (const std::exception& e) {
        Trace("Connection::Run: %s\n", e.what());
    }
}

void Connection::EndLostSession() {
    // A device that fell silent or a connection that broke leaves a session
    // of no further use: it is closed at once, and the status says so,
    // rather than left for the next job to fail on.
    if (StopRequested() || !session || !session->Lost() || !connected.load(std::memory_order_acquire))
        return;
    try {
        Disconnect();
    } catch (const std::exception& e) {
        Trace("Connection::EndLostSession: %s\n", e.what());
    }
}

void Connection::PerformJob(int32_t code) {
    switch (code) {
    case JobChangePassword: ChangePassword(); break;
    case JobConnect: Connect(); break;
    case JobDisconnect: Disconnect(); break;
    case JobDownloadRecordings: DownloadRecordings(); break;
    case JobReadNetwork: ReadNetwork(); break;
    case JobListFiles:
    case JobListHours:
    case JobListLevel2:
    case JobListCameras: ListRecordings(code); break;
    case JobRestart: Restart(); break;
    case JobWriteNetwork: WriteNetwork(); break;
    case JobUploadProgram: UploadProgram(); break;
    case JobDownloadProgram: DownloadProgram(); break;
    default: break;
    }
}

void Connection::Connect() {
    if (connected.load(std::memory_order_acquire))
        return;
    statusBar.ShowProgress(0, 139);
    try {
        {
            std::lock_guard<std::mutex> guard(LibraryLock());
            if (libssh2_init(0) != 0)
                RaiseError(231);
        }
        sshLibraryStarted = true;
        // A known-hosts path that names a FIFO or a device is refused
        // before anything reaches the device.
        const std::string keysPath = knownHostsPath.empty() ? DefaultKnownHostsPath() : knownHostsPath;
        KnownHostsFileKind(keysPath);
        session = std::make_unique<SshSession>(timing, stopEvent, GuardOf(internals));
        session->OpenSocket(deviceAddress, port);
        session->CreateSession();
        statusBar.ShowProgress(60, 140);
        session->Handshake();
        statusBar.ShowProgress(80, 141);
        // The password goes only to a device whose key is the one on record
        // (or one never seen before, which is recorded now).
        const std::string& path = keysPath;
        if (hostKeys) {
            // The window asks about a new key and shows a changed one; the
            // job ends here without logging in.
            HostKeyLookup lookup = LookUpHostKey(session->Handle(), path, NetworkAddressText(deviceAddress), port);
            if (lookup.result != HostKeyLookup::Known) {
                unconfirmedKey = HostKeyQuestion{NetworkAddressText(deviceAddress), port, path, lookup.keyType,
                                                 lookup.fingerprint, lookup.recordedFingerprint, lookup.keyBlob};
                throw UnconfirmedKey();
            }
        } else {
            HostKeyVerdict verdict = CheckHostKey(session->Handle(), path, NetworkAddressText(deviceAddress), port);
            if (verdict.recorded) {
                std::string text = LoadTextA(1000);
                size_t at = text.find("%1");
                if (at != std::string::npos)
                    text.replace(at, 2, verdict.fingerprint);
                else
                    text += " " + verdict.fingerprint;
                statusBar.ShowText(text);
                Trace("Connection::Connect: recorded %s\n", verdict.fingerprint.c_str());
            }
        }
        session->Authenticate(userName, password);
    } catch (const UnconfirmedKey&) {
        CloseSession();
        const bool changed = !unconfirmedKey.recordedFingerprint.empty();
        statusBar.ShowMessage(changed ? 142 : 2600);
        if (changed)
            hostKeys->ChangedKey(unconfirmedKey);
        else
            hostKeys->UnknownKey(unconfirmedKey);
        return;
    } catch (...) {
        CloseSession();
        statusBar.ShowMessage(142);
        throw;
    }
    session->StartKeepalive();
    connected.store(true, std::memory_order_release);
    std::string text = LoadTextA(143) + " " + userName + "@" + NetworkAddressText(deviceAddress);
    statusBar.ShowText(text);
    QueryVersion(text);
}

void Connection::Disconnect() {
    if (!connected.load(std::memory_order_acquire))
        return;
    statusBar.ShowMessage(144);
    CloseSession();
    connected.store(false, std::memory_order_release);
    statusBar.ShowMessage(138);
}

void Connection::CloseSession() {
    if (session) {
        session->Close();
        session.reset();
    }
    GuardOf(internals).Close();
    if (sshLibraryStarted) {
        std::lock_guard<std::mutex> guard(LibraryLock());
        libssh2_exit();
        sshLibraryStarted = false;
    }
}

void Connection::CheckLiveness() {
    SshChannel channel = session ? session->TryOpenChannel() : SshChannel();
    if (!channel) {
        Trace("Connection::CheckLiveness: device gone\n");
        Disconnect();
    }
}

void Connection::SynchroniseClock() {
    struct Counted {
        std::atomic<unsigned>& counter;
        ~Counted() { counter.fetch_add(1, std::memory_order_acq_rel); }
    } counted{clockChecks};
    SshChannel first = session ? session->TryOpenChannel() : SshChannel();
    if (!first) {
        Disconnect();
        return;
    }
    try {
        if (!session->Exec(first, "date -u -Iseconds"))
            session->Raise(238);
        const CommandResult date = session->Collect(first, 238);
        first.Release();
        if (date.exitStatus != 0)
            RaiseMessage(
                SshSession::CommandFailure(1033, date.exitStatus, SshSession::FirstLine(date.errorText)));
        if (!DeviceClock(date.output))
            RaiseError(1033);
        const std::string command = ClockCommand(date.output, utcNow());
        if (command.empty())
            return;
        Trace("Connection::SynchroniseClock: setting the device clock\n");
        session->RunCommand(command, 1035);
        clockSettings.fetch_add(1, std::memory_order_acq_rel);
        // The clock is read back: a device that took the command but kept
        // its time is not in step.
        const std::string after = session->RunCommand("date -u -Iseconds", 1033);
        if (!DeviceClock(after))
            RaiseError(1033);
        if (!ClockCommand(after, utcNow()).empty()) {
            std::string text = LoadTextA(1034);
            text.replace(text.find("%1"), 2, SshSession::FirstLine(after));
            RaiseMessage(text);
        }
    } catch (const std::exception& e) {
        // Nobody asked for this round: the failure is kept for whoever
        // reads it (korvex-cli sync-clock), and a session it left useless
        // is ended by the loop.
        Trace("Connection::SynchroniseClock: %s\n", e.what());
        std::lock_guard<std::mutex> guard(clockLock);
        clockError = e.what();
        clockFailures.fetch_add(1, std::memory_order_acq_rel);
    }
}

std::string Connection::ClockError() const {
    std::lock_guard<std::mutex> guard(clockLock);
    return clockError;
}

uint32_t Connection::ReadFactoryConfig() {
    if (!connected.load(std::memory_order_acquire) || !session)
        return 0;
    std::string bytes;
    session->FetchAll("/etc/tavo/factory/config.pb", 146, 146, 4096, bytes);
    return DecodeFactoryConfig(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void Connection::QueryVersion(std::string text) {
    const std::string output = session->RunCommand("/tavo/tavo --version", 238);
    std::string version;
    if (VersionFromOutput(output, version))
        text += "; " + LoadTextA(174) + ": " + version;
    text += "; " + LoadTextA(175) + ": " + std::to_string(ReadFactoryConfig());
    statusBar.ShowText(text);
}

void Connection::ChangePassword() {
    if (!connected.load(std::memory_order_acquire))
        return;
    try {
        SshChannel channel = session->OpenChannel();
        if (!session->MergeStandardError(channel) || !session->Exec(channel, "/tavo/chpass " + userName))
            session->Raise(136);
        session->ReadUntil(channel, "password:", 136);
        if (!session->WriteAll(channel, password + "\n"))
            session->Raise(136);
        session->ReadUntil(channel, "password:", 136);
        if (!session->WriteAll(channel, password + "\n"))
            session->Raise(136);
        // What the command says last is its verdict; its exit status decides.
        const CommandResult rest = session->Collect(channel, 136);
        if (rest.exitStatus != 0)
            RaiseMessage(SshSession::CommandFailure(136, rest.exitStatus, SshSession::LastLine(rest.output)));
        statusBar.ShowMessage(137);
    } catch (...) {
        statusBar.ShowMessage(136);
        throw;
    }
}

void Connection::RestartCommand() { session->RunCommandThenGone(RestartCommandText, 156); }

void Connection::Restart() {
    if (!connected.load(std::memory_order_acquire))
        return;
    try {
        statusBar.ShowProgress(0, 155);
        RestartCommand();
        uint64_t remembered = 0;
        bool heardAgain = false;
        unsigned i = 0;
        for (; i < 75 && !heardAgain; ++i) {
            if (StopRequested())
                break;
            if (i >= 5) {
                const uint64_t seen = explorer.LastSeen(deviceAddress);
                if (i == 5)
                    remembered = seen;
                else if (seen > remembered)
                    heardAgain = true; // the device has announced itself again
            }
            if (heardAgain)
                break;
            statusBar.ShowProgress(i * 100 / 75, 0);
            if (SleepOrStop(timing.restartStep_ms))
                break;
        }
        // A device whose announcements never arrived (gone for good, or on
        // another subnet) is asked once more on a fresh connection.
        if (i == 75 && !heardAgain &&
            !SshServerAnswers(deviceAddress, port, timing.reconnectTimeout_ms, stopEvent) && !StopRequested())
            RaiseError(1032);
        statusBar.ShowMessage(157);
    } catch (...) {
        statusBar.ShowMessage(156);
        throw;
    }
}

void Connection::UploadProgram() {
    if (!connected.load(std::memory_order_acquire))
        return;
    try {
        if (programHistory)
            KeepCurrentProgram();
        statusBar.ShowProgress(0, 161);
        PlaceProgram();
        statusBar.ShowProgress(25, 155);
        RestartCommand();
        for (unsigned i = 0; i < 75; ++i) {
            if (StopRequested())
                break;
            statusBar.ShowProgress(i + 26, 0);
            if (SleepOrStop(timing.uploadStep_ms))
                break;
        }
        statusBar.ShowMessage(163);
    } catch (...) {
        statusBar.ShowMessage(162);
        throw;
    }
}

// The program goes to a file beside the device's program, is read back and
// compared, and only then renamed over it in one step: a transfer that
// breaks anywhere leaves the previous program whole, and the caller never
// restarts the device on a program that is not the one sent.
void Connection::PlaceProgram() {
    const std::string program = ProgramPath;
    const std::string sibling = program + ".new";
    try {
        session->Send(sibling, uploadPayload.data(), uploadPayload.size(), 162,
                      [&](uint64_t remaining, uint64_t total) {
                          statusBar.ShowProgress(
                              total ? static_cast<unsigned>(25 - remaining * 25 / total) : 25, 0);
                      });
        std::string copy;
        session->FetchAll(sibling, 162, 162, 0, copy);
        if (copy.size() != uploadPayload.size() ||
            !std::equal(copy.begin(), copy.end(), uploadPayload.begin(),
                        [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
            size_t same = 0;
            while (same < copy.size() && same < uploadPayload.size() &&
                   static_cast<uint8_t>(copy[same]) == uploadPayload[same])
                ++same;
            std::string text = LoadTextA(1031);
            text.replace(text.find("%1"), 2, std::to_string(same));
            text.replace(text.find("%2"), 2, std::to_string(uploadPayload.size()));
            RaiseMessage(LoadTextA(162) + " " + text);
        }
        session->RunCommand("mv -f " + sibling + " " + program, 162);
    } catch (...) {
        // Best effort: a session that still works removes the partial copy.
        if (session && !session->Lost()) {
            try {
                session->RunCommand("rm -f " + sibling, 162);
            } catch (const std::exception& e) {
                Trace("Connection::PlaceProgram: %s stays: %s\n", sibling.c_str(), e.what());
            }
        }
        throw;
    }
}

void Connection::DownloadProgram() {
    if (!connected.load(std::memory_order_acquire))
        return;
    try {
        statusBar.ShowProgress(0, 164);
        std::string bytes;
        session->FetchAll("/etc/tavo/program.tdv", 146, 146, 0, bytes, [&](uint64_t received, uint64_t total) {
            statusBar.ShowProgress(static_cast<unsigned>(received * 100 / total), 0);
        });
        if (!fileChooser) {
            Trace("Connection::DownloadProgram: no file chooser\n");
            return;
        }
        SaveFileRequest request{LoadTextA(177), "*.kvx", LoadTextA(176), "", "kvx"};
        std::optional<std::string> path = fileChooser->ChooseSaveFile(request);
        if (!path)
            return; // cancelled: the bytes are dropped, the status stays
        AtomicFile::WriteAll(*path, bytes.data(), bytes.size());
        statusBar.ShowMessage(165);
    } catch (...) {
        statusBar.ShowMessage(146);
        throw;
    }
}

void Connection::ListRecordings(int32_t code) {
    if (!connected.load(std::memory_order_acquire))
        return;
    NoRecordings none;
    RecordingsSink& dialog = recordingsDialog ? *recordingsDialog : none;
    const int level = JobListCameras - code; // 9 -> 0, 8 -> 1, 7 -> 2, 6 -> 3
    static const unsigned startText[4] = {153, 152, 150, 147};
    static const unsigned endText[4] = {154, 151, 151, 149};
    std::vector<std::string>* levels[4] = {&cameraDirs, &level2Dirs, &hourDirs, &mp4Files};
    try {
        statusBar.ShowMessage(startText[level]);
        for (int l = level; l < 4; ++l) {
            levels[l]->clear();
            dialog.SetLines(l, {});
        }
        // The path of the selected folders above the level being listed,
        // locally and as the listing command's argument.
        std::string relative, quoted;
        for (int l = 0; l < level; ++l) {
            const int index = selectedLevel[l];
            if (index < 0 || static_cast<size_t>(index) >= levels[l]->size())
                RaiseError(234 + static_cast<unsigned>(l));
            const std::string& name = (*levels[l])[static_cast<size_t>(index)];
            relative += (l ? "/" : "") + name;
            quoted += (l ? "/" : "") + ShellWord(name);
        }
        const std::string command = level == 0 ? "ls -p /mnt/usbdrive" : "ls -p /mnt/usbdrive/" + quoted;
        const std::string output = session->RunCommand(command, 240);
        static const ListingLevel kind[4] = {ListingLevel::Cameras, ListingLevel::Folders, ListingLevel::Folders,
                                             ListingLevel::Files};
        *levels[level] = FilterListing(output, kind[level]);
        std::vector<std::string> lines;
        for (const std::string& name : *levels[level]) {
            const std::string local = localFolder + (relative.empty() ? "" : relative + "/") + name;
            std::string line = level == 2 ? HourLine(name) : name;
            if (level == 3 ? Exists(local) : IsFolder(local))
                line += SavedMark;
            lines.push_back(line);
        }
        dialog.SetLines(level, lines);
        statusBar.ShowMessage(endText[level]);
    } catch (...) {
        statusBar.ShowMessage(148);
        throw;
    }
}

void Connection::DownloadRecordings() {
    if (!connected.load(std::memory_order_acquire))
        return;
    NoRecordings none;
    RecordingsSink& dialog = recordingsDialog ? *recordingsDialog : none;
    const std::vector<std::string>* levels[3] = {&cameraDirs, &level2Dirs, &hourDirs};
    std::string names[3];
    for (int l = 0; l < 3; ++l) {
        const int index = selectedLevel[l];
        if (index < 0 || static_cast<size_t>(index) >= levels[l]->size())
            RaiseError(234 + static_cast<unsigned>(l));
        names[l] = (*levels[l])[static_cast<size_t>(index)];
    }
    std::vector<int> files;
    for (int index : selectedFiles)
        if (index >= 0 && static_cast<size_t>(index) < mp4Files.size())
            files.push_back(index);
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    if (files.empty())
        RaiseError(237);

    const std::string relative = names[0] + "/" + names[1] + "/" + names[2];
    try {
        for (int index : files) {
            const std::string& name = mp4Files[static_cast<size_t>(index)];
            statusBar.ShowText(LoadTextA(173) + " '" + relative + "/" + name + "'");
            statusBar.ShowProgress(0, 0);
            // Streamed to a temporary file beside the target and renamed when
            // whole: a large recording needs no memory of its size, and a
            // broken transfer leaves any earlier copy as it was. The folders
            // are made once the device sends the file, and the ones made for
            // a transfer that then breaks are removed again, so that a failed
            // copy never shows as saved in a later listing.
            std::vector<std::string> made;
            std::optional<AtomicFile> local;
            auto open = [&] {
                if (local)
                    return;
                for (const std::string& folder : {localFolder + names[0], localFolder + names[0] + "/" + names[1],
                                                  localFolder + relative})
                    if (::mkdir(folder.c_str(), 0777) == 0)
                        made.push_back(folder); // one that exists already is fine
                local.emplace(localFolder + relative + "/" + name);
            };
            try {
                session->Fetch("/mnt/usbdrive/" + relative + "/" + name, 146, 146, 4096,
                               [&](const uint8_t* data, size_t n, uint64_t received, uint64_t total) {
                                   open();
                                   local->Write(data, n);
                                   statusBar.ShowProgress(static_cast<unsigned>(received * 100 / total), 0);
                               });
                open(); // a recording of no bytes
                local->Commit();
            } catch (...) {
                local.reset();
                for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
                    ::rmdir(folder->c_str());
                throw;
            }
            dialog.ReplaceLine(3, static_cast<size_t>(index), name + SavedMark, true);
        }
        dialog.ReplaceLine(0, static_cast<size_t>(selectedLevel[0]), names[0] + SavedMark, true);
        dialog.ReplaceLine(1, static_cast<size_t>(selectedLevel[1]), names[1] + SavedMark, true);
        dialog.ReplaceLine(2, static_cast<size_t>(selectedLevel[2]), HourLine(names[2]) + SavedMark, true);
        statusBar.ShowMessage(145);
    } catch (...) {
        statusBar.ShowMessage(146);
        throw;
    }
}

void Connection::ReadNetwork() {
    if (!connected.load(std::memory_order_acquire))
        return;
    NoNetworkDialog none;
    NetworkSettingsSink& dialog = networkDialog ? *networkDialog : none;
    using C = NetworkSettingsSink;

    // A read command that fails leaves only its own fields missing; the
    // others are read all the same, and the status names what failed. (A
    // session that is lost ends the job.)
    std::vector<std::string> failed;
    const auto read = [&](const std::string& command) -> std::optional<std::string> {
        try {
            return session->RunCommand(command, 238);
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

    // A controller or camera file that cannot be fetched, or whose read
    // breaks off, is skipped: the row keeps what it shows.
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

    cameraCount = std::min<uint32_t>(ReadFactoryConfig(), 4);

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

    if (session->FetchAll("/tavo/pass", 0, 239, 4096, content)) {
        const std::string text = TrimTrailing(content);
        if (!text.empty()) {
            dialog.SetText(C::PassText, text);
            dialog.Enable(C::PassText, cameraZeroSet);
        }
    }
    if (!failed.empty()) {
        std::string list;
        for (const std::string& command : failed)
            list += (list.empty() ? "\"" : ", \"") + command + "\"";
        std::string text = LoadTextA(1036);
        text.replace(text.find("%1"), 2, list);
        statusBar.ShowText(text);
    }
}

void Connection::WriteNetwork() {
    if (!connected.load(std::memory_order_acquire))
        return;
    try {
        // Settings that would leave the device unreachable are refused
        // before anything is sent. (A gateway outside the network is the
        // requester's to confirm.)
        const NetworkCheck check = ValidateNetworkSettings(ipAddress, netmask, gateway);
        if (check.Refused())
            RaiseMessage(LoadTextA(159) + " " + check.error);
        statusBar.ShowProgress(0, 158);
        const std::string command = "/tavo/ipconfig --proto static --ipaddr " + HostAddressText(ipAddress) +
                                    " --netmask " + HostAddressText(netmask) + " --gateway " +
                                    HostAddressText(gateway);
        // The output is not used, but the command is waited out, and a
        // device that refuses the settings (a non-zero exit status) ends the
        // job before any file is written or the device restarted.
        session->RunCommand(command, 159);
        const uint32_t cameras = std::min<uint32_t>(cameraCount, 8);
        for (uint32_t i = 0; i < cameras; ++i) {
            statusBar.ShowProgress(3 * i + 3, 0);
            const std::string content = CameraFileContent(cameraAddress[i], cameraChannel[i]);
            session->Send("/tavo/cam" + std::to_string(i), content.data(), content.size(), 227);
        }
        statusBar.ShowProgress(25, 0);
        session->Send("/tavo/pass", passText.data(), passText.size(), 241);
        statusBar.ShowProgress(30, 0);
        const std::string controller = HostAddressText(controllerAddress);
        session->Send("/tavo/controller", controller.data(), controller.size(), 277);
        statusBar.ShowProgress(35, 155);
        RestartCommand();
        for (unsigned i = 1; i <= 65; ++i) {
            if (StopRequested())
                break;
            statusBar.ShowProgress(i + 35, 0);
            if (SleepOrStop(timing.networkStep_ms))
                break;
        }
        statusBar.ShowMessage(160);
    } catch (...) {
        statusBar.ShowMessage(159);
        throw;
    }
}

// ---- program history: the program an upload replaces is kept first

void Connection::KeepCurrentProgram() {
    statusBar.ShowProgress(0, 2601);
    std::string bytes;
    if (!session->FetchAll("/etc/tavo/program.tdv", 0, 2602, 0, bytes)) {
        // A device that has no program yet has nothing to lose; a program
        // that is there but cannot be fetched stops the upload. (The SCP
        // refusal does not say which it was; the folder listing does.)
        const std::string listing = session->RunCommand("ls -p /etc/tavo", 2602);
        if (("\n" + listing + "\n").find("\nprogram.tdv") != std::string::npos)
            RaiseError(2602);
        Trace("Connection::KeepCurrentProgram: the device has no program\n");
        return;
    }
    programHistory->Keep(NetworkAddressText(deviceAddress), bytes.data(), bytes.size(), utcNow());
}

} // namespace korvex
