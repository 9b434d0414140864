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
#include <cstdio>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvex::cli::device {

// Set by SIGINT and SIGTERM while a command runs on one device.
extern std::atomic<bool> interrupted;
extern "C" void OnInterrupt(int);

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

class CliNetwork : public NetworkSettingsSink {
public:
    void SetAddress(int control, uint32_t address) override { addresses[control] = address; }
    void SetText(int control, const std::string& text) override { texts[control] = text; }
    void SetChecked(int control, bool value) override { checked[control] = value; }
    void Enable(int, bool) override {}
    void SetMissing(int control) override {
        addresses.erase(control);
        missing[control] = true;
    }
    void Snapshot(const korvex::NetworkSnapshot& snapshot) override { cameraCount = snapshot.cameraCount; }
    // The address of a control as network-show gives it.
    std::string Shown(int control) {
        if (missing[control])
            return "missing";
        return HostAddressText(addresses[control]);
    }
    // The settings as read, as network-show gives them.
    NetworkPrintout Printout();

    std::map<int, bool> missing;
    std::map<int, uint32_t> addresses;
    std::map<int, std::string> texts;
    std::map<int, bool> checked;
    uint32_t cameraCount = 0;
};

class CliLists : public RecordingsSink {
public:
    void SetLines(int level, const std::vector<std::string>& newLines) override { lines[level] = newLines; }
    void ReplaceLine(int level, size_t index, const std::string& line, bool) override {
        if (index < lines[level].size())
            lines[level][index] = line;
    }
    void Listed(const Listing& listing) override { names[listing.level] = listing.names; }
    std::map<int, std::vector<std::string>> lines;
    std::map<int, std::vector<std::string>> names;
};

class FixedChooser : public FileChooser {
public:
    explicit FixedChooser(std::string path) : path(std::move(path)) {}
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return path; }

private:
    std::string path;
};

bool ParseHostAddress(const std::string& text, uint32_t& hostOrder);

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value);

// What a session is opened with.
struct SessionSetup {
    Diagnostics& say;
    DeviceList& devices;
    ProgramHistory& history;   // an upload keeps the replaced program there
    std::atomic<bool>& cancel; // set to break the session off
    bool endProgramOnCancel;   // one device: the whole program ends within a second
    bool drawProgress;
};

// One session for the whole command.
class Session {
public:
    explicit Session(const SessionSetup& setup);
    ~Session() {
        connection.Stop();
        status.EndProgress();
    }

    void Start() { connection.Start(); }
    bool Connected() const { return connection.Connected(); }
    bool Cancelled() const { return cancel.load(); }
    Connection& Get() { return connection; }
    const ConnectionTiming& Timing() const { return timing; }
    CliStatus& Status() { return status; }
    Diagnostics& Say() { return say; }

    // Posts a request and waits for its job; false (error said) when it
    // failed or the session was broken off.
    bool Run(DeviceRequest request);
    // The result of the job Run waited for last.
    const DeviceResult& LastResult() const { return last; }

private:
    bool BreakOff();
    static void EndSoon();
    Diagnostics& say;
    std::atomic<bool>& cancel;
    const bool endProgramOnCancel;
    const ConnectionTiming timing;
    CliStatus status;
    Connection connection;
    std::set<std::string> said;
    DeviceResult last;
};

// Selects the entries named by `parts` (CAM, DAY, HOUR; fewer allowed)
// level by level, each listing going to `place`'s sink; false (error said)
// when a name is not on the device. `place` holds the selections.
bool Walk(Session& session, CliLists& lists, const std::vector<std::string>& parts, ListLevelRequest& place);

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
    ResultValue value;
    bool connectSucceeded = true; // the connect job's own reads (version, cameras) too
    Diagnostics& say() { return session.Say(); }
    CliStatus& status() { return session.Status(); }
    // Says `text` and returns `code`.
    int Fail(const std::string& text, int code);
};

} // namespace korvex::cli::device
