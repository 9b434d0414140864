// korvex-cli device: runs the device session's jobs from the command line,
// exactly as the program's dialogs post them.
#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Secrets.h"

#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/NetworkSettings.h"
#include "devicelink/ProgramHistory.h"
#include "devicelink/ScanThread.h"
#include "framework/BinaryFile.h"
#include "framework/StringTable.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unistd.h>

namespace korvex::cli {
namespace {

const char* const Usage =
    "usage: korvex-cli device --host ADDR [--port N] --user NAME [--known-hosts FILE] COMMAND ...\n"
    "       korvex-cli device --hosts FILE|- --user NAME [--parallel N] [--timeout S] COMMAND ...\n"
    "\n"
    "With --hosts the command runs on every device of the list (one HOST[:PORT] a\n"
    "line, # comments), N at a time (default 8), and prints one JSON line per\n"
    "device; 'korvex-cli device --hosts --help' tells more.\n"
    "\n"
    "The password comes from KORVEX_PASSWORD or is asked on the terminal.\n"
    "\n"
    "commands:\n"
    "  version                         connect and show the device's status text\n"
    "  upload FILE.kvx                 keep the device's program, send FILE and restart the device\n"
    "  history                         list the kept programs of the device, newest first\n"
    "  restore                         upload the newest kept program back (keeping the one it replaces)\n"
    "  download FILE.kvx               fetch the device's program\n"
    "  restart [--announce-port N]     restart and wait for the device to announce itself\n"
    "  network-show                    show the network settings\n"
    "  network-set --ip A --netmask M --gateway G [--controller A|none]\n"
    "              [--camera I=ADDR[?channel=N]]... [--pass TEXT] [--force]\n"
    "                                  write the network settings and restart;\n"
    "                                  a gateway outside the device's network\n"
    "                                  needs --force\n"
    "  passwd                          change the password (KORVEX_NEW_PASSWORD or asked twice)\n"
    "  recordings ls [CAM[/DAY[/HOUR]]] [--to DIR]\n"
    "                                  list recordings; \"  [S]\" marks copies in DIR\n"
    "  recordings get CAM/DAY/HOUR FILE... --to DIR\n"
    "                                  copy recordings into DIR/CAM/DAY/HOUR/\n"
    "  sync-clock                      set the device clock if it is more than 10 s off\n";

std::atomic<Connection*> running{nullptr};
std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) { interrupted.store(true); }

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

bool ParseHostAddress(const std::string& text, uint32_t& hostOrder) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    hostOrder = ntohl(a.s_addr);
    return true;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    value = std::stoul(text);
    return value <= max;
}

// One session for the whole command.
class Session {
public:
    Session(CliStatus& status, DeviceList& devices) : status(status), connection(status, devices) {}
    ~Session() {
        running.store(nullptr);
        connection.Stop();
        status.EndProgress();
    }

    Connection& Get() { return connection; }

    void Start() {
        running.store(&connection);
        connection.Start();
    }

    // Posts a job and waits for it; false (error printed) when it failed.
    bool Run(int32_t code) {
        if (!connection.Post(code))
            return Fail("the session is busy");
        while (connection.PendingJob() != 0) {
            if (interrupted.load()) {
                status.EndProgress();
                Fail("interrupted");
                EndSoon();
                connection.timing.stopGrace_ms = 200; // no time for a polite goodbye
                connection.Stop(); // breaks a blocked transfer off
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        status.EndProgress();
        const auto errors = status.TakeErrors();
        // One message per failure: a file the device cannot give (its
        // factory record, say) fails the connect's version query and again
        // the job that needs it, and is said once.
        for (const auto& e : errors)
            if (printed.insert(e).second)
                std::fprintf(stderr, "korvex-cli: %s\n", e.c_str());
        return errors.empty();
    }

private:
    // Ctrl+C ends the program within a second whatever the session is
    // waiting for: the worker is told to stop, and should it not be done
    // in time the process ends without it.
    static void EndSoon() {
        std::fflush(nullptr);
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
            std::_Exit(ExitFailure);
        }).detach();
    }
    bool Fail(const char* text) {
        std::fprintf(stderr, "korvex-cli: %s\n", text);
        return false;
    }
    CliStatus& status;
    Connection connection;
    std::set<std::string> printed;
};

struct Arguments {
    std::string host;
    uint16_t port = 22;
    std::string user;
    std::string knownHosts;
    std::vector<std::string> command; // the command word and what follows
};

