#pragma once

// korvex-cli device on one device: the session the command runs in, the
// sinks that collect what the device's jobs report, where the command's
// messages go, and what a command was given.

#include "cli/DeviceResult.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/ScanThread.h"
#include "framework/StringTable.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvex::cli::device {

// Breaks a device command off. Set from another thread (the fleet's
// coordinator, the watcher of Ctrl+C), it wakes a session's wait at once.
class CancelFlag {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> g(lock);
            set = true;
        }
        changed.notify_all();
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> g(lock);
        return set;
    }
    void Reset() {
        std::lock_guard<std::mutex> g(lock);
        set = false;
    }
    // Runs `note` under the lock and wakes the waiters (a job has ended).
    template <typename F> void Wake(F note) {
        {
            std::lock_guard<std::mutex> g(lock);
            note();
        }
        changed.notify_all();
    }
    // Waits until `ready()` (checked under the lock) or the flag is set;
    // true when it was set.
    template <typename P> bool WaitUntil(P ready) {
        std::unique_lock<std::mutex> g(lock);
        changed.wait(g, [&] { return set || ready(); });
        return set;
    }

private:
    mutable std::mutex lock;
    std::condition_variable changed;
    bool set = false;
};

// Set by SIGINT and SIGTERM (through their watcher) while a command runs on
// one device.
extern CancelFlag interrupted;

// Where a command's messages go: on one device straight to standard error,
// in a fleet into the device's result. Called from the session thread too.
class Diagnostics {
public:
    virtual ~Diagnostics() = default;
    // A failure or refusal; standard error reads "korvex-cli: TEXT".
    virtual void Error(const std::string& text) = 0;
    // A line worth seeing as it is (a newly recorded key, a kept program).
    virtual void Note(const std::string& line) = 0;
};

class StderrDiagnostics : public Diagnostics {
public:
    void Error(const std::string& text) override { std::fprintf(stderr, "korvex-cli: %s\n", text.c_str()); }
    void Note(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
};

// Keeps the messages in the order they came.
class CollectedDiagnostics : public Diagnostics {
public:
    void Error(const std::string& text) override { Add(text); }
    void Note(const std::string& line) override { Add(line); }
    std::vector<std::string> Messages() {
        std::lock_guard<std::mutex> g(lock);
        return messages;
    }

private:
    void Add(const std::string& text) {
        std::lock_guard<std::mutex> g(lock);
        messages.push_back(text);
    }
    std::mutex lock;
    std::vector<std::string> messages;
};

// Status texts and progress: progress is drawn on stderr when it is a
// terminal; the last status text is what the command prints at the end.
class CliStatus : public StatusSink {
public:
    CliStatus(Diagnostics& say, bool drawProgress) : say(say), drawProgress(drawProgress) {}

    void ShowProgress(unsigned percent, unsigned textId) override;
    void ShowMessage(unsigned textId) override { SetText(LoadTextA(textId)); }
    void ShowText(const std::string& newText) override;
    void ShowError(const std::string& error) override {
        std::lock_guard<std::mutex> g(lock);
        errors.push_back(error);
    }

    std::string Text() {
        std::lock_guard<std::mutex> g(lock);
        return text;
    }
    std::vector<std::string> TakeErrors() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<std::string> taken;
        taken.swap(errors);
        return taken;
    }
    void EndProgress();

private:
    void SetText(const std::string& newText) {
        std::lock_guard<std::mutex> g(lock);
        text = newText;
    }
    Diagnostics& say;
    std::mutex lock;
    bool drawProgress;
    bool progressShown = false;
    std::string text;
    std::vector<std::string> errors;
};

bool ParseHostAddress(const std::string& text, uint32_t& hostOrder);

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value);

// What a session is opened with.
struct SessionSetup {
    Diagnostics& say;
    DeviceList& devices;
    ProgramHistory& history; // an upload keeps the replaced program there
    CancelFlag& cancel;      // set to break the session off
    bool endProgramOnCancel; // one device: the whole program ends within a second
    bool drawProgress;
};

// One session for the whole command.
class Session : private DeviceResultSink {
public:
    explicit Session(const SessionSetup& setup);
    ~Session() {
        connection.Stop();
        status.EndProgress();
    }

    void Start() { connection.Start(); }
    bool Connected() const { return connection.Connected(); }
    bool Cancelled() const { return cancel.IsSet(); }
    CliStatus& Status() { return status; }
    Diagnostics& Say() { return say; }

    // Posts a request and waits for its job; false (error said) when it
    // failed or the session was broken off.
    bool Run(DeviceRequest request);
    // The result of the job Run waited for last.
    const DeviceResult& LastResult() const { return last; }

private:
    void JobEnded(const DeviceResult& result) override;
    bool BreakOff();
    static void EndSoon();
    Diagnostics& say;
    CancelFlag& cancel;
    const bool endProgramOnCancel;
    const ConnectionTiming timing;
    CliStatus status;
    Connection connection;
    std::set<std::string> said;
    DeviceResult last;
    bool jobEnded = false; // under the cancel flag's lock
};

// Selects the entries named by `parts` (CAM, DAY, HOUR; fewer allowed)
// level by level; false (error said) when a name is not on the device.
// `place` holds the selections, `listing` the last level listed.
bool Walk(Session& session, const std::vector<std::string>& parts, ListLevelRequest& place, Listing& listing);

std::vector<std::string> SplitPath(const std::string& path);

std::vector<std::string> SplitLines(const std::string& text);

std::string LocalFolder(const std::string& dir);

// What a device command was given: the device, then the command word with
// its own arguments, checked before anything is asked or sent.
struct Request {
    std::string host;
    uint32_t hostOrder = 0;
    uint16_t port = 22;
    std::string user;
    std::string knownHosts;
    std::string word;
    std::vector<std::string> rest; // the words after the command word
    std::string password;

    std::string file, toDir, ip, netmask, gateway, controller, pass;
    bool passGiven = false;
    bool force = false;
    std::map<unsigned, std::string> cameras;
    std::vector<std::string> recordingArgs;
    uint16_t announcePort = ScanThread::DefaultPort;
    std::string newPassword;
    std::vector<uint8_t> payload;
};

// What a command's run works with, and what it gives back.
struct Run {
    Session& session;
    ProgramHistory& history;
    Request& r;
    DeviceResult value;           // what the command prints
    bool connectSucceeded = true; // the connect job's own reads (version, cameras) too
    Diagnostics& say() { return session.Say(); }
    CliStatus& status() { return session.Status(); }
    // Says `text` and returns `code`.
    int Fail(const std::string& text, int code);
};

} // namespace korvex::cli::device
