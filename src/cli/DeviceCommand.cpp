// korvex-cli device: runs the device session's jobs from the command line,
// exactly as the program's dialogs post them.
#include "cli/Cli.h"
#include "cli/DeviceOptions.h"
#include "cli/DeviceSession.h"
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

using namespace device;

// ---- checking a command's arguments

int NoArguments(Request& r) {
    return r.rest.empty() ? ExitOk : UsageError(r.word + " takes no arguments");
}

int OneFile(Request& r) {
    if (r.rest.size() != 1)
        return UsageError(r.word + " needs one FILE.kvx");
    r.file = r.rest[0];
    return ExitOk;
}

int ParseRestart(Request& r) {
    if (r.rest.size() == 2 && r.rest[0] == "--announce-port") {
        unsigned long port = 0;
        if (!ParseNumber(r.rest[1], 65535, port) || port == 0)
            return UsageError("--announce-port needs a number from 1 to 65535");
        r.announcePort = static_cast<uint16_t>(port);
    } else if (!r.rest.empty()) {
        return UsageError("restart takes only --announce-port N");
    }
    return ExitOk;
}

// One option of network-set with its value.
int TakeNetworkOption(Request& r, const std::string& o, const std::string& v) {
    if (o == "--ip")
        r.ip = v;
    else if (o == "--netmask")
        r.netmask = v;
    else if (o == "--gateway")
        r.gateway = v;
    else if (o == "--controller")
        r.controller = v;
    else if (o == "--pass") {
        r.pass = v;
        r.passGiven = true;
    } else if (o == "--camera") {
        size_t eq = v.find('=');
        unsigned long index = 0;
        if (eq == std::string::npos || !ParseNumber(v.substr(0, eq), 3, index))
            return UsageError("--camera needs I=ADDR[?channel=N] with I from 0 to 3");
        r.cameras[static_cast<unsigned>(index)] = v.substr(eq + 1);
    } else
        return UsageError("unknown network-set option " + o);
    return ExitOk;
}

// Settings that would cut the device off are refused before the device is
// even asked; a gateway outside its network only with --force.
int CheckNetworkValues(const Request& r) {
    uint32_t dummy = 0;
    for (const std::string* t : {&r.ip, &r.netmask, &r.gateway})
        if (!ParseHostAddress(*t, dummy))
            return UsageError("'" + *t + "' is not an IPv4 address");
    uint32_t a = 0, m = 0, g = 0;
    ParseHostAddress(r.ip, a);
    ParseHostAddress(r.netmask, m);
    ParseHostAddress(r.gateway, g);
    const NetworkCheck check = ValidateNetworkSettings(a, m, g);
    if (check.Refused())
        return UsageError(check.error);
    if (!check.warning.empty() && !r.force)
        return UsageError(check.warning + "\nGive --force to write it all the same.");
    if (!r.controller.empty() && r.controller != "none" && !ParseHostAddress(r.controller, dummy))
        return UsageError("--controller needs an IPv4 address or none");
    for (const auto& [index, text] : r.cameras) {
        const size_t q = text.find("?channel=");
        unsigned long channel = 0;
        if (!ParseHostAddress(text.substr(0, q), dummy) ||
            (q != std::string::npos && !ParseNumber(text.substr(q + 9), 0xFFFFFFFFul, channel)))
            return UsageError("--camera " + std::to_string(index) + "=" + text + ": not ADDR[?channel=N]");
    }
    if (r.pass.size() > 99)
        return UsageError("--pass holds at most 99 characters");
    return ExitOk;
}

int ParseNetworkSet(Request& r) {
    for (size_t k = 0; k < r.rest.size(); ++k) {
        const std::string& o = r.rest[k];
        if (o == "--force") {
            r.force = true;
            continue;
        }
        if (k + 1 >= r.rest.size())
            return UsageError(o + " needs a value");
        if (const int rc = TakeNetworkOption(r, o, r.rest[++k]); rc != ExitOk)
            return rc;
    }
    if (r.ip.empty() || r.netmask.empty() || r.gateway.empty())
        return UsageError("network-set needs --ip, --netmask and --gateway");
    return CheckNetworkValues(r);
}

