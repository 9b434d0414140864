// korvex-cli device --hosts: runs one device operation on every device of a
// list. Each device gets its own korvex-cli process (this program, with
// --host), so one device's session can neither block nor crash another's;
// at most --parallel run at once, and one that outlives --timeout is cut off.
#include "cli/Cli.h"
#include "cli/DeviceOptions.h"
#include "cli/Fleet.h"
#include "cli/Secrets.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvex::cli {
namespace {

using Clock = std::chrono::steady_clock;

const char* const FleetUsage =
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
    "commands:\n"
    "  version                 the device's status text\n"
    "  upload FILE.kvx         send the program and restart each device\n"
    "  download PATTERN.kvx    fetch each device's program; PATTERN holds {host}\n"
    "                          (and {port} when a host is listed with two ports)\n"
    "  sync-clock              set each device clock that is more than 10 s off\n"
    "  recordings ls [CAM[/DAY[/HOUR]]]\n"
    "                          list recordings\n"
    "  network-show            the network settings, as an object\n";

constexpr size_t MaxListBytes = 16u << 20;
constexpr size_t MaxOutputBytes = 1u << 20;
constexpr auto KillGrace = std::chrono::seconds(2);

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

struct Running {
    size_t index = 0;
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string outText;
    std::string errText;
    bool truncated = false;
    Clock::time_point deadline;
    Clock::time_point killAt;
    bool stopped = false; // SIGTERM sent after the deadline or an interrupt
    bool timedOut = false;
};

bool ParseCount(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoul(text);
    return value >= 1 && value <= max;
}

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

std::string ThisProgram() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "korvex-cli";
    return std::string(path, static_cast<size_t>(n));
}

// Starts korvex-cli for one device; its output goes to two pipes.
bool Start(const std::string& program, const Options& o, const FleetHost& host, size_t index, Running& r,
           std::string& error) {
    std::vector<std::string> argv = {
        program, "device", "--host", host.host, "--port", std::to_string(host.port), "--user", o.user};
    if (!o.knownHosts.empty()) {
        argv.push_back("--known-hosts");
        argv.push_back(o.knownHosts);
    }
    for (size_t i = 0; i < o.operation.size(); ++i)
        argv.push_back(i == 1 && o.operation[0] == "download" ? ExpandDevicePattern(o.operation[i], host)
                                                              : o.operation[i]);
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        error = "cannot start " + program + ": " + std::strerror(rc);
        return false;
    }
    r = Running{};
    r.index = index;
    r.pid = pid;
    r.out = outPipe[0];
    r.err = errPipe[0];
    r.deadline = Clock::now() + std::chrono::seconds(o.timeout_s);
    return true;
}

// Reads what is there; closes the pipe at its end.
void Drain(int& fd, std::string& text, bool& truncated) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        const size_t room = text.size() < MaxOutputBytes ? MaxOutputBytes - text.size() : 0;
        text.append(buffer, std::min(room, static_cast<size_t>(n)));
        truncated = truncated || static_cast<size_t>(n) > room;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(fd);
        fd = -1;
    }
}

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int CheckOperation(const Options& o, const std::vector<FleetHost>& hosts) {
    const std::string& word = o.operation[0];
    const size_t count = o.operation.size() - 1;
    if (word == "version" || word == "network-show" || word == "sync-clock") {
        if (count != 0)
            return UsageError(word + " takes no arguments");
    } else if (word == "upload") {
        if (count != 1)
            return UsageError("upload needs one FILE.kvx");
        if (std::FILE* f = std::fopen(o.operation[1].c_str(), "rb"))
            std::fclose(f);
        else
            return UsageError("cannot read " + o.operation[1]);
    } else if (word == "download") {
        if (count != 1)
            return UsageError("download needs one PATTERN.kvx");
        // Two devices must never write the same file.
        std::set<std::string> names;
        for (const FleetHost& h : hosts)
            if (!names.insert(ExpandDevicePattern(o.operation[1], h)).second)
                return UsageError("download: '" + o.operation[1] +
                                  "' names the same file for two devices; put {host} (and {port}) in it");
    } else if (word == "recordings") {
        if (count < 1 || o.operation[1] != "ls" || count > 2)
            return UsageError("with --hosts, recordings takes only: ls [CAM[/DAY[/HOUR]]]");
        if (count == 2 && o.operation[2].rfind("-", 0) == 0)
            return UsageError("with --hosts, recordings ls takes no options");
    } else {
        return UsageError("with --hosts, COMMAND is one of version, upload, download, sync-clock, "
                          "recordings ls, network-show (not '" +
                          word + "')");
    }
    return ExitOk;
}

