#pragma once

#include "devicelink/DeviceList.h"
#include "devicelink/DeviceRequests.h"
#include "devicelink/DeviceResults.h"
#include "devicelink/DeviceSinks.h"
#include "framework/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

class ProgramHistory;
class SshSession;
struct ConnectionInternals;

// Job codes of the session thread (its traces name jobs by them).
enum JobCode : int32_t {
    JobNone = 0,
    JobChangePassword = 1,
    JobConnect = 2,
    JobDisconnect = 3,
    JobDownloadRecordings = 4,
    JobReadNetwork = 5,
    JobListFiles = 6,
    JobListHours = 7,
    JobListLevel2 = 8,
    JobListCameras = 9,
    JobRestart = 10,
    JobWriteNetwork = 11,
    JobUploadProgram = 12,
    JobDownloadProgram = 13,
    JobSyncClock = 14,
};

// Pacing and limits of the session. The defaults are the program's; tests
// shorten the waits.
struct ConnectionTiming {
    unsigned livenessPeriod_ms = 12800;   // liveness check while connected (0: none)
    unsigned clockPeriod_ms = 102400;     // clock synchronisation while connected (0: none)
    unsigned restartStep_ms = 1000;       // JobRestart: one of 75 wait steps
    unsigned uploadStep_ms = 533;         // JobUploadProgram: one of 75 wait steps
    unsigned networkStep_ms = 1000;       // JobWriteNetwork: one of 65 wait steps
    unsigned setDateWait_ms = 200;        // after the set-date command
    unsigned connectTimeout_ms = 10000;   // TCP connect
    unsigned reconnectTimeout_ms = 10000; // JobRestart: the device is asked once more after the wait
    unsigned ioTimeout_ms = 30000;        // longest time one SSH call may make no progress
    unsigned keepalive_s = 15;            // SSH keepalive interval once authenticated
    unsigned stopGrace_ms = 1000;      // a stop waits this long for the thread to close the session cleanly
    unsigned reconnectWait_ms = 90000; // after a restart: how long the device may take to answer again
    unsigned reconnectStep_ms = 1000;  // between two asks whether it answers
};

// What a session is given once, when it is made, and keeps for its life.
struct ConnectionSetup {
    StatusSink& status;
    DeviceList& devices;
    // A key that is new or changed ends the connect job before the login
    // and is handed to this sink instead of being recorded (new) or raised
    // (changed); null keeps the command-line ways.
    HostKeySink* hostKeys = nullptr;
    // An upload first keeps the device's current program there; when that
    // fails nothing is sent. Null: nothing is kept.
    ProgramHistory* programHistory = nullptr;
    // Told of every job's result (null: nobody).
    DeviceResultSink* results = nullptr;
    ConnectionTiming timing = {};
    // The PC's UTC time in 100-ns units since 1601-01-01 (empty: the
    // system clock; tests inject one).
    std::function<uint64_t()> utcNow = {};
    // Known-hosts file of connect requests that name none; "" =
    // $XDG_CONFIG_HOME/korvex/known_hosts (~/.config/korvex/known_hosts
    // when XDG_CONFIG_HOME is unset).
    std::string knownHostsPath = {};
    // After a job that restarted the device, wait for it and log in again
    // with the same credentials (the window); false: the session ends with
    // the restart, as the command-line tool wants it.
    bool reconnectAfterRestart = false;
};

// The device session: one SSH connection held by one worker thread. A
// caller posts one request at a time (only while no job is pending); the
// thread, asleep until a request or its next timed duty (the liveness check,
// the clock synchronisation, a keepalive), takes the request over at once,
// runs its job, reports progress through the status sink and its outcome as
// a DeviceResult, and is free again when the job has finished. Everything a
// job reads belongs to the thread while it runs.
class Connection : public Thread {
public:
    explicit Connection(ConnectionSetup setup);
    ~Connection() override;