int ParseRecordings(Request& r) {
    const auto& rest = r.rest;
    if (rest.empty() || (rest[0] != "ls" && rest[0] != "get"))
        return UsageError("recordings needs ls or get");
    for (size_t k = 1; k < rest.size(); ++k) {
        if (rest[k] == "--to") {
            if (k + 1 >= rest.size())
                return UsageError("--to needs a folder");
            r.toDir = rest[++k];
        } else {
            r.recordingArgs.push_back(rest[k]);
        }
    }
    if (rest[0] == "ls" && r.recordingArgs.size() > 1)
        return UsageError("recordings ls takes at most one CAM[/DAY[/HOUR]]");
    if (rest[0] == "get" &&
        (r.recordingArgs.size() < 2 || r.toDir.empty() || SplitPath(r.recordingArgs[0]).size() != 3))
        return UsageError("recordings get needs CAM/DAY/HOUR, at least one FILE and --to DIR");
    return ExitOk;
}

// ---- steps before the session: the kept programs are on this computer,
// and what a command sends is gathered once the password is known

std::optional<int> ListHistory(Request& r, ProgramHistory& history) {
    for (const ProgramHistory::Entry& entry : history.List(r.host))
        std::printf("%s\t%llu bytes\n", entry.path.c_str(), static_cast<unsigned long long>(entry.size));
    return ExitOk;
}

std::optional<int> ChooseKept(Request& r, ProgramHistory& history) {
    const std::vector<ProgramHistory::Entry> kept = history.List(r.host);
    if (kept.empty())
        return Failure(LoadTextA(2604));
    r.file = kept.front().path;
    return std::nullopt;
}

std::optional<int> ReadPayload(Request& r) {
    r.payload = BinaryFile::ReadAll(r.file);
    return std::nullopt;
}

std::optional<int> AskNewPassword(Request& r) {
    if (const char* given = std::getenv("KORVEX_NEW_PASSWORD")) {
        r.newPassword = given;
    } else {
        auto first = AskHidden("New password: ");
        auto second = AskHidden("Retype new password: ");
        if (!first || !second)
            return UsageError("no new password: set KORVEX_NEW_PASSWORD or run on a terminal");
        if (*first != *second)
            return Failure(LoadTextA(168));
        r.newPassword = *first;
    }
    if (r.newPassword.size() > 99)
        return UsageError("the new password holds at most 99 characters");
    return std::nullopt;
}

// ---- running a command on the connected session

int Status(bool ok) {
    return ok ? ExitOk : ExitFailure;
}

int RunVersion(Run& run) {
    std::printf("%s\n", run.status.Text().c_str());
    return ExitOk;
}

// Uploads the payload, keeping the device's program first; a newly kept
// program is named on standard error.
int RunUpload(Run& run) {
    auto newest = [&] {
        const auto kept = run.history.List(run.r.host);
        return kept.empty() ? std::string() : kept.front().path;
    };
    const std::string before = newest();
    const int result = Status(run.session.Run(UploadProgramRequest{std::move(run.r.payload)}));
    if (const std::string after = newest(); after != before)
        std::fprintf(stderr, "%s %s\n", LoadTextA(2605).c_str(), after.c_str());
    return result;
}

int RunDownload(Run& run) {
    FixedChooser chooser(run.r.file);
    return Status(run.session.Run(DownloadProgramRequest{&chooser}));
}

int RunRestart(Run& run) {
    return Status(run.session.Run(RestartRequest{}));
}

int RunPasswd(Run& run) {
    return Status(run.session.Run(ChangePasswordRequest{run.r.newPassword}));
}