// The options before the command word; each value is checked as it is read.
std::vector<DeviceOption> FleetOptions(Options& o) {
    auto count = [](unsigned long max, const char* error, auto store) {
        return [=](const std::string& value) {
            unsigned long number = 0;
            if (!ParseCount(value, max, number))
                return UsageError(error);
            store(number);
            return static_cast<int>(ExitOk);
        };
    };
    auto text = [](std::string& out) {
        return [&out](const std::string& value) {
            out = value;
            return static_cast<int>(ExitOk);
        };
    };
    return {
        {"--hosts", true, "", true, text(o.hostsSource)},
        {"--user", true, "", true, text(o.user)},
        {"--known-hosts", true, "", true, text(o.knownHosts)},
        {"--port", true, "", true,
         count(65535, "--port needs a number from 1 to 65535",
               [&o](unsigned long n) { o.port = static_cast<uint16_t>(n); })},
        {"--parallel", true, "", true,
         count(256, "--parallel needs a number from 1 to 256",
               [&o](unsigned long n) { o.parallel = static_cast<unsigned>(n); })},
        {"--timeout", true, "", true,
         count(86400, "--timeout needs a number of seconds from 1 to 86400",
               [&o](unsigned long n) { o.timeout_s = static_cast<unsigned>(n); })},
        {"--host", false, "", false,
         [](const std::string&) { return UsageError("--host and --hosts exclude each other"); }},
    };
}

// The devices of one --hosts run: started at most --parallel at once, each
// one's output collected, cut off at its deadline, reported in one line.
class FleetRun {
public:
    FleetRun(const Options& o, const std::vector<FleetHost>& hosts)
        : o(o), hosts(hosts), program(ThisProgram()), word(o.operation[0]) {}

    // Serves every device; the number that succeeded.
    size_t Serve() {
        while (next < hosts.size() || !running.empty()) {
            if (fleetInterrupted && !interruptHandled)
                StopAll();
            StartMore();
            Collect();
            Reap();
        }
        return succeeded;
    }
    size_t Done() const { return done; }

private:
    void Finish(const FleetHost& host, bool ok, const std::string& payload) {
        Emit(FleetLine(host, ok, payload));
        ++done;
        if (ok)
            ++succeeded;
    }

    // After an interrupt nothing more is started and the running devices
    // are told to stop.
    void StopAll() {
        interruptHandled = true;
        for (; next < hosts.size(); ++next)
            Finish(hosts[next], false, "not run: interrupted");
        for (Running& r : running)
            if (!r.stopped) {
                ::kill(r.pid, SIGTERM);
                r.stopped = true;
                r.killAt = Clock::now() + KillGrace;
            }
    }

    void StartMore() {
        std::string error;
        while (running.size() < o.parallel && next < hosts.size()) {
            Running r;
            if (Start(program, o, hosts[next], next, r, error))
                running.push_back(std::move(r));
            else
                Finish(hosts[next], false, error);
            ++next;
        }
    }

