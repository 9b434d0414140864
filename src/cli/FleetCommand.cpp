// korvex-cli device --hosts: runs one device operation on every device of a
// list, each device in a session of its own in this process (FleetRun.cpp).
#include "cli/Cli.h"
#include "cli/DeviceOptions.h"
#include "cli/Fleet.h"
#include "cli/FleetRun.h"
#include "cli/Secrets.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

namespace korvex::cli {
namespace {

constexpr size_t MaxListBytes = 16u << 20;

volatile std::sig_atomic_t fleetInterrupted = 0;
extern "C" void OnFleetInterrupt(int) {
    fleetInterrupted = 1;
}

struct Options {
    std::string hostsSource;
    std::string user;
    std::string knownHosts;
    uint16_t port = 22;
    unsigned parallel = 8;
    unsigned timeout_s = 300;
    std::vector<std::string> operation; // the word and its arguments
};

// Reads the list from a file or standard input, refusing what is too big to
// be a list of devices.
bool ReadList(const std::string& source, std::string& text, std::string& error) {
    std::FILE* file = source == "-" ? stdin : std::fopen(source.c_str(), "rb");
    if (!file) {
        error = "cannot read " + source + ": " + std::strerror(errno);
        return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
        if (text.size() > MaxListBytes) {
            error = source + " is larger than " + std::to_string(MaxListBytes >> 20) + " MiB";
            break;
        }
    }
    const bool failed = std::ferror(file) != 0;
    if (file != stdin)
        std::fclose(file);
    if (failed && error.empty())
        error = "cannot read " + source;
    return error.empty();
}

// ---- the commands a fleet runs: each checks what it was given against the
// whole list before any device is asked

int NoArguments(const Options& o, const std::vector<FleetHost>&) {
    return o.operation.size() == 1 ? ExitOk : UsageError(o.operation[0] + " takes no arguments");
}

int CheckUpload(const Options& o, const std::vector<FleetHost>&) {
    if (o.operation.size() != 2)
        return UsageError("upload needs one FILE.kvx");
    std::FILE* f = std::fopen(o.operation[1].c_str(), "rb");
    if (!f)
        return UsageError("cannot read " + o.operation[1]);
    std::fclose(f);
    return ExitOk;
}

// Two devices must never write the same file.
int CheckDownload(const Options& o, const std::vector<FleetHost>& hosts) {
    if (o.operation.size() != 2)
        return UsageError("download needs one PATTERN.kvx");
    std::set<std::string> names;
    for (const FleetHost& h : hosts)
        if (!names.insert(ExpandDevicePattern(o.operation[1], h)).second)
            return UsageError("download: '" + o.operation[1] +
                              "' names the same file for two devices; put {host} (and {port}) in it");
    return ExitOk;
}

int CheckRecordings(const Options& o, const std::vector<FleetHost>&) {
    const size_t count = o.operation.size() - 1;
    if (count < 1 || o.operation[1] != "ls" || count > 2)
        return UsageError("with --hosts, recordings takes only: ls [CAM[/DAY[/HOUR]]]");
    if (count == 2 && o.operation[2].rfind("-", 0) == 0)
        return UsageError("with --hosts, recordings ls takes no options");
    return ExitOk;
}

struct FleetCommand {
    const char* word;
    const char* name; // as the refusal of other words lists it
    device::HelpRow help;
    int (*check)(const Options&, const std::vector<FleetHost>&);
};

// The commands of korvex-cli device that run with --hosts, in the order its
// help lists them.
const FleetCommand FleetTable[] = {
    {"version", "version", {"version", "the device's status text"}, NoArguments},
    {"upload", "upload", {"upload FILE.kvx", "send the program and restart each device"}, CheckUpload},
    {"download",
     "download",
     {"download PATTERN.kvx",
      "fetch each device's program; PATTERN holds {host}\n(and {port} when a host is listed with two ports)"},
     CheckDownload},
    {"sync-clock",
     "sync-clock",
     {"sync-clock", "set each device clock that is more than 10 s off"},
     NoArguments},
    {"recordings", "recordings ls", {"recordings ls [CAM[/DAY[/HOUR]]]", "list recordings"}, CheckRecordings},
    {"network-show", "network-show", {"network-show", "the network settings, as an object"}, NoArguments},
};

const std::string& FleetUsage() {
    static const std::string text = [] {
        std::string usage =
            "usage: korvex-cli device --hosts FILE|- --user NAME [--port N] [--parallel N] [--timeout S]\n"
            "                         [--known-hosts FILE] COMMAND ...\n"
            "\n"
            "Runs one operation on every device of the list FILE (- reads standard input):\n"
            "one HOST[:PORT] a line (PORT defaults to --port, else 22); '#' starts a comment.\n"
            "N devices are served at once (default 8, at most 256); a device still busy after\n"
            "S seconds (default 300) is cut off. The password comes from KORVEX_PASSWORD or\n"
            "is asked once on the terminal.\n"
            "\n"
            "Every device gets one line of JSON on standard output as soon as it is done:\n"
            "  {\"host\": \"10.0.0.5\", \"port\": 22, \"ok\": true, \"result\": ...}\n"
            "  {\"host\": \"10.0.0.6\", \"port\": 22, \"ok\": false, \"error\": \"...\"}\n"
            "The exit status is 0 only when every device succeeded.\n"
            "\n"
            "commands:\n";
        for (const FleetCommand& command : FleetTable)
            usage += device::HelpText(command.help, 26);
        return usage;
    }();
    return text;
}

int CheckOperation(const Options& o, const std::vector<FleetHost>& hosts) {
    std::string names;
    for (const FleetCommand& command : FleetTable) {
        if (o.operation[0] == command.word)
            return command.check(o, hosts);
        names += (names.empty() ? "" : ", ") + std::string(command.name);
    }
    return UsageError("with --hosts, COMMAND is one of " + names + " (not '" + o.operation[0] + "')");
}

// The options before the command word; each value is checked as it is read.
std::vector<DeviceOption> FleetOptions(Options& o) {
    std::vector<DeviceOption> options = LoginOptions(o.port, o.user, o.knownHosts);
    options.push_back(TextOption("--hosts", "", o.hostsSource, true));
    options.push_back(CountOption("--parallel", 256, "--parallel needs a number from 1 to 256",
                                  [&o](unsigned long n) { o.parallel = static_cast<unsigned>(n); }));
    options.push_back(CountOption("--timeout", 86400, "--timeout needs a number of seconds from 1 to 86400",
                                  [&o](unsigned long n) { o.timeout_s = static_cast<unsigned>(n); }));
    options.push_back({"--host", false, "", false, [](const std::string&) {
                           return UsageError("--host and --hosts exclude each other");
                       }});
    return options;
}

// The options and the list; ExitOk or the status of the usage error said.
int ReadFleet(const std::vector<std::string>& args, Options& o, HostList& list) {
    size_t i = 0;
    if (const int rc = ParseDeviceOptions(args, FleetOptions(o), FleetUsage(), i); rc != ExitOk)
        return rc;
    o.operation.assign(args.begin() + static_cast<long>(i), args.end());
    if (o.user.empty() || o.user.size() > 99)
        return UsageError(std::string("--user needs a name of at most 99 characters\n") + FleetUsage());
    if (o.operation.empty())
        return UsageError(std::string("no command given\n") + FleetUsage());
    std::string text, error;
    if (!ReadList(o.hostsSource, text, error))
        return UsageError(error);
    const std::string source = o.hostsSource == "-" ? "standard input" : o.hostsSource;
    list = ParseHostList(text, o.port, source);
    if (!list.error.empty())
        return UsageError(list.error);
    for (const std::string& note : list.notes)
        std::fprintf(stderr, "korvex-cli: %s\n", note.c_str());
    if (list.hosts.empty())
        return UsageError("no devices in " + source);
    return CheckOperation(o, list.hosts);
}

// The operation read by the command's own parser, as for one device.
int ReadOperation(const Options& o, const device::Subcommand*& command, device::Request& r) {
    command = device::FindSubcommand(o.operation[0]);
    r.user = o.user;
    r.knownHosts = o.knownHosts;
    r.word = o.operation[0];
    r.rest.assign(o.operation.begin() + 1, o.operation.end());
    return command ? command->parse(r) : ExitUsage;
}

} // namespace

int RunDeviceFleet(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("%s", FleetUsage().c_str());
        return ExitOk;
    }
    Options o;
    HostList list;
    const device::Subcommand* command = nullptr;
    device::Request request;
    if (const int rc = ReadFleet(args, o, list); rc != ExitOk)
        return rc;
    if (const int rc = ReadOperation(o, command, request); rc != ExitOk)
        return rc;
    // Asked once for every device.
    const std::optional<std::string> password = Secret("KORVEX_PASSWORD", "Password: ");
    if (!password)
        return UsageError("no password: set KORVEX_PASSWORD or run on a terminal");
    request.password = *password;
    if (command->gather)
        if (const std::optional<int> done = command->gather(request))
            return *done;

    fleetInterrupted = 0;
    std::signal(SIGINT, OnFleetInterrupt);
    std::signal(SIGTERM, OnFleetInterrupt);
    std::signal(SIGPIPE, SIG_IGN);
    const FleetTally tally =
        ServeFleet({*command, std::move(request), o.parallel, o.timeout_s}, list.hosts, fleetInterrupted);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fprintf(stderr, "korvex-cli: %zu of %zu devices succeeded\n", tally.succeeded, tally.reported);
    return tally.succeeded == list.hosts.size() ? ExitOk : ExitFailure;
}

} // namespace korvex::cli
