#pragma once

#include "devicelink/DeviceList.h"
#include "devicelink/DeviceRequests.h"
#include "devicelink/DeviceSinks.h"
#include "framework/Thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

class ProgramHistory;
class SshSession;
struct ConnectionInternals;

// Job codes of the session thread; any other non-zero value is cleared unrun.
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
};

// Pacing and limits of the session. The defaults are the program's; tests
// shorten the waits.
struct ConnectionTiming {
    unsigned poll_ms = 100;               // one round of the thread loop
    unsigned livenessRounds = 128;        // liveness check every this many rounds
    unsigned clockRounds = 1024;          // clock synchronisation every this many rounds
    unsigned restartStep_ms = 1000;       // JobRestart: one of 75 wait steps
    unsigned uploadStep_ms = 533;         // JobUploadProgram: one of 75 wait steps
    unsigned networkStep_ms = 1000;       // JobWriteNetwork: one of 65 wait steps
    unsigned setDateWait_ms = 200;        // after the set-date command
    unsigned connectTimeout_ms = 10000;   // TCP connect
    unsigned reconnectTimeout_ms = 10000; // JobRestart: the device is asked once more after the wait
    unsigned ioTimeout_ms = 30000;        // longest time one SSH call may make no progress
    unsigned keepalive_s = 15;            // SSH keepalive interval once authenticated
    unsigned stopGrace_ms = 1000; // a stop waits this long for the thread to close the session cleanly
};

// The device session: one SSH connection held by one worker thread, driven
// by job codes. The user-interface side fills the request fields, then posts
// a job code with Post (only while `job` is 0); the thread picks it up
// within one round (100 ms), runs it, reports through the sinks and clears
// `job` when the job has finished.
class Connection : public Thread {
public:
    Connection(StatusSink& statusBar, DeviceList& explorer);
    ~Connection() override;

    // Writes `code` into `job` (release) when `job` is 0; false otherwise.
    bool Post(int32_t code);
    // Hands `request` to the session thread and posts its job when no job
    // is pending; false (the pending job and its request untouched)
    // otherwise. The thread takes the request over when it starts the job;
    // the sinks it names are used for that job only.
    bool Post(DeviceRequest request);
    int32_t PendingJob() const { return job.load(std::memory_order_acquire); }
    bool Connected() const { return connected.load(std::memory_order_acquire); }

    // Camera number of the factory record (session thread only; 0 when not
    // connected). A failed fetch raises text::program_download_failed.
    uint32_t ReadFactoryConfig();

    // The round counter of the loop (tests move it near a multiple of 128
    // or 1024 instead of waiting minutes).
    void SetRound(uint32_t value) { round.store(value, std::memory_order_release); }
    uint32_t Round() const { return round.load(std::memory_order_acquire); }
    // How many clock synchronisations have run, and how many of them sent
    // the set-date command (for reports; any thread).
    unsigned ClockChecks() const { return clockChecks.load(std::memory_order_acquire); }
    unsigned ClockSettings() const { return clockSettings.load(std::memory_order_acquire); }
    // How many of them failed (the device's date unreadable or failing, its
    // set-date command failing, or its clock not in step after it), and the
    // text of the latest failure.
    unsigned ClockFailures() const { return clockFailures.load(std::memory_order_acquire); }
    std::string ClockError() const;

    // Network settings request (host order: first octet in the top byte).
    uint32_t ipAddress = 0;
    uint32_t netmask = 0;
    uint32_t gateway = 0;
    uint32_t controllerAddress = 0; // 0xFFFFFFFF = no controller
    uint32_t cameraAddress[8] = {};
    uint32_t cameraChannel[8] = {};
    uint32_t cameraCount = 0;
    std::string passText;

    // Dialog sinks of the job that is posted (set before posting).
    RecordingsSink* recordingsDialog = nullptr;
    NetworkSettingsSink* networkDialog = nullptr;
    FileChooser* fileChooser = nullptr;

    // Set once before the thread starts; null keeps the command-line ways.
    // hostKeys: a key that is new or changed ends the connect job before
    // the login and is handed to this sink instead of being recorded (new)
    // or raised (changed).
    HostKeySink* hostKeys = nullptr;
    // programHistory: an upload (JobUploadProgram) first keeps the device's current
    // program there; when that fails nothing is sent.
    ProgramHistory* programHistory = nullptr;

    // Connect request.
    uint32_t deviceAddress = 0; // network byte order (first octet in the lowest byte)
    uint16_t port = 22;         // SSH port of the device
    std::string userName;
    std::string password; // also the new password of JobChangePassword

    std::vector<uint8_t> uploadPayload; // JobUploadProgram

    // Recordings browser: local folder ("" or ending in "/" or "\"), the
    // selections of lists 1090, 1015, 1091 (-1 = none) and of the file list,
    // as the dialog reports them when it posts a job.
    std::string localFolder;
    int selectedLevel[3] = {-1, -1, -1};
    std::vector<int> selectedFiles;
    std::vector<std::string> cameraDirs;
    std::vector<std::string> level2Dirs;
    std::vector<std::string> hourDirs;
    std::vector<std::string> mp4Files;

    ConnectionTiming timing;
    // The PC's UTC time in 100-ns units since 1601-01-01 (tests inject one).
    std::function<uint64_t()> utcNow;
    // Known-hosts file; "" = $XDG_CONFIG_HOME/korvex/known_hosts
    // (~/.config/korvex/known_hosts when XDG_CONFIG_HOME is unset).
    std::string knownHostsPath;

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    void PerformJob(int32_t code);
    void TakeRequest();
    void Apply(DeviceRequest& request);
    void DropRequestSinks();
    void EndLostSession();
    void Connect();
    void Disconnect();
    void CloseSession();
    void CheckLiveness();
    void SynchroniseClock();
    void QueryVersion(std::string statusText);
    void ChangePassword();
    void Restart();
    void UploadProgram();
    void PlaceProgram();
    void DownloadProgram();
    void KeepCurrentProgram();
    void ListRecordings(int32_t code);
    void DownloadRecordings();
    void ReadNetwork();
    void ShowController(NetworkSettingsSink& dialog);
    bool ShowCameras(NetworkSettingsSink& dialog);
    void WriteNetwork();
    void RestartCommand();

    StatusSink& statusBar;
    DeviceList& explorer;
    std::atomic<int32_t> job{0};
    std::atomic<bool> connected{false};
    std::atomic<uint32_t> round{0};
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
    HostKeyQuestion unconfirmedKey; // the connect job's question for hostKeys
    // The request of the posted job, until the thread takes it over.
    std::mutex mailboxLock;
    std::optional<DeviceRequest> mailbox;
    bool requestSinks = false; // the running job's sinks came with its request
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