// Selects the entries named by `path` ("CAM/DAY/HOUR", fewer parts allowed)
// level by level; false (error printed) when a name is not on the device.
bool Walk(Session& session, const std::vector<std::string>& parts) {
    Connection& c = session.Get();
    if (!session.Run(JobListCameras))
        return false;
    const std::vector<std::string>* levels[3] = {&c.cameraDirs, &c.level2Dirs, &c.hourDirs};
    const int32_t next[3] = {JobListLevel2, JobListHours, JobListFiles};
    for (size_t l = 0; l < parts.size() && l < 3; ++l) {
        const auto& names = *levels[l];
        int index = -1;
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == parts[l])
                index = static_cast<int>(i);
        if (index < 0) {
            std::fprintf(stderr, "korvex-cli: no folder '%s' on the device\n", parts[l].c_str());
            return false;
        }
        c.selectedLevel[l] = index;
        if (!session.Run(next[l]))
            return false;
    }
    return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > pos)
            parts.push_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

std::string LocalFolder(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

int RunDevice(const std::vector<std::string>& args) {
    if (NamesHostList(args))
        return RunDeviceFleet(args);
    if (WantsHelp(args)) {
        std::printf("%s", Usage);
        return ExitOk;
    }
    Arguments a;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--host") {
            if (!value(a.host))
                return UsageError("--host needs an address");
        } else if (arg == "--port") {
            unsigned long port = 0;
            if (!value(text) || !ParseNumber(text, 65535, port) || port == 0)
                return UsageError("--port needs a number from 1 to 65535");
            a.port = static_cast<uint16_t>(port);
        } else if (arg == "--user") {
            if (!value(a.user))
                return UsageError("--user needs a name");
        } else if (arg == "--known-hosts") {
            if (!value(a.knownHosts))
                return UsageError("--known-hosts needs a file");
        } else if (arg == "--password" || arg.rfind("--password=", 0) == 0) {
            return UsageError("the password is never taken from the command line; set KORVEX_PASSWORD");
        } else if (arg.rfind("--", 0) == 0) {
            return UsageError("unknown option " + arg + "\n" + Usage);
        } else {
            break;
        }
    }
    a.command.assign(args.begin() + static_cast<long>(i), args.end());
    uint32_t hostOrder = 0;
    if (a.host.empty() || !ParseHostAddress(a.host, hostOrder))
        return UsageError(std::string("--host needs an IPv4 address\n") + Usage);
    if (a.user.empty() || a.user.size() > 99)
        return UsageError(std::string("--user needs a name of at most 99 characters\n") + Usage);
    if (a.command.empty())
        return UsageError(std::string("no command given\n") + Usage);
    const std::string word = a.command[0];
    const std::vector<std::string> rest(a.command.begin() + 1, a.command.end());

    // Check the command's own arguments before asking for anything.
    std::string file, toDir, ip, netmask, gateway, controller, pass;
    bool passGiven = false;
    bool force = false;
    std::map<unsigned, std::string> cameras;
    std::vector<std::string> recordingArgs;
    uint16_t announcePort = ScanThread::DefaultPort;
    if (word == "version" || word == "network-show" || word == "passwd" || word == "sync-clock" ||
        word == "history" || word == "restore") {
        if (!rest.empty())
            return UsageError(word + " takes no arguments");
    } else if (word == "upload" || word == "download") {
        if (rest.size() != 1)
            return UsageError(word + " needs one FILE.kvx");
        file = rest[0];
    } else if (word == "restart") {
        if (rest.size() == 2 && rest[0] == "--announce-port") {
            unsigned long port = 0;
            if (!ParseNumber(rest[1], 65535, port) || port == 0)
                return UsageError("--announce-port needs a number from 1 to 65535");
            announcePort = static_cast<uint16_t>(port);
        } else if (!rest.empty()) {
            return UsageError("restart takes only --announce-port N");
        }
    } else if (word == "network-set") {
        for (size_t k = 0; k < rest.size(); ++k) {
            const std::string& o = rest[k];
            if (o == "--force") {
                force = true;
                continue;
            }
            if (k + 1 >= rest.size())
                return UsageError(o + " needs a value");
            const std::string& v = rest[++k];
            if (o == "--ip")
                ip = v;
            else if (o == "--netmask")
                netmask = v;
            else if (o == "--gateway")
                gateway = v;
            else if (o == "--controller")
                controller = v;
            else if (o == "--pass") {
                pass = v;
                passGiven = true;
            } else if (o == "--camera") {
                size_t eq = v.find('=');
                unsigned long index = 0;
                if (eq == std::string::npos || !ParseNumber(v.substr(0, eq), 3, index))
                    return UsageError("--camera needs I=ADDR[?channel=N] with I from 0 to 3");
                cameras[static_cast<unsigned>(index)] = v.substr(eq + 1);
            } else
                return UsageError("unknown network-set option " + o);
        }
        if (ip.empty() || netmask.empty() || gateway.empty())
            return UsageError("network-set needs --ip, --netmask and --gateway");
        uint32_t dummy = 0;
        for (const std::string* t : {&ip, &netmask, &gateway})
            if (!ParseHostAddress(*t, dummy))
                return UsageError("'" + *t + "' is not an IPv4 address");
        // Settings that would cut the device off are refused before the
        // device is even asked; a gateway outside its network only with
        // --force.
        uint32_t a = 0, m = 0, g = 0;
        ParseHostAddress(ip, a);
        ParseHostAddress(netmask, m);
        ParseHostAddress(gateway, g);
        const NetworkCheck check = ValidateNetworkSettings(a, m, g);
        if (check.Refused())
            return UsageError(check.error);
        if (!check.warning.empty() && !force)
            return UsageError(check.warning + "\nGive --force to write it all the same.");
        if (!controller.empty() && controller != "none" && !ParseHostAddress(controller, dummy))
            return UsageError("--controller needs an IPv4 address or none");
        for (const auto& [index, text] : cameras) {
            const size_t q = text.find("?channel=");
            unsigned long channel = 0;
            if (!ParseHostAddress(text.substr(0, q), dummy) ||
                (q != std::string::npos && !ParseNumber(text.substr(q + 9), 0xFFFFFFFFul, channel)))
                return UsageError("--camera " + std::to_string(index) + "=" + text + ": not ADDR[?channel=N]");
        }
        if (pass.size() > 99)
            return UsageError("--pass holds at most 99 characters");
    } else if (word == "recordings") {
        if (rest.empty() || (rest[0] != "ls" && rest[0] != "get"))
            return UsageError("recordings needs ls or get");
        for (size_t k = 1; k < rest.size(); ++k) {
            if (rest[k] == "--to") {
                if (k + 1 >= rest.size())
                    return UsageError("--to needs a folder");
                toDir = rest[++k];
            } else {
                recordingArgs.push_back(rest[k]);
            }
        }
        if (rest[0] == "ls" && recordingArgs.size() > 1)
            return UsageError("recordings ls takes at most one CAM[/DAY[/HOUR]]");
        if (rest[0] == "get" && (recordingArgs.size() < 2 || toDir.empty() ||
                                 SplitPath(recordingArgs[0]).size() != 3))
            return UsageError("recordings get needs CAM/DAY/HOUR, at least one FILE and --to DIR");
    } else {
        return UsageError("unknown device command '" + word + "'\n" + Usage);
    }

    // The kept programs are on this computer: listing them needs no device.
    ProgramHistory history;
    if (word == "history") {
        for (const ProgramHistory::Entry& entry : history.List(a.host))
            std::printf("%s\t%llu bytes\n", entry.path.c_str(), static_cast<unsigned long long>(entry.size));
        return ExitOk;
    }
    if (word == "restore") {
        const std::vector<ProgramHistory::Entry> kept = history.List(a.host);
        if (kept.empty())
            return Failure(LoadTextA(2604));
        file = kept.front().path;
    }

    std::optional<std::string> password = Secret("KORVEX_PASSWORD", "Password: ");
    if (!password)
        return UsageError("no password: set KORVEX_PASSWORD or run on a terminal");
    std::string newPassword;
    if (word == "passwd") {
        if (const char* given = std::getenv("KORVEX_NEW_PASSWORD")) {
            newPassword = given;
        } else {
            auto first = AskHidden("New password: ");
            auto second = AskHidden("Retype new password: ");
            if (!first || !second)
                return UsageError("no new password: set KORVEX_NEW_PASSWORD or run on a terminal");
            if (*first != *second)
                return Failure(LoadTextA(168));
            newPassword = *first;
        }
        if (newPassword.size() > 99)
            return UsageError("the new password holds at most 99 characters");
    }
    std::vector<uint8_t> payload;
    if (word == "upload" || word == "restore")
        payload = BinaryFile::ReadAll(file);

    interrupted.store(false);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGPIPE, SIG_IGN);

    CliStatus status(StderrIsTerminal());
    DeviceList devices;
    std::optional<ScanThread> scan;
    if (word == "restart") {
        scan.emplace(devices, announcePort); // lets the wait end when the device is back
        scan->Start();
    }
    int result = ExitOk;
    {
        Session session(status, devices);
        Connection& c = session.Get();
        c.deviceAddress = htonl(hostOrder);
        c.port = a.port;
        c.userName = a.user;
        c.password = *password;
        c.knownHostsPath = a.knownHosts;
        session.Start();
        // A failed version query after a good login is reported (on
        // stderr) but leaves the session connected, as in the program.
        if (!session.Run(JobConnect) && !c.Connected())
            result = ExitFailure;
        else if (word == "version") {
            std::printf("%s\n", status.Text().c_str());
        } else if (word == "upload" || word == "restore") {
            c.uploadPayload = std::move(payload);
            c.programHistory = &history;
            auto newest = [&] {
                const auto kept = history.List(a.host);
                return kept.empty() ? std::string() : kept.front().path;
            };
            const std::string before = newest();
            result = session.Run(JobUploadProgram) ? ExitOk : ExitFailure;
            if (const std::string after = newest(); after != before)
                std::fprintf(stderr, "%s %s\n", LoadTextA(2605).c_str(), after.c_str());
        } else if (word == "download") {
            FixedChooser chooser(file);
            c.fileChooser = &chooser;
            result = session.Run(JobDownloadProgram) ? ExitOk : ExitFailure;
            c.fileChooser = nullptr;
        } else if (word == "restart") {
            result = session.Run(JobRestart) ? ExitOk : ExitFailure;
        } else if (word == "passwd") {
            c.password = newPassword;
            result = session.Run(JobChangePassword) ? ExitOk : ExitFailure;
        } else if (word == "sync-clock") {
            const unsigned checks = c.ClockChecks();
            const unsigned settings = c.ClockSettings();
            const unsigned failures = c.ClockFailures();
            c.SetRound(c.timing.clockRounds - 1);
            while (c.ClockChecks() == checks && c.Connected() && !interrupted.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (c.ClockChecks() == checks) {
                std::fprintf(stderr, "korvex-cli: the clock could not be checked\n");
                result = ExitFailure;
            } else if (c.ClockFailures() != failures) {
                std::fprintf(stderr, "korvex-cli: %s\n", c.ClockError().c_str());
                result = ExitFailure;
            } else {
                std::printf("%s\n", c.ClockSettings() != settings ? "device clock set" : "device clock in step");
            }
        } else if (word == "network-show" || word == "network-set") {
            CliNetwork dialog;
            c.networkDialog = &dialog;
            if (!session.Run(JobReadNetwork)) {
                result = ExitFailure;
            } else if (word == "network-show") {
                using C = NetworkSettingsSink;
                std::printf("ipaddr: %s\n", dialog.Shown(C::DeviceAddress).c_str());
                std::printf("netmask: %s\n", dialog.Shown(C::Netmask).c_str());
                std::printf("gateway: %s\n", dialog.Shown(C::Gateway).c_str());
                std::printf("hwaddr: %s\n", dialog.texts[C::HardwareAddress].c_str());
                std::printf("controller: %s\n",
                            dialog.checked[C::ControllerUsed] ? dialog.Shown(C::Controller).c_str() : "none");
                std::printf("cameras: %u\n", c.cameraCount);
                for (uint32_t k = 0; k < c.cameraCount; ++k) {
                    const int control = C::CameraAddress0 + static_cast<int>(k);
                    std::string line = dialog.missing[control] ? "missing" : "none";
                    if (dialog.addresses.count(control)) {
                        unsigned long channel = 1;
                        ParseNumber(dialog.texts[C::CameraChannel0 + static_cast<int>(k)], 0xFFFFFFFFul, channel);
                        line = CameraFileContent(dialog.addresses[control], static_cast<uint32_t>(channel));
                    }
                    std::printf("camera %u: %s\n", k, line.c_str());
                }
                std::printf("pass: %s\n", dialog.texts[C::PassText].c_str());
                // A read command that failed left its fields missing: said
                // on standard error, and the command fails.
                const std::string notRead = LoadTextA(1036);
                if (status.Text().rfind(notRead.substr(0, notRead.find("%1")), 0) == 0) {
                    std::fprintf(stderr, "korvex-cli: %s\n", status.Text().c_str());
                    result = ExitFailure;
                }
            } else {
                using C = NetworkSettingsSink;
                ParseHostAddress(ip, c.ipAddress);
                ParseHostAddress(netmask, c.netmask);
                ParseHostAddress(gateway, c.gateway);
                // What is not given keeps the value the device holds, as the
                // dialog shows it before OK.
                // A value the device holds unreadably is never written back
                // made up: it has to be given.
                std::string missing;
                if (controller == "none")
                    c.controllerAddress = 0xFFFFFFFFu;
                else if (!controller.empty())
                    ParseHostAddress(controller, c.controllerAddress);
                else if (dialog.missing[C::Controller])
                    missing = "--controller";
                else
                    c.controllerAddress =
                        dialog.checked[C::ControllerUsed] ? dialog.addresses[C::Controller] : 0xFFFFFFFFu;
                for (uint32_t k = 0; k < c.cameraCount; ++k)
                    if (dialog.missing[C::CameraAddress0 + static_cast<int>(k)] && !cameras.count(k))
                        missing += (missing.empty() ? "" : ", ") + std::string("--camera ") + std::to_string(k) + "=...";
                if (!missing.empty()) {
                    std::fprintf(stderr, "korvex-cli: the device's value could not be read; give %s\n",
                                 missing.c_str());
                    result = ExitUsage;
                }
                for (uint32_t k = 0; k < c.cameraCount; ++k) {
                    const int control = C::CameraAddress0 + static_cast<int>(k);
                    c.cameraAddress[k] = dialog.addresses.count(control) ? dialog.addresses[control] : 0;
                    unsigned long channel = 1;
                    if (!ParseNumber(dialog.texts[C::CameraChannel0 + static_cast<int>(k)], 0xFFFFFFFFul, channel))
                        channel = 1;
                    c.cameraChannel[k] = static_cast<uint32_t>(channel);
                }
                for (const auto& [index, text] : cameras) {
                    if (index >= c.cameraCount) {
                        std::fprintf(stderr, "korvex-cli: the device has %u camera rows\n", c.cameraCount);
                        result = ExitUsage;
                        break;
                    }
                    const std::optional<CameraSetting> setting = ParseCameraFile(text);
                    if (!setting) {
                        std::fprintf(stderr, "korvex-cli: --camera %u=%s: not ADDR[?channel=N]\n", index, text.c_str());
                        result = ExitUsage;
                        break;
                    }
                    c.cameraAddress[index] = setting->address;
                    c.cameraChannel[index] = setting->channel;
                }
                c.passText = passGiven ? pass : dialog.texts[C::PassText];
                if (result == ExitOk)
                    result = session.Run(JobWriteNetwork) ? ExitOk : ExitFailure;
            }
            c.networkDialog = nullptr;
        } else if (word == "recordings") {
            CliLists lists;
            c.recordingsDialog = &lists;
            c.localFolder = LocalFolder(toDir);
            const std::vector<std::string> parts = recordingArgs.empty() ? std::vector<std::string>{}
                                                                         : SplitPath(recordingArgs[0]);
            if (rest[0] == "ls") {
                if (parts.size() > 3) {
                    result = UsageError("CAM/DAY/HOUR has three parts at most");
                } else if (!Walk(session, parts)) {
                    result = ExitFailure;
                } else {
                    for (const std::string& line : lists.lines[static_cast<int>(parts.size())])
                        std::printf("%s\n", line.c_str());
                }
            } else if (std::error_code made; std::filesystem::create_directories(toDir, made), made) {
                std::fprintf(stderr, "korvex-cli: cannot create %s: %s\n", toDir.c_str(), made.message().c_str());
                result = ExitFailure;
            } else if (!Walk(session, parts)) {
                result = ExitFailure;
            } else {
                c.selectedFiles.clear();
                for (size_t k = 1; k < recordingArgs.size() && result == ExitOk; ++k) {
                    int index = -1;
                    for (size_t f = 0; f < c.mp4Files.size(); ++f)
                        if (c.mp4Files[f] == recordingArgs[k])
                            index = static_cast<int>(f);
                    if (index < 0) {
                        std::fprintf(stderr, "korvex-cli: no recording '%s' in %s\n", recordingArgs[k].c_str(),
                                     recordingArgs[0].c_str());
                        result = ExitFailure;
                    }
                    c.selectedFiles.push_back(index);
                }
                if (result == ExitOk && session.Run(JobDownloadRecordings)) {
                    for (const std::string& line : lists.lines[3])
                        std::printf("%s\n", line.c_str());
                } else {
                    result = ExitFailure;
                }
            }
            c.recordingsDialog = nullptr;
        }
        if (result == ExitOk && word != "version" && word != "network-show" && word != "sync-clock" &&
            word != "recordings")
            std::printf("%s\n", status.Text().c_str());
        if (c.Connected())
            session.Run(JobDisconnect);
    }
    if (scan)
        scan->Stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return result;
}

} // namespace

KORVEX_CLI_COMMAND("device", "run an operation on a device over SSH", RunDevice);

} // namespace korvex::cli