    // Reads what the running devices wrote, waiting at most 100 ms.
    void Collect() {
        std::vector<pollfd> fds;
        for (const Running& r : running) {
            if (r.out >= 0)
                fds.push_back({r.out, POLLIN, 0});
            if (r.err >= 0)
                fds.push_back({r.err, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 100);
        for (const pollfd& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            for (Running& r : running) {
                if (r.out == p.fd)
                    Drain(r.out, r.outText, r.truncated);
                else if (r.err == p.fd)
                    Drain(r.err, r.errText, r.truncated);
            }
        }
    }

    // Stops the devices past their deadline and reports the ones that ended.
    void Reap() {
        const auto now = Clock::now();
        for (auto it = running.begin(); it != running.end();) {
            Running& r = *it;
            if (!r.stopped && now >= r.deadline) {
                ::kill(r.pid, SIGTERM); // the device's process stops its session and ends
                r.stopped = true;
                r.timedOut = true;
                r.killAt = now + KillGrace;
            } else if (r.stopped && now >= r.killAt) {
                ::kill(r.pid, SIGKILL);
            }
            int status = 0;
            pid_t waited = 0;
            if (r.out >= 0 || r.err >= 0 || (waited = ::waitpid(r.pid, &status, WNOHANG)) == 0) {
                ++it;
                continue;
            }
            Report(r, waited, status);
            it = running.erase(it);
        }
    }

    void Report(const Running& r, pid_t waited, int status) {
        const FleetHost& host = hosts[r.index];
        const bool exited0 = waited == r.pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (waited != r.pid) {
            Finish(host, false, std::string("lost the device's process: ") + std::strerror(errno));
        } else if (r.timedOut) {
            Finish(host, false, "cut off: no result within " + std::to_string(o.timeout_s) + " s");
        } else if (r.truncated) {
            Finish(host, false,
                   "the output was larger than " + std::to_string(MaxOutputBytes >> 10) + " KiB");
        } else if (exited0) {
            Finish(host, true, FleetResultJson(word, r.outText));
            // Notes of a successful run (a newly recorded host key) stay visible.
            const std::string notes = FleetErrorText(r.errText, "");
            if (!notes.empty())
                std::fprintf(stderr, "korvex-cli: %s:%u: %s\n", host.host.c_str(), host.port, notes.c_str());
        } else {
            std::string fallback = interruptHandled ? "interrupted"
                                   : WIFSIGNALED(status)
                                       ? "ended by signal " + std::to_string(WTERMSIG(status))
                                       : "failed with exit status " + std::to_string(WEXITSTATUS(status));
            Finish(host, false, interruptHandled ? fallback : FleetErrorText(r.errText, fallback));
        }
    }

    const Options& o;
    const std::vector<FleetHost>& hosts;
    const std::string program;
    const std::string word;
    std::vector<Running> running;
    size_t next = 0, succeeded = 0, done = 0;
    bool interruptHandled = false;
};

} // namespace

int RunDeviceFleet(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("%s", FleetUsage);
        return ExitOk;
    }
    Options o;
    size_t i = 0;
    if (const int rc = ParseDeviceOptions(args, FleetOptions(o), FleetUsage, i); rc != ExitOk)
        return rc;
    o.operation.assign(args.begin() + static_cast<long>(i), args.end());
    if (o.user.empty() || o.user.size() > 99)
        return UsageError(std::string("--user needs a name of at most 99 characters\n") + FleetUsage);
    if (o.operation.empty())
        return UsageError(std::string("no command given\n") + FleetUsage);

    std::string text, error;
    if (!ReadList(o.hostsSource, text, error))
        return UsageError(error);
    const HostList list =
        ParseHostList(text, o.port, o.hostsSource == "-" ? "standard input" : o.hostsSource);
    if (!list.error.empty())
        return UsageError(list.error);
    for (const std::string& note : list.notes)
        std::fprintf(stderr, "korvex-cli: %s\n", note.c_str());
    if (list.hosts.empty())
        return UsageError("no devices in " +
                          (o.hostsSource == "-" ? std::string("standard input") : o.hostsSource));
    if (const int rc = CheckOperation(o, list.hosts); rc != ExitOk)
        return rc;

    // Asked once; every device's process finds it in its environment.
    const std::optional<std::string> password = Secret("KORVEX_PASSWORD", "Password: ");
    if (!password)
        return UsageError("no password: set KORVEX_PASSWORD or run on a terminal");
    ::setenv("KORVEX_PASSWORD", password->c_str(), 1);

    fleetInterrupted = 0;
    std::signal(SIGINT, OnFleetInterrupt);
    std::signal(SIGTERM, OnFleetInterrupt);
    std::signal(SIGPIPE, SIG_IGN);

    FleetRun run(o, list.hosts);
    const size_t succeeded = run.Serve();
    const size_t done = run.Done();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fprintf(stderr, "korvex-cli: %zu of %zu devices succeeded\n", succeeded, done);
    return succeeded == list.hosts.size() ? ExitOk : ExitFailure;
}

} // namespace korvex::cli
