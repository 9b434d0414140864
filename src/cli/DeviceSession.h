#pragma once

// korvex-cli device on one device: the session the command runs in, the
// sinks that collect what the device's jobs report, and what a command was
// given.

#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/ScanThread.h"
#include "framework/StringTable.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvex::cli::device {

// Set by SIGINT and SIGTERM while a command runs.
extern std::atomic<bool> interrupted;
extern "C" void OnInterrupt(int);

// Status texts and progress: progress is drawn on stderr when it is a
// terminal; the last status text is what the command prints at the end.
class CliStatus : public StatusSink {
public:
    explicit CliStatus(bool drawProgress) : drawProgress(drawProgress) {}

    void ShowProgress(unsigned percent, unsigned textId) override {
        std::lock_guard<std::mutex> g(lock);
        if (textId)
            text = LoadTextA(textId);
        if (drawProgress) {
            std::fprintf(stderr, "\r%s %3u%%\x1b[K", text.c_str(), percent);
            progressShown = true;
        }
    }
    void ShowMessage(unsigned textId) override { SetText(LoadTextA(textId)); }
    void ShowText(const std::string& newText) override {
        // The fingerprint of a newly recorded key is worth seeing even when
        // a later text replaces it.
        if (newText.find("SHA256:") != std::string::npos) {
            EndProgress();
            std::fprintf(stderr, "%s\n", newText.c_str());
        }
        SetText(newText);
    }
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
    void EndProgress() {
        std::lock_guard<std::mutex> g(lock);
        if (progressShown)
            std::fprintf(stderr, "\r\x1b[K");
        progressShown = false;
    }

private:
    void SetText(const std::string& newText) {
        std::lock_guard<std::mutex> g(lock);
        text = newText;
    }
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
    void Snapshot(const NetworkSnapshot& snapshot) override { cameraCount = snapshot.cameraCount; }
    // The address of a control as network-show prints it.
    std::string Shown(int control) {
        if (missing[control])
            return "missing";
        return HostAddressText(addresses[control]);
    }

    std::map<int, bool> missing;
    std::map<int, uint32_t> addresses;
    std::map<int, std::string> texts;
    std::map<int, bool> checked;
    uint32_t cameraCount = 0; // camera rows in use
};

class CliLists : public RecordingsSink {
public:
    void SetLines(int level, const std::vector<std::string>& newLines) override { lines[level] = newLines; }
    void ReplaceLine(int level, size_t index, const std::string& line, bool) override {
        if (index < lines[level].size())
            lines[level][index] = line;
    }
    std::map<int, std::vector<std::string>> lines;
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

// One session for the whole command.
class Session {
public:
    Session(CliStatus& status, DeviceList& devices, ProgramHistory* history = nullptr)
        : status(status),
          connection(ConnectionSetup{.status = status, .devices = devices, .programHistory = history}) {}
    ~Session() {
        connection.Stop();
        status.EndProgress();
    }

    Connection& Get() { return connection; }

    void Start() { connection.Start(); }

    // Posts a request and waits for its job; false (error printed) when
    // it failed.
    bool Run(DeviceRequest request);
    // The names of a recordings level as last listed.
    const std::vector<std::string>& Listed(int level) const { return listed[level]; }

private:
    static void EndSoon();
    bool Fail(const char* text);
    CliStatus& status;
    Connection connection;
    std::set<std::string> printed;
    std::vector<std::string> listed[4];
};

// Selects the entries named by `path` ("CAM/DAY/HOUR", fewer parts allowed)
// level by level, each listing going to `place`'s sink; false (error
// printed) when a name is not on the device. `place` holds the selections.
bool Walk(Session& session, const std::vector<std::string>& parts, ListLevelRequest& place);

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

// What a command's run works with.
struct Run {
    Session& session;
    CliStatus& status;
    ProgramHistory& history;
    Request& r;
    Connection& c() { return session.Get(); }
};

} // namespace korvex::cli::device