// Asks for a clock check now and waits until it has been made.
int RunSyncClock(Run& run) {
    Connection& c = run.c();
    const unsigned checks = c.ClockChecks();
    const unsigned settings = c.ClockSettings();
    const unsigned failures = c.ClockFailures();
    c.SetRound(c.Timing().clockRounds - 1);
    while (c.ClockChecks() == checks && c.Connected() && !interrupted.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (c.ClockChecks() == checks) {
        std::fprintf(stderr, "korvex-cli: the clock could not be checked\n");
        return ExitFailure;
    }
    if (c.ClockFailures() != failures) {
        std::fprintf(stderr, "korvex-cli: %s\n", c.ClockError().c_str());
        return ExitFailure;
    }
    std::printf("%s\n", c.ClockSettings() != settings ? "device clock set" : "device clock in step");
    return ExitOk;
}

// Reads the settings into `dialog`; the command then prints or writes them.
int WithNetwork(Run& run, int (*then)(Run&, CliNetwork&)) {
    CliNetwork dialog;
    return run.session.Run(ReadNetworkRequest{&dialog}) ? then(run, dialog) : ExitFailure;
}

int PrintNetwork(Run& run, CliNetwork& dialog) {
    using C = NetworkSettingsSink;
    const uint32_t cameraCount = dialog.cameraCount;
    std::printf("ipaddr: %s\n", dialog.Shown(C::DeviceAddress).c_str());
    std::printf("netmask: %s\n", dialog.Shown(C::Netmask).c_str());
    std::printf("gateway: %s\n", dialog.Shown(C::Gateway).c_str());
    std::printf("hwaddr: %s\n", dialog.texts[C::HardwareAddress].c_str());
    std::printf("controller: %s\n",
                dialog.checked[C::ControllerUsed] ? dialog.Shown(C::Controller).c_str() : "none");
    std::printf("cameras: %u\n", cameraCount);
    for (uint32_t k = 0; k < cameraCount; ++k) {
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
    // A read command that failed left its fields missing: said on standard
    // error, and the command fails.
    const std::string notRead = LoadTextA(1036);
    if (run.status.Text().rfind(notRead.substr(0, notRead.find("%1")), 0) == 0) {
        std::fprintf(stderr, "korvex-cli: %s\n", run.status.Text().c_str());
        return ExitFailure;
    }
    return ExitOk;
}

int RunNetworkShow(Run& run) {
    return WithNetwork(run, PrintNetwork);
}

// The controller and cameras as the device holds them, as the dialog shows
// them before OK; a value the device holds unreadably is never written back
// made up: it has to be given.
int KeepDeviceValues(Run& run, CliNetwork& dialog, WriteNetworkRequest& w) {
    using C = NetworkSettingsSink;
    const Request& r = run.r;
    std::string missing;
    if (r.controller == "none")
        w.controllerAddress = 0xFFFFFFFFu;
    else if (!r.controller.empty())
        ParseHostAddress(r.controller, w.controllerAddress);
    else if (dialog.missing[C::Controller])
        missing = "--controller";
    else
        w.controllerAddress =
            dialog.checked[C::ControllerUsed] ? dialog.addresses[C::Controller] : 0xFFFFFFFFu;
    for (uint32_t k = 0; k < dialog.cameraCount; ++k)
        if (dialog.missing[C::CameraAddress0 + static_cast<int>(k)] && !r.cameras.count(k))
            missing += (missing.empty() ? "" : ", ") + std::string("--camera ") + std::to_string(k) + "=...";
    if (!missing.empty()) {
        std::fprintf(stderr, "korvex-cli: the device's value could not be read; give %s\n", missing.c_str());
        return ExitUsage;
    }
    return ExitOk;
}

// The camera rows: what the device holds, then what the command gives.
int SetCameras(Run& run, CliNetwork& dialog, WriteNetworkRequest& w, int result) {
    using C = NetworkSettingsSink;
    for (uint32_t k = 0; k < dialog.cameraCount; ++k) {
        const int control = C::CameraAddress0 + static_cast<int>(k);
        w.cameraAddress[k] = dialog.addresses.count(control) ? dialog.addresses[control] : 0;
        unsigned long channel = 1;
        if (!ParseNumber(dialog.texts[C::CameraChannel0 + static_cast<int>(k)], 0xFFFFFFFFul, channel))
            channel = 1;
        w.cameraChannel[k] = static_cast<uint32_t>(channel);
    }
    for (const auto& [index, text] : run.r.cameras) {
        if (index >= dialog.cameraCount) {
            std::fprintf(stderr, "korvex-cli: the device has %u camera rows\n", dialog.cameraCount);
            return ExitUsage;
        }
        const std::optional<CameraSetting> setting = ParseCameraFile(text);
        if (!setting) {
            std::fprintf(stderr, "korvex-cli: --camera %u=%s: not ADDR[?channel=N]\n", index, text.c_str());
            return ExitUsage;
        }
        w.cameraAddress[index] = setting->address;
        w.cameraChannel[index] = setting->channel;
    }
    return result;
}

int WriteNetwork(Run& run, CliNetwork& dialog) {
    const Request& r = run.r;
    WriteNetworkRequest w;
    ParseHostAddress(r.ip, w.ipAddress);
    ParseHostAddress(r.netmask, w.netmask);
    ParseHostAddress(r.gateway, w.gateway);
    int result = SetCameras(run, dialog, w, KeepDeviceValues(run, dialog, w));
    w.passText = r.passGiven ? r.pass : dialog.texts[NetworkSettingsSink::PassText];
    if (result == ExitOk)
        result = Status(run.session.Run(std::move(w)));
    return result;
}

int RunNetworkSet(Run& run) {
    return WithNetwork(run, WriteNetwork);
}

int RecordingsLs(Run& run, CliLists& lists, const std::vector<std::string>& parts, ListLevelRequest& place) {
    if (parts.size() > 3)
        return UsageError("CAM/DAY/HOUR has three parts at most");
    if (!Walk(run.session, parts, place))
        return ExitFailure;
    for (const std::string& line : lists.lines[static_cast<int>(parts.size())])
        std::printf("%s\n", line.c_str());
    return ExitOk;
}

int RecordingsGet(Run& run, CliLists& lists, const std::vector<std::string>& parts, ListLevelRequest& place) {
    const auto& args = run.r.recordingArgs;
    if (std::error_code made; std::filesystem::create_directories(run.r.toDir, made), made) {
        std::fprintf(stderr, "korvex-cli: cannot create %s: %s\n", run.r.toDir.c_str(),
                     made.message().c_str());
        return ExitFailure;
    }
    if (!Walk(run.session, parts, place))
        return ExitFailure;
    DownloadRecordingsRequest get;
    std::copy(std::begin(place.selected), std::end(place.selected), get.selected);
    get.localFolder = place.localFolder;
    get.dialog = place.dialog;
    for (size_t k = 1; k < args.size(); ++k) {
        int index = -1;
        for (size_t f = 0; f < run.session.Listed(3).size(); ++f)
            if (run.session.Listed(3)[f] == args[k])
                index = static_cast<int>(f);
        if (index < 0) {
            std::fprintf(stderr, "korvex-cli: no recording '%s' in %s\n", args[k].c_str(), args[0].c_str());
            return ExitFailure;
        }
        get.files.push_back(index);
    }
    if (!run.session.Run(std::move(get)))
        return ExitFailure;
    for (const std::string& line : lists.lines[3])
        std::printf("%s\n", line.c_str());
    return ExitOk;
}

int RunRecordings(Run& run) {
    CliLists lists;
    ListLevelRequest place;
    place.dialog = &lists;
    place.localFolder = LocalFolder(run.r.toDir);
    const auto& args = run.r.recordingArgs;
    const std::vector<std::string> parts = args.empty() ? std::vector<std::string>{} : SplitPath(args[0]);
    return run.r.rest[0] == "ls" ? RecordingsLs(run, lists, parts, place)
                                 : RecordingsGet(run, lists, parts, place);
}

// ---- the command table

struct HelpRow {
    const char* synopsis;    // a second line starts with '\n'
    const char* description; // lines separated by '\n'
};

struct Subcommand {
    const char* word;
    std::vector<HelpRow> help;
    int (*parse)(Request&);
    std::optional<int> (*local)(Request&, ProgramHistory&); // before the password; a value ends the command
    std::optional<int> (*gather)(Request&);                 // after the password; a value ends the command
    int (*run)(Run&);
    bool printsStatus;       // the last status text is printed when it succeeded
    bool awaitsAnnouncement; // listens for the device coming back
};

// Each command of korvex-cli device, in the order its help lists them.
const Subcommand Table[] = {
    {"version",
     {{"version", "connect and show the device's status text"}},
     NoArguments,
     nullptr,
     nullptr,
     RunVersion,
     false,
     false},
    {"upload",
     {{"upload FILE.kvx", "keep the device's program, send FILE and restart the device"}},
     OneFile,
     nullptr,
     ReadPayload,
     RunUpload,
     true,
     false},
    {"history",
     {{"history", "list the kept programs of the device, newest first"}},
     NoArguments,
     ListHistory,
     nullptr,
     nullptr,
     false,
     false},
    {"restore",
     {{"restore", "upload the newest kept program back (keeping the one it replaces)"}},
     NoArguments,
     ChooseKept,
     ReadPayload,
     RunUpload,
     true,
     false},
    {"download",
     {{"download FILE.kvx", "fetch the device's program"}},
     OneFile,
     nullptr,
     nullptr,
     RunDownload,
     true,
     false},
    {"restart",
     {{"restart [--announce-port N]", "restart and wait for the device to announce itself"}},
     ParseRestart,
     nullptr,
     nullptr,
     RunRestart,
     true,
     true},
    {"network-show",
     {{"network-show", "show the network settings"}},
     NoArguments,
     nullptr,
     nullptr,
     RunNetworkShow,
     false,
     false},
    {"network-set",
     {{"network-set --ip A --netmask M --gateway G [--controller A|none]\n"
       "            [--camera I=ADDR[?channel=N]]... [--pass TEXT] [--force]",
       "write the network settings and restart;\n"
       "a gateway outside the device's network\n"
       "needs --force"}},
     ParseNetworkSet,
     nullptr,
     nullptr,
     RunNetworkSet,
     true,
     false},
    {"passwd",
     {{"passwd", "change the password (KORVEX_NEW_PASSWORD or asked twice)"}},
     NoArguments,
     nullptr,
     AskNewPassword,
     RunPasswd,
     true,
     false},
    {"recordings",
     {{"recordings ls [CAM[/DAY[/HOUR]]] [--to DIR]", "list recordings; \"  [S]\" marks copies in DIR"},
      {"recordings get CAM/DAY/HOUR FILE... --to DIR", "copy recordings into DIR/CAM/DAY/HOUR/"}},
     ParseRecordings,
     nullptr,
     nullptr,
     RunRecordings,
     false,
     false},
    {"sync-clock",
     {{"sync-clock", "set the device clock if it is more than 10 s off"}},
     NoArguments,
     nullptr,
     nullptr,
     RunSyncClock,
     false,
     false},
};

// One help row: a short synopsis shares its line with the description,
// a long one stands on its own line(s) above it.
std::string HelpText(const HelpRow& row) {
    constexpr size_t Column = 34;
    const std::vector<std::string> synopsis = SplitLines(row.synopsis);
    const std::vector<std::string> description = SplitLines(row.description);
    std::string text;
    size_t first = 0;
    if (synopsis.size() == 1 && synopsis[0].size() + 2 < Column) {
        text +=
            "  " + synopsis[0] + std::string(Column - 2 - synopsis[0].size(), ' ') + description[0] + "\n";
        first = 1;
    } else {
        for (const std::string& line : synopsis)
            text += "  " + line + "\n";
    }
    for (size_t k = first; k < description.size(); ++k)
        text += std::string(Column, ' ') + description[k] + "\n";
    return text;
}

const std::string& Usage() {
    static const std::string text = [] {
        std::string usage =
            "usage: korvex-cli device --host ADDR [--port N] --user NAME [--known-hosts FILE] COMMAND ...\n"
            "       korvex-cli device --hosts FILE|- --user NAME [--parallel N] [--timeout S] COMMAND ...\n"
            "\n"
            "With --hosts the command runs on every device of the list (one HOST[:PORT] a\n"
            "line, # comments), N at a time (default 8), and prints one JSON line per\n"
            "device; 'korvex-cli device --hosts --help' tells more.\n"
            "\n"
            "The password comes from KORVEX_PASSWORD or is asked on the terminal.\n"
            "\n"
            "commands:\n";
        for (const Subcommand& command : Table)
            for (const HelpRow& row : command.help)
                usage += HelpText(row);
        return usage;
    }();
    return text;
}

const Subcommand* FindSubcommand(const std::string& word) {
    for (const Subcommand& command : Table)
        if (word == command.word)
            return &command;
    return nullptr;
}

// ---- the device and the command word

std::vector<DeviceOption> SingleDeviceOptions(Request& r) {
    auto text = [](std::string& out) {
        return [&out](const std::string& value) {
            out = value;
            return static_cast<int>(ExitOk);
        };
    };
    auto port = [&r](const std::string& value) {
        unsigned long number = 0;
        if (!ParseNumber(value, 65535, number) || number == 0)
            return UsageError("--port needs a number from 1 to 65535");
        r.port = static_cast<uint16_t>(number);
        return static_cast<int>(ExitOk);
    };
    return {{"--host", true, "--host needs an address", false, text(r.host)},
            {"--port", true, "--port needs a number from 1 to 65535", false, port},
            {"--user", true, "--user needs a name", false, text(r.user)},
            {"--known-hosts", true, "--known-hosts needs a file", false, text(r.knownHosts)}};
}

// Reads the device, the user and the command; ExitOk or a usage error's status.
int ParseRequest(const std::vector<std::string>& args, Request& r, const Subcommand*& command) {
    size_t i = 0;
    if (const int rc = ParseDeviceOptions(args, SingleDeviceOptions(r), Usage(), i); rc != ExitOk)
        return rc;
    if (r.host.empty() || !ParseHostAddress(r.host, r.hostOrder))
        return UsageError("--host needs an IPv4 address\n" + Usage());
    if (r.user.empty() || r.user.size() > 99)
        return UsageError("--user needs a name of at most 99 characters\n" + Usage());
    if (i >= args.size())
        return UsageError("no command given\n" + Usage());
    r.word = args[i];
    r.rest.assign(args.begin() + static_cast<long>(i) + 1, args.end());
    command = FindSubcommand(r.word);
    if (!command)
        return UsageError("unknown device command '" + r.word + "'\n" + Usage());
    return command->parse(r);
}

// Connects, runs the command and disconnects; the command's exit status.
int RunOnDevice(const Subcommand& command, Request& r, CliStatus& status, DeviceList& devices,
                ProgramHistory& history) {
    Session session(status, devices, &history); // an upload keeps the replaced program there
    Connection& c = session.Get();
    session.Start();
    int result = ExitOk;
    // A failed version query after a good login is reported (on stderr) but
    // leaves the session connected, as in the program.
    ConnectDeviceRequest connect{htonl(r.hostOrder), r.port, r.user, r.password, r.knownHosts};
    if (!session.Run(std::move(connect)) && !c.Connected()) {
        result = ExitFailure;
    } else {
        Run run{session, status, history, r};
        result = command.run(run);
        if (result == ExitOk && command.printsStatus)
            std::printf("%s\n", status.Text().c_str());
    }
    if (c.Connected())
        session.Run(DisconnectRequest{});
    return result;
}

int RunDevice(const std::vector<std::string>& args) {
    if (NamesHostList(args))
        return RunDeviceFleet(args);
    if (WantsHelp(args)) {
        std::printf("%s", Usage().c_str());
        return ExitOk;
    }
    Request r;
    const Subcommand* command = nullptr;
    if (const int rc = ParseRequest(args, r, command); rc != ExitOk)
        return rc;
    ProgramHistory history;
    if (command->local)
        if (const std::optional<int> done = command->local(r, history))
            return *done;
    std::optional<std::string> password = Secret("KORVEX_PASSWORD", "Password: ");
    if (!password)
        return UsageError("no password: set KORVEX_PASSWORD or run on a terminal");
    r.password = *password;
    if (command->gather)
        if (const std::optional<int> done = command->gather(r))
            return *done;

    interrupted.store(false);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGPIPE, SIG_IGN);
    CliStatus status(StderrIsTerminal());
    DeviceList devices;
    std::optional<ScanThread> scan;
    if (command->awaitsAnnouncement) {
        scan.emplace(devices, r.announcePort); // lets the wait end when the device is back
        scan->Start();
    }
    const int result = RunOnDevice(*command, r, status, devices, history);
    if (scan)
        scan->Stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return result;
}

} // namespace

KORVEX_CLI_COMMAND("device", "run an operation on a device over SSH", RunDevice);

} // namespace korvex::cli