    // Hands `request` to the session thread and posts its job when no job
    // is pending; false (the pending job and its request untouched)
    // otherwise. The result goes to the setup's result sink only.
    bool Post(DeviceRequest request);
    // The same, for a caller that waits for the result: a refused request
    // gives a future that is ready at once with Outcome::Busy (or Failed
    // for a request no job runs); a session stopped before or during the
    // job gives Outcome::Stopped.
    std::future<DeviceResult> Submit(DeviceRequest request);
    int32_t PendingJob() const { return job.load(std::memory_order_acquire); }
    bool Connected() const { return connected.load(std::memory_order_acquire); }

    const ConnectionTiming& Timing() const { return timing; }
    // How long a stop waits for the thread to say goodbye to the device
    // (any thread; an interrupted command shortens it).
    void SetStopGrace(unsigned ms) { stopGrace_ms.store(ms, std::memory_order_release); }

    // Camera number of the factory record (session thread only; 0 when not
    // connected). A failed fetch raises text::program_download_failed.
    uint32_t ReadFactoryConfig();

    // How many clock synchronisations have run, and how many of them sent
    // the set-date command (for reports; any thread).
    unsigned ClockChecks() const { return clockChecks.load(std::memory_order_acquire); }
    unsigned ClockSettings() const { return clockSettings.load(std::memory_order_acquire); }
    // How many of them failed (the device's date unreadable or failing, its
    // set-date command failing, or its clock not in step after it), and the
    // text of the latest failure.
    unsigned ClockFailures() const { return clockFailures.load(std::memory_order_acquire); }
    std::string ClockError() const;

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    // A request with the promise of the caller that waits for it.
    struct Posted {
        DeviceRequest request;
        std::optional<std::promise<DeviceResult>> promise;
    };
    bool Hand(Posted& posted);
    // Sleeps until a request is posted, the stop is asked for or `deadline`
    // has come; true when a request waits.
    bool WaitForWork(std::chrono::steady_clock::time_point deadline);
    void RunTimedDuties(std::chrono::steady_clock::time_point now);
    void StartTimedDuties();
    void RunPostedJob();
    void TakeRequest();
    void Apply(DeviceRequest& request);
    void EndJob(int32_t code);
    void AbandonMailbox();
    bool RequireConnection();
    void PerformJob();
    void SyncClockNow();
    void EndLostSession();
    void Connect();
    void OpenAndLogIn();
    bool KeyConfirmed(const std::string& keysPath);
    void Disconnect();
    void CloseSession();
    void CheckLiveness();
    // One clock check; false (the reason kept in ClockError) when it failed.
    bool SynchroniseClock();
    void QueryVersion();
    void ChangePassword();
    void Restart();
    // The program an upload replaces, once fetched (bytes absent: the device
    // had none).
    struct PreviousProgram {
        bool fetched = false;
        std::optional<std::string> bytes;
    };
    struct CopyCheck {
        enum State { Ok, Refused, Failed } state = Failed;
        std::string why; // a clause for the messages (no full stop)
    };
    void UploadProgram();
    std::optional<std::string> FetchCurrentProgram(unsigned error);
    CopyCheck CopyAndVerify(const std::string& path, const std::string& bytes,
                            const std::function<void(uint64_t, uint64_t)>& progress);
    void PlaceProgram(PreviousProgram& previous, UploadReport& report);
    void PlaceInPlace(const std::string& bytes, PreviousProgram& previous, UploadReport& report,
                      const std::function<void(uint64_t, uint64_t)>& progress);
    void DownloadProgram();
    void KeepCurrentProgram(PreviousProgram& previous, UploadReport& report);
    void ReopenSession();
    void ListRecordings();
    void DownloadRecordings();
    void FetchRecording(const std::string (&names)[3], const std::string& name, const std::string& folder);
    void ReadNetwork();
    void ReadController(NetworkSnapshot& snapshot);
    bool ReadCameras(NetworkSnapshot& snapshot);
    // One settings file of a network write.
    struct NetworkFile {
        std::string path;
        std::string content;
        std::string setting; // its name in messages
        unsigned error;      // the text of its failure
        bool staged = false; // sent beside its target and verified
    };
    void WriteNetwork();
    std::vector<NetworkFile> NetworkFiles(const WriteNetworkRequest& w) const;
    void StageNetworkFiles(std::vector<NetworkFile>& files, NetworkWriteReport& report);
    void RemoveStaged(const std::vector<NetworkFile>& files, size_t count);
    void ApplyNetwork(const WriteNetworkRequest& w, const std::vector<NetworkFile>& files,
                      NetworkWriteReport& report);
    static std::string NetworkFailure(unsigned error, std::string why, const NetworkWriteReport& report);
    void RestartCommand();
    // After a job that restarted the device: logs in again with the
    // session's credentials once the device answers (ConnectionReconnect.cpp).
    void ReconnectAfterRestart();
    void LogInAgain();

