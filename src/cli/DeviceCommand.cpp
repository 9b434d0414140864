// korvex-cli device: runs the device session's jobs from the command line,
// exactly as the program's dialogs post them.
#include "cli/Cli.h"
#include "cli/DeviceCommands.h"
#include "cli/DeviceOptions.h"
#include "cli/Fleet.h"
#include "cli/Secrets.h"
#include "devicelink/NetworkSettings.h"
#include "framework/BinaryFile.h"
#include "framework/TextIds.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <unistd.h>

namespace korvex::cli::device {
namespace {

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

// Newest first: when each program was kept (UTC), its size and the file.
std::optional<int> ListHistory(Request& r, ProgramHistory& history) {
    for (const ProgramHistory::Entry& entry : history.List(r.host))
        std::printf("%s UTC\t%llu bytes\t%s\n", ProgramHistory::EntryTimeText(entry.name).c_str(),
                    static_cast<unsigned long long>(entry.size), entry.path.c_str());
    return ExitOk;
}

std::optional<int> ChooseKept(Request& r, ProgramHistory& history) {
    const std::vector<ProgramHistory::Entry> kept = history.List(r.host);
    if (kept.empty())
        return Failure(LoadTextA(text::device_no_kept_program));
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
            return Failure(LoadTextA(text::password_mismatch));
        r.newPassword = *first;
    }
    if (r.newPassword.size() > 99)
        return UsageError("the new password holds at most 99 characters");
    return std::nullopt;
}

// ---- the command table

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

} // namespace

// One help row: a short synopsis shares its line with the description,
// a long one stands on its own line(s) above it.
std::string HelpText(const HelpRow& row, size_t column) {
    const std::vector<std::string> synopsis = SplitLines(row.synopsis);
    const std::vector<std::string> description = SplitLines(row.description);
    std::string text;
    size_t first = 0;
    if (synopsis.size() == 1 && synopsis[0].size() + 2 < column) {
        text +=
            "  " + synopsis[0] + std::string(column - 2 - synopsis[0].size(), ' ') + description[0] + "\n";
        first = 1;
    } else {
        for (const std::string& line : synopsis)
            text += "  " + line + "\n";
    }
    for (size_t k = first; k < description.size(); ++k)
        text += std::string(column, ' ') + description[k] + "\n";
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
                usage += HelpText(row, 34);
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

// Connects, runs the command and disconnects; the command's exit status.
int RunOnDevice(const Subcommand& command, Request& r, const SessionSetup& setup, DeviceResult& value,
                const std::function<void(const DeviceResult&)>& ready) {
    Session session(setup);
    session.Start();
    int result = ExitOk;
    // A failed version query after a good login is reported and leaves the
    // session connected, as in the program: the commands that do not use
    // what it read go on, the version command fails.
    ConnectDeviceRequest connect{htonl(r.hostOrder), r.port, r.user, r.password, r.knownHosts};
    const bool connected = session.Run(std::move(connect));
    if (!connected && !session.Connected()) {
        result = ExitFailure;
    } else {
        Run run{session, setup.history, r, {}, connected};
        result = command.run(run);
        value = std::move(run.value);
        if (result == ExitOk && command.printsStatus)
            value = session.LastResult(); // printed as the status text it ended with
        if (ready)
            ready(value);
    }
    if (session.Connected())
        session.Run(DisconnectRequest{});
    return result;
}

} // namespace korvex::cli::device

namespace korvex::cli {
namespace {

using namespace device;

// ---- the device and the command word

std::vector<DeviceOption> SingleDeviceOptions(Request& r) {
    std::vector<DeviceOption> options = LoginOptions(r.port, r.user, r.knownHosts);
    options.push_back(TextOption("--host", "--host needs an address", r.host));
    return options;
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

// Ctrl+C and SIGTERM while a command runs on one device: the handler only
// writes a byte to a pipe (all a handler may do); a thread reading it sets
// the cancel flag, which wakes the session's wait at once.
int interruptPipe[2] = {-1, -1};

extern "C" void OnInterrupt(int) {
    const char byte = 'i';
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
}

class InterruptWatch {
public:
    InterruptWatch() {
        if (::pipe(interruptPipe) != 0)
            return;
        watcher = std::thread([] {
            char byte = 0;
            while (::read(interruptPipe[0], &byte, 1) == 1 && byte == 'i')
                interrupted.Set();
        });
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
    }
    ~InterruptWatch() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        if (!watcher.joinable())
            return;
        const char end = 'e';
        [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &end, 1);
        watcher.join();
        ::close(interruptPipe[0]);
        ::close(interruptPipe[1]);
        interruptPipe[0] = interruptPipe[1] = -1;
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    std::thread watcher;
};

// The steps before the session: the kept programs, the password and what
// the command sends; a value ends the command.
std::optional<int> Prepare(const Subcommand& command, Request& r, ProgramHistory& history) {
    if (command.local)
        if (const std::optional<int> done = command.local(r, history))
            return done;
    std::optional<std::string> password = Secret("KORVEX_PASSWORD", "Password: ");
    if (!password)
        return UsageError("no password: set KORVEX_PASSWORD or run on a terminal");
    r.password = *password;
    if (command.gather)
        return command.gather(r);
    return std::nullopt;
}

// Runs the command on its device with Ctrl+C breaking it off, printing its value.
int RunWithSignals(const Subcommand& command, Request& r, ProgramHistory& history) {
    interrupted.Reset();
    InterruptWatch watch;
    std::signal(SIGPIPE, SIG_IGN);
    StderrDiagnostics say;
    DeviceList devices;
    std::optional<ScanThread> scan;
    if (command.awaitsAnnouncement) {
        scan.emplace(devices, r.announcePort); // lets the wait end when the device is back
        scan->Start();
    }
    DeviceResult value;
    const auto print = [](const DeviceResult& given) { std::fputs(ResultText(given).c_str(), stdout); };
    const int result =
        RunOnDevice(command, r, {say, devices, history, interrupted, true, StderrIsTerminal()}, value, print);
    if (scan)
        scan->Stop();
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
    if (const std::optional<int> done = Prepare(*command, r, history))
        return *done;
    return RunWithSignals(*command, r, history);
}

} // namespace

KORVEX_CLI_COMMAND("device", "run an operation on a device over SSH", RunDevice);

} // namespace korvex::cli
