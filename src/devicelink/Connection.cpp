// The device session: its thread and job loop, connecting and closing, and
// the short jobs (version, password, restart).
#include "devicelink/Connection.h"

#include "devicelink/DeviceTexts.h"
#include "devicelink/FactoryRecord.h"
#include "devicelink/KnownHosts.h"
#include "devicelink/NetworkSettings.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/ServerGreeting.h"
#include "devicelink/SshSession.h"
#include "framework/BinaryFile.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <libssh2.h>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <variant>

namespace korvex {

namespace {

// libssh2 keeps a plain counter of its users; sessions of several
// Connection objects may take and drop references at the same time.
std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

const char* const RestartCommandText = "sync && /tavo/restart";

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
SocketGuard& GuardOf(const std::unique_ptr<ConnectionInternals>& internals) {
    return internals->socket;
}
} // namespace

Connection::Connection(ConnectionSetup setup)
    : Thread("Connection"), status(setup.status), devices(setup.devices), hostKeys(setup.hostKeys),
      programHistory(setup.programHistory), results(setup.results), timing(setup.timing),
      utcNow(setup.utcNow ? std::move(setup.utcNow) : std::function<uint64_t()>(SystemUtc100ns)),
      defaultKnownHostsPath(std::move(setup.knownHostsPath)),
      reconnectAfterRestart(setup.reconnectAfterRestart), stopGrace_ms(setup.timing.stopGrace_ms),
      internals(std::make_unique<ConnectionInternals>()) {}

// The base class would end a still-running thread only after this object's
// members (the session among them) are gone, and the thread's way out
// closes the session through them; end it while they still exist.
Connection::~Connection() {
    Stop();
    AbandonMailbox();
}

void Connection::OnStopRequested() {
    {
        // Wakes the sleeping loop (the stop event is set already).
        std::lock_guard<std::mutex> guard(mailboxLock);
        mailboxChanged.notify_all();
    }
    // An idle thread sees the stop at once and closes the session with its
    // disconnect message, which cutting the socket first would lose. A
    // thread blocked in a job, or in that goodbye, is cut off after a short
    // grace so that Stop always ends soon.
    {
        std::unique_lock<std::mutex> guard(runLock);
        runChanged.wait_for(guard, std::chrono::milliseconds(stopGrace_ms.load(std::memory_order_acquire)),
                            [&] { return !runActive; });
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
    while (!StopRequested()) {
        // Asleep until a request comes or a timed duty of the connected
        // session is due; an idle closed session only waits for requests.
        using Clock = std::chrono::steady_clock;
        const bool live = connected.load(std::memory_order_acquire) && session;
        const Clock::time_point deadline =
            live ? std::min({nextLiveness, nextClock, nextKeepalive}) : Clock::time_point::max();
        if (WaitForWork(deadline))
            RunPostedJob();
        if (StopRequested())
            break;
        RunTimedDuties(Clock::now());
    }
    try {
        Disconnect();
    } catch (const std::exception& e) {
        Trace("Connection::Run: %s\n", e.what());
    }
    AbandonMailbox();
}

bool Connection::WaitForWork(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(mailboxLock);
    const auto ready = [&] { return mailbox.has_value() || StopRequested(); };
    if (deadline == std::chrono::steady_clock::time_point::max())
        mailboxChanged.wait(guard, ready);
    else
        mailboxChanged.wait_until(guard, deadline, ready);
    return mailbox.has_value() && !StopRequested();
}

// The duties of a connected session that come with time: the clock
// synchronisation, the liveness check and the SSH keepalive, each when its
// period has passed. A job that ran long does not make them run twice.
void Connection::RunTimedDuties(std::chrono::steady_clock::time_point now) {
    using std::chrono::milliseconds;
    if (!connected.load(std::memory_order_acquire) || !session)
        return;
    if (timing.clockPeriod_ms && now >= nextClock) {
        nextClock = now + milliseconds(timing.clockPeriod_ms);
        SynchroniseClock();
    }
    if (connected.load(std::memory_order_acquire) && timing.livenessPeriod_ms && now >= nextLiveness) {
        nextLiveness = now + milliseconds(timing.livenessPeriod_ms);
        CheckLiveness();
    }
    if (connected.load(std::memory_order_acquire) && session && now >= nextKeepalive) {
        const unsigned next_s = session->Keepalive();
        nextKeepalive = now + milliseconds(next_s ? next_s * 1000u : 1000u);
        EndLostSession();
    }
}

// Session thread: the timed duties count from the moment the session is
// logged in (again).
void Connection::StartTimedDuties() {
    using std::chrono::milliseconds;
    const auto now = std::chrono::steady_clock::now();
    const auto never = std::chrono::steady_clock::time_point::max();
    nextLiveness = timing.livenessPeriod_ms ? now + milliseconds(timing.livenessPeriod_ms) : never;
    nextClock = timing.clockPeriod_ms ? now + milliseconds(timing.clockPeriod_ms) : never;
    nextKeepalive = now + milliseconds(1000);
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

namespace {
template <typename... F> struct Overloaded : F... { using F::operator()...; };
template <typename... F> Overloaded(F...) -> Overloaded<F...>;
} // namespace

void Connection::PerformJob() {
    std::visit(Overloaded{
                   [&](const ConnectDeviceRequest&) { Connect(); },
                   [&](const DisconnectRequest&) { Disconnect(); },
                   [&](const ChangePasswordRequest&) { ChangePassword(); },
                   [&](const RestartRequest&) { Restart(); },
                   [&](const UploadProgramRequest&) { UploadProgram(); },
                   [&](const DownloadProgramRequest&) { DownloadProgram(); },
                   [&](const ReadNetworkRequest&) { ReadNetwork(); },
                   [&](const WriteNetworkRequest&) { WriteNetwork(); },
                   [&](const ListLevelRequest&) { ListRecordings(); },
                   [&](const DownloadRecordingsRequest&) { DownloadRecordings(); },
                   [&](const SyncClockRequest&) { SyncClockNow(); },
               },
               current.request);
}

void Connection::Connect() {
    if (connected.load(std::memory_order_acquire))
        return;
    status.ShowProgress(0, text::status_connecting);
    try {
        OpenAndLogIn();
    } catch (const UnconfirmedKey&) {
        CloseSession();
        // A changed key is refused outright; a new one waits for the
        // user's word.
        const bool changed = !unconfirmedKey.recordedFingerprint.empty();
        status.ShowMessage(changed ? text::status_connect_failed : text::device_key_unconfirmed);
        result.outcome = Outcome::KeyUnconfirmed;
        result.error = OutcomeName(Outcome::KeyUnconfirmed);
        if (changed)
            hostKeys->ChangedKey(unconfirmedKey);
        else
            hostKeys->UnknownKey(unconfirmedKey);
        return;
    } catch (...) {
        CloseSession();
        status.ShowMessage(text::status_connect_failed);
        throw;
    }
    session->StartKeepalive();
    StartTimedDuties();
    programFolderLocked = false;
    connected.store(true, std::memory_order_release);
    status.ShowText(LoadTextA(text::status_connected_as) + " " + userName + "@" +
                    NetworkAddressText(deviceAddress));
    QueryVersion();
}

// Up to the login; throws UnconfirmedKey at a key the window has to ask about.
void Connection::OpenAndLogIn() {
    {
        std::lock_guard<std::mutex> guard(LibraryLock());
        if (libssh2_init(0) != 0)
            RaiseError(text::session_create_failed);
    }
    sshLibraryStarted = true;
    const std::string keysPath = knownHostsPath.empty() ? DefaultKnownHostsPath() : knownHostsPath;
    // A known-hosts path that names a FIFO or a device is refused
    // before anything reaches the device.
    KnownHostsFileKind(keysPath);
    session = std::make_unique<SshSession>(timing, stopEvent, GuardOf(internals));
    session->OpenSocket(deviceAddress, port);
    session->CreateSession();
    status.ShowProgress(60, text::status_securing);
    session->Handshake();
    status.ShowProgress(80, text::status_logging_in);
    // The password goes only to a device whose key is the one on record
    // (or one never seen before, which is recorded now).
    if (!KeyConfirmed(keysPath))
        throw UnconfirmedKey();
    session->Authenticate(userName, password);
}

// With a host-key sink the window asks about a new key and shows a changed
// one (false: the job ends without logging in); without one a new key is
// recorded and a changed one raised.
bool Connection::KeyConfirmed(const std::string& path) {
    if (hostKeys) {
        HostKeyLookup lookup =
            LookUpHostKey(session->Handle(), path, NetworkAddressText(deviceAddress), port);
        if (lookup.result == HostKeyLookup::Known)
            return true;
        unconfirmedKey = HostKeyQuestion{
            NetworkAddressText(deviceAddress), port,          path, lookup.keyType, lookup.fingerprint,
            lookup.recordedFingerprint,        lookup.keyBlob};
        return false;
    }
    HostKeyVerdict verdict = CheckHostKey(session->Handle(), path, NetworkAddressText(deviceAddress), port);
    if (verdict.recorded) {
        std::string text = LoadTextA(text::link_key_recorded);
        size_t at = text.find("%1");
        if (at != std::string::npos)
            text.replace(at, 2, verdict.fingerprint);
        else
            text += " " + verdict.fingerprint;
        status.ShowText(text);
        Trace("Connection::Connect: recorded %s\n", verdict.fingerprint.c_str());
    }
    return true;
}

void Connection::Disconnect() {
    if (!connected.load(std::memory_order_acquire))
        return;
    status.ShowMessage(text::status_disconnecting);
    CloseSession();
    connected.store(false, std::memory_order_release);
    status.ShowMessage(text::status_not_connected);
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

uint32_t Connection::ReadFactoryConfig() {
    if (!connected.load(std::memory_order_acquire) || !session)
        return 0;
    std::string bytes;
    session->FetchAll("/etc/tavo/factory/config.pb", text::program_download_failed,
                      text::program_download_failed, 4096, bytes);
    return DecodeFactoryConfig(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string VersionText(const VersionInfo& info) {
    std::string text = LoadTextA(text::status_connected_as) + " " + info.userName + "@" +
                       NetworkAddressText(info.deviceAddress);
    if (!info.version.empty())
        text += "; " + LoadTextA(text::status_firmware_version) + ": " + info.version;
    return text + "; " + LoadTextA(text::status_cameras) + ": " + std::to_string(info.cameras);
}

void Connection::QueryVersion() {
    const std::string output = session->RunCommand("/tavo/tavo --version", text::session_command_failed);
    VersionInfo info{userName, deviceAddress, "", 0};
    if (!VersionFromOutput(output, info.version))
        info.version.clear();
    info.cameras = ReadFactoryConfig();
    status.ShowText(VersionText(info));
    result.value = std::move(info);
}

void Connection::ChangePassword() {
    if (!RequireConnection())
        return;
    try {
        SshChannel channel = session->OpenChannel();
        if (!session->MergeStandardError(channel) || !session->Exec(channel, "/tavo/chpass " + userName))
            session->Raise(text::password_change_failed);
        session->ReadUntil(channel, "password:", text::password_change_failed);
        if (!session->WriteAll(channel, password + "\n"))
            session->Raise(text::password_change_failed);
        session->ReadUntil(channel, "password:", text::password_change_failed);
        if (!session->WriteAll(channel, password + "\n"))
            session->Raise(text::password_change_failed);
        // What the command says last is its verdict; its exit status decides.
        const CommandResult rest = session->Collect(channel, text::password_change_failed);
        SshSession::RequireSuccess(rest.exitStatus, text::password_change_failed,
                                   SshSession::LastLine(rest.output));
        status.ShowMessage(text::password_changed);
    } catch (...) {
        status.ShowMessage(text::password_change_failed);
        throw;
    }
}

void Connection::RestartCommand() {
    status.ShowRestart(RestartStage::Restarting, "");
    try {
        session->RunCommandThenGone(RestartCommandText, text::program_restart_failed);
    } catch (...) {
        status.ShowRestart(RestartStage::NotRestarted, "");
        throw;
    }
    restartSent = true;
}

void Connection::Restart() {
    if (!RequireConnection())
        return;
    try {
        status.ShowProgress(0, text::program_restarting);
        RestartCommand();
        uint64_t remembered = 0;
        bool heardAgain = false;
        unsigned i = 0;
        for (; i < 75 && !heardAgain; ++i) {
            if (StopRequested())
                break;
            if (i >= 5) {
                const uint64_t seen = devices.LastSeen(deviceAddress);
                if (i == 5)
                    remembered = seen;
                else if (seen > remembered)
                    heardAgain = true; // the device has announced itself again
            }
            if (heardAgain)
                break;
            status.ShowProgress(i * 100 / 75, StatusSink::kKeepText);
            if (SleepOrStop(timing.restartStep_ms))
                break;
        }
        // A device whose announcements never arrived (gone for good, or on
        // another subnet) is asked once more on a fresh connection.
        if (i == 75 && !heardAgain &&
            !SshServerAnswers(deviceAddress, port, timing.reconnectTimeout_ms, stopEvent) && !StopRequested())
            RaiseError(text::link_restart_timeout);
        status.ShowMessage(text::program_restarted);
    } catch (...) {
        status.ShowMessage(text::program_restart_failed);
        throw;
    }
}

} // namespace korvex

namespace korvex {

// ---- the status sink that remembers the job's last text

void Connection::StatusKeeper::ShowProgress(unsigned percent, unsigned textId) {
    if (textId) {
        std::lock_guard<std::mutex> guard(lock);
        last = LoadTextA(textId);
    }
    shown.ShowProgress(percent, textId);
}

void Connection::StatusKeeper::ShowMessage(unsigned textId) {
    {
        std::lock_guard<std::mutex> guard(lock);
        last = LoadTextA(textId);
    }
    shown.ShowMessage(textId);
}

void Connection::StatusKeeper::ShowText(const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(lock);
        last = text;
    }
    shown.ShowText(text);
}

std::string Connection::StatusKeeper::Last() const {
    std::lock_guard<std::mutex> guard(lock);
    return last;
}

} // namespace korvex