    // The status sink that remembers the job's last status text.
    class StatusKeeper : public StatusSink {
    public:
        explicit StatusKeeper(StatusSink& shown) : shown(shown) {}
        void ShowProgress(unsigned percent, unsigned textId) override;
        void ShowMessage(unsigned textId) override;
        void ShowText(const std::string& text) override;
        void ShowError(const std::string& text) override { shown.ShowError(text); }
        void ShowRestart(RestartStage stage, const std::string& detail) override {
            shown.ShowRestart(stage, detail);
        }
        std::string Last() const;

    private:
        StatusSink& shown;
        mutable std::mutex lock;
        std::string last;
    };

    // Fixed for the session's life.
    StatusKeeper status;
    DeviceList& devices;
    HostKeySink* const hostKeys;
    ProgramHistory* const programHistory;
    DeviceResultSink* const results;
    const ConnectionTiming timing;
    const std::function<uint64_t()> utcNow;
    const std::string defaultKnownHostsPath;
    const bool reconnectAfterRestart;

    std::atomic<int32_t> job{0};
    std::atomic<bool> connected{false};
    std::atomic<unsigned> stopGrace_ms;
    std::atomic<unsigned> clockChecks{0};
    std::atomic<unsigned> clockSettings{0};
    std::atomic<unsigned> clockFailures{0};
    mutable std::mutex clockLock;
    std::string clockError;
    bool sshLibraryStarted = false;
    std::unique_ptr<ConnectionInternals> internals; // the socket shared with Stop
    std::unique_ptr<SshSession> session;
    // Whether Run is under way, so that a stop can give an idle session the
    // moment it needs to say goodbye to the device before the socket is cut.
    std::mutex runLock;
    std::condition_variable runChanged;
    bool runActive = false;
    // The posted job's request, until the thread takes it over; the thread
    // sleeps on `mailboxChanged` between jobs.
    std::mutex mailboxLock;
    std::condition_variable mailboxChanged;
    std::optional<Posted> mailbox;
    bool ended = false; // the thread has ended: nothing is taken any more

    // Session thread only: the running job's request and result, and what
    // the session keeps between jobs.
    Posted current;
    DeviceResult result;
    HostKeyQuestion unconfirmedKey; // the connect job's question for hostKeys
    uint32_t deviceAddress = 0;     // network byte order
    uint16_t port = 22;
    std::string userName;
    std::string password; // also the new password of a password change
    std::string knownHostsPath;
    std::vector<std::string> listed[4]; // the recordings levels last listed
    uint32_t cameraCount = 0;           // camera rows of the last network read
    bool programFolderLocked = false;   // the device refused a new file beside its program
    bool restartSent = false;           // the running job has restarted the device
    // When the timed duties are due next (while connected).
    std::chrono::steady_clock::time_point nextLiveness, nextClock, nextKeepalive;
};

// Helpers of the session that do not need a device (tested on their own).

// UTC calendar time to 100-ns units since 1601-01-01 (milliseconds 0).
uint64_t UtcTo100ns(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second);
// The system clock in the same units.
uint64_t SystemUtc100ns();
// The device's UTC time read from the output of "date -u -Iseconds", in the
// same units; nothing when the output cannot be read as a date.
std::optional<uint64_t> DeviceClock(const std::string& dateOutput);
// The set-date command for the output of "date -u -Iseconds" when the device
// is more than 10 s away from `pcUtc100ns`; "" when it must be left alone
// (in step, or output that cannot be read).
std::string ClockCommand(const std::string& dateOutput, uint64_t pcUtc100ns);

} // namespace korvex
