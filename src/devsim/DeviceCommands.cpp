#include "devsim/DeviceCommands.h"

#include "devsim/DeviceFiles.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

struct Result {
    std::string output;
    std::string errorOutput;
    int exitStatus = 0;
    bool restart = false;
};

Result Fail(const std::string& message, int status = 1) {
    Result r;
    r.errorOutput = message;
    r.exitStatus = status;
    return r;
}

bool ValidAddress(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

std::time_t DeviceNow(DeviceSimulator::State& state) {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::lock_guard guard(state.lock);
    return now + std::time_t(state.clockOffset_s);
}

Result IpConfig(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    const std::string& root = state.options.rootDir;
    if (args.size() == 1 && args[0] == "--show") {
        NetworkSettings s = ReadNetworkSettings(root);
        const std::vector<std::string> hidden = state.CurrentFaults().hiddenSettings;
        auto shown = [&](const char* key) {
            return std::find(hidden.begin(), hidden.end(), key) == hidden.end();
        };
        Result r;
        r.output = "; network settings of eth0\n"
                   "; change them with /tavo/ipconfig --proto static --ipaddr A --netmask M --gateway G\n";
        if (shown("proto"))
            r.output += "proto = " + s.proto + "\n";
        if (shown("ipaddr"))
            r.output += "ipaddr = " + s.ipaddr + " ; " + s.proto + "\n";
        if (shown("netmask"))
            r.output += "netmask = " + s.netmask + "\n";
        if (shown("gateway"))
            r.output += "gateway = " + s.gateway + "\n";
        return r;
    }
    NetworkSettings s = ReadNetworkSettings(root);
    if (args.empty())
        return Fail("usage: ipconfig --show | --proto static --ipaddr A --netmask M --gateway G\n");
    for (size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return Fail("ipconfig: option " + args[i] + " needs a value\n");
        const std::string& key = args[i];
        const std::string& value = args[i + 1];
        if (key == "--proto") {
            if (value != "static" && value != "dhcp")
                return Fail("ipconfig: protocol must be static or dhcp\n");
            s.proto = value;
            continue;
        }
        if (key != "--ipaddr" && key != "--netmask" && key != "--gateway")
            return Fail("ipconfig: unknown option " + key + "\n");
        if (!ValidAddress(value))
            return Fail("ipconfig: " + value + " is not an IPv4 address\n");
        (key == "--ipaddr" ? s.ipaddr : key == "--netmask" ? s.netmask : s.gateway) = value;
    }
    WriteNetworkSettings(root, s);
    return {};
}

Result IfConfig(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0] != "eth0")
        return Fail("ifconfig: " + (args.empty() ? std::string("?") : args[0]) +
                    ": error fetching interface information: Device not found\n");
    NetworkSettings s = ReadNetworkSettings(state.options.rootDir);
    Result r;
    r.output = "eth0      Link encap:Ethernet  HWaddr " + state.options.hwAddress +
               "  \n"
               "          inet addr:" +
               s.ipaddr + "  Mask:" + s.netmask +
               "\n"
               "          UP BROADCAST RUNNING MULTICAST  MTU:1500  Metric:1\n"
               "          RX packets:1024 errors:0 dropped:0 overruns:0 frame:0\n"
               "          TX packets:2048 errors:0 dropped:0 overruns:0 carrier:0\n";
    return r;
}

Result Date(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    bool utc = false, iso = false;
    for (const auto& a : args) {
        if (a == "-u")
            utc = true;
        else if (a == "-Iseconds")
            iso = true;
        else
            return Fail("date: unsupported option " + a + "\n");
    }
    if (!utc || !iso)
        return Fail("date: only \"date -u -Iseconds\" is available\n");
    Result r;
    r.output = FormatIsoSeconds(DeviceNow(state)) + "\n";
    return r;
}

Result SetDate(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    std::time_t when = 0;
    if (args.size() != 1 || !ParseDateTime(args[0], when))
        return Fail("setdate: expected one argument \"YYYY-MM-DD HH:MM:SS\"\n");
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::lock_guard guard(state.lock);
    state.clockOffset_s = int64_t(when) - int64_t(now);
    return {};
}

Result List(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool slashes = false;
    for (const auto& a : args) {
        if (a == "-p")
            slashes = true;
        else if (!a.empty() && a[0] == '-')
            return Fail("ls: unrecognized option '" + a + "'\n", 2);
        else
            paths.push_back(a);
    }
    if (paths.size() != 1)
        return Fail("ls: give exactly one folder\n", 2);
    std::string host = MapDevicePath(state.options.rootDir, paths[0]);
    std::error_code ec;
    if (host.empty() || !fs::exists(host, ec))
        return Fail("ls: cannot access '" + paths[0] + "': No such file or directory\n", 2);
    Result r;
    if (!fs::is_directory(host, ec)) {
        r.output = paths[0] + "\n";
        return r;
    }
    std::vector<std::string> names;
    for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        // Temporary files of an upload in progress are not shown.
        if (name.find(".tmp") != std::string::npos && name[0] == '.')
            continue;
        if (slashes && it->is_directory(ec))
            name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const auto& n : names)
        r.output += n + "\n";
    return r;
}

// Splits "-f" style options from the paths of mv and rm.
bool SplitForced(const std::vector<std::string>& args, std::vector<std::string>& paths, bool& forced,
                 std::string& bad) {
    forced = false;
    for (const auto& a : args) {
        if (a == "-f")
            forced = true;
        else if (!a.empty() && a[0] == '-') {
            bad = a;
            return false;
        } else
            paths.push_back(a);
    }
    return true;
}

// A folder of the options' locked folders holds `devicePath`.
bool InLockedFolder(DeviceSimulator::State& state, const std::string& devicePath) {
    const fs::path folder = fs::path(devicePath).parent_path().lexically_normal();
    for (const std::string& locked : state.CurrentFaults().lockedFolders)
        if (fs::path(locked).lexically_normal() == folder)
            return true;
    return false;
}

// "mv [-f] FROM TO": one rename inside the device's folders.
Result Move(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool forced = false;
    std::string bad;
    if (!SplitForced(args, paths, forced, bad))
        return Fail("mv: unrecognized option '" + bad + "'\n");
    if (paths.size() != 2)
        return Fail("mv: give a source and a target\n");
    const std::string from = MapDevicePath(state.options.rootDir, paths[0]);
    const std::string to = MapDevicePath(state.options.rootDir, paths[1]);
    std::error_code ec;
    if (from.empty() || !fs::exists(from, ec))
        return Fail("mv: can't rename '" + paths[0] + "': No such file or directory\n");
    if (to.empty() || fs::is_directory(to, ec) || InLockedFolder(state, paths[0]) ||
        InLockedFolder(state, paths[1]))
        return Fail("mv: can't rename '" + paths[0] + "': Permission denied\n");
    fs::rename(from, to, ec);
    if (ec)
        return Fail("mv: can't rename '" + paths[0] + "': " + ec.message() + "\n");
    return {};
}

// "rm [-f] PATH...": removes files; -f keeps quiet about missing ones.
Result Remove(DeviceSimulator::State& state, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool forced = false;
    std::string bad;
    if (!SplitForced(args, paths, forced, bad))
        return Fail("rm: unrecognized option '" + bad + "'\n");
    Result r;
    for (const auto& p : paths) {
        const std::string host = MapDevicePath(state.options.rootDir, p);
        std::error_code ec;
        if (!host.empty() && fs::is_directory(host, ec)) {
            r = Fail("rm: '" + p + "' is a directory\n");
            continue;
        }
        if (!host.empty() && fs::exists(host, ec) && InLockedFolder(state, p)) {
            r = Fail("rm: can't remove '" + p + "': Permission denied\n");
            continue;
        }
        if (host.empty() || !fs::remove(host, ec)) {
            if (!forced || ec)
                r = Fail("rm: can't remove '" + p + "': No such file or directory\n");
        }
    }
    return r;
}

// A command that has all its output at once.
class ImmediateHandler : public ExecHandler {
public:
    explicit ImmediateHandler(Result result) : result(std::move(result)) {}
    void Step(ExecContext& c) override {
        if (c.done)
            return;
        c.output += result.output;
        c.errorOutput += result.errorOutput;
        c.exitStatus = result.exitStatus;
        c.restartAfter = result.restart;
        c.done = true;
    }

private:
    Result result;
};

// "/tavo/chpass USER": prompts twice, changes the password when both
// answers agree.
class ChpassHandler : public ExecHandler {
public:
    ChpassHandler(DeviceSimulator::State& state, bool known) : state(state), known(known) {}
    void Step(ExecContext& c) override {
        if (c.done)
            return;
        if (!known) {
            c.errorOutput += "chpass: unknown user\n";
            c.exitStatus = 1;
            c.done = true;
            return;
        }
        if (phase == 0) {
            c.output += "New password: ";
            phase = 1;
        }
        while (phase < 3) {
            size_t nl = c.input.find('\n');
            if (nl == std::string::npos) {
                if (c.inputEof || c.input.size() > 4096) {
                    c.errorOutput += "\nchpass: password unchanged\n";
                    c.exitStatus = 1;
                    c.done = true;
                }
                return;
            }
            std::string line = c.input.substr(0, nl);
            c.input.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (phase == 1) {
                first = line;
                c.output += "\nRetype password: ";
                phase = 2;
            } else {
                phase = 3;
                if (line != first) {
                    c.output += "\nchpass: passwords do not match, password unchanged\n";
                    c.exitStatus = 1;
                } else if (first.empty()) {
                    c.output += "\nchpass: empty password, password unchanged\n";
                    c.exitStatus = 1;
                } else {
                    std::lock_guard guard(state.lock);
                    state.password = first;
                    c.output += "\nchpass: password updated successfully\n";
                    c.exitStatus = 0;
                }
                c.done = true;
            }
        }
    }

private:
    DeviceSimulator::State& state;
    bool known;
    int phase = 0;
    std::string first;
};

// Fault: a command that never answers.
class HangingHandler : public ExecHandler {
public:
    void Step(ExecContext& c) override {
        if (c.inputEof && !c.done) {
            c.exitStatus = 130;
            c.done = true;
        }
    }
};

// Fault: a slow device. Says nothing for a while, then hands over to the
// command's own handler.
class QuietHandler : public ExecHandler {
public:
    QuietHandler(std::unique_ptr<ExecHandler> inner, unsigned quiet_ms)
        : inner(std::move(inner)), until_ms(SteadyMs() + int64_t(quiet_ms)) {}
    void Step(ExecContext& c) override {
        if (c.inputEof && !c.done && SteadyMs() < until_ms) {
            c.exitStatus = 130;
            c.done = true;
        }
        if (!c.done && SteadyMs() >= until_ms)
            inner->Step(c);
    }

private:
    std::unique_ptr<ExecHandler> inner;
    int64_t until_ms;
};

Result RunSimple(DeviceSimulator::State& state, const std::string& user,
                 const std::vector<std::string>& words) {
    const std::string& name = words[0];
    std::vector<std::string> args(words.begin() + 1, words.end());
    if (name == "/tavo/tavo") {
        if (args.size() == 1 && args[0] == "--version") {
            Result r;
            r.output = state.options.version + "\n";
            return r;
        }
        return Fail("tavo: the detector service is already running\n");
    }
    if (name == "/tavo/ipconfig")
        return IpConfig(state, args);
    if (name == "ifconfig" || name == "/sbin/ifconfig")
        return IfConfig(state, args);
    if (name == "date" || name == "/bin/date")
        return Date(state, args);
    if (name == "/tavo/setdate")
        return SetDate(state, args);
    if (name == "ls" || name == "/bin/ls")
        return List(state, args);
    if (name == "mv" || name == "/bin/mv")
        return Move(state, args);
    if (name == "rm" || name == "/bin/rm")
        return Remove(state, args);
    if (name == "sync" || name == "/bin/sync")
        return {};
    if (name == "/tavo/restart") {
        Result r;
        r.restart = true;
        return r;
    }
    if (name == "true")
        return {};
    (void)user;
    return Fail("sh: " + name + ": not found\n", 127);
}

} // namespace

bool SplitCommandLine(const std::string& line, std::vector<std::string>& words,
                      std::vector<bool>& operators) {
    words.clear();
    operators.clear();
    std::string word;
    bool inWord = false;
    size_t i = 0;
    auto finish = [&](bool op) {
        if (inWord || op) {
            words.push_back(word);
            operators.push_back(op);
        }
        word.clear();
        inWord = false;
    };
    while (i < line.size()) {
        char ch = line[i];
        if (ch == ' ' || ch == '\t' || ch == '\n') {
            finish(false);
            ++i;
        } else if (ch == '&' && !inWord && i + 1 < line.size() && line[i + 1] == '&') {
            finish(true);
            words.back() = "&&";
            i += 2;
        } else if (ch == '\'') {
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos)
                return false;
            word += line.substr(i + 1, end - i - 1);
            inWord = true;
            i = end + 1;
        } else if (ch == '"') {
            ++i;
            inWord = true;
            for (;;) {
                if (i >= line.size())
                    return false;
                char c = line[i];
                if (c == '"') {
                    ++i;
                    break;
                }
                if (c == '\\' && i + 1 < line.size() &&
                    std::string("\"\\$`").find(line[i + 1]) != std::string::npos) {
                    word += line[i + 1];
                    i += 2;
                    continue;
                }
                word += c;
                ++i;
            }
        } else if (ch == '\\') {
            if (i + 1 < line.size())
                word += line[i + 1];
            inWord = true;
            i += 2;
        } else {
            word += ch;
            inWord = true;
            ++i;
        }
    }
    finish(false);
    return true;
}

std::string FormatIsoSeconds(std::time_t utc) {
    std::tm tm{};
    gmtime_r(&utc, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d+00:00", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

bool ParseDateTime(const std::string& text, std::time_t& utc) {
    unsigned y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return false;
    if (y < 1970 || y > 2200 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return false;
    std::tm tm{};
    tm.tm_year = int(y) - 1900;
    tm.tm_mon = int(mo) - 1;
    tm.tm_mday = int(d);
    tm.tm_hour = int(h);
    tm.tm_min = int(mi);
    tm.tm_sec = int(s);
    utc = timegm(&tm);
    // timegm normalises 31 February into March; such a date is refused.
    std::tm back{};
    gmtime_r(&utc, &back);
    return back.tm_mday == int(d) && back.tm_mon == int(mo) - 1;
}

namespace {
std::unique_ptr<ExecHandler> CreateCommandHandler(DeviceSimulator::State& state, const std::string& user,
                                                  const std::vector<std::string>& words,
                                                  const std::vector<bool>& operators,
                                                  const std::string& command, const FaultOptions& faults);
} // namespace

std::unique_ptr<ExecHandler> CreateHandler(DeviceSimulator::State& state, const std::string& user,
                                           const std::string& command) {
    std::vector<std::string> words;
    std::vector<bool> operators;
    if (!SplitCommandLine(command, words, operators))
        return std::make_unique<ImmediateHandler>(Fail("sh: syntax error: unterminated quoted string\n", 2));
    if (words.empty())
        return std::make_unique<ImmediateHandler>(Result{});
    if (!operators[0] && words[0] == "scp") {
        bool compound = std::find(operators.begin(), operators.end(), true) != operators.end();
        if (!compound)
            return CreateScpHandler(state, std::vector<std::string>(words.begin() + 1, words.end()));
    }
    const FaultOptions faults = state.CurrentFaults();
    if (faults.hangCommands)
        return std::make_unique<HangingHandler>();
    std::unique_ptr<ExecHandler> handler =
        CreateCommandHandler(state, user, words, operators, command, faults);
    if (faults.quietCommands_ms > 0)
        return std::make_unique<QuietHandler>(std::move(handler), faults.quietCommands_ms);
    return handler;
}

namespace {

std::unique_ptr<ExecHandler> CreateCommandHandler(DeviceSimulator::State& state, const std::string& user,
                                                  const std::vector<std::string>& words,
                                                  const std::vector<bool>& operators,
                                                  const std::string& command, const FaultOptions& faults) {
    if (!faults.failCommand.empty() && command.rfind(faults.failCommand, 0) == 0)
        return std::make_unique<ImmediateHandler>(Fail(faults.failText, faults.failStatus));
    if (words.size() == 2 && !operators[0] && words[0] == "/tavo/chpass")
        return std::make_unique<ChpassHandler>(state, words[1] == user);

    // A list of simple commands joined by "&&": each runs while the ones
    // before it succeeded.
    Result total;
    size_t start = 0;
    while (start <= words.size()) {
        size_t end = start;
        while (end < words.size() && !operators[end])
            ++end;
        if (end == start)
            return std::make_unique<ImmediateHandler>(Fail("sh: syntax error near \"&&\"\n", 2));
        Result r =
            RunSimple(state, user, std::vector<std::string>(words.begin() + start, words.begin() + end));
        total.output += r.output;
        total.errorOutput += r.errorOutput;
        total.exitStatus = r.exitStatus;
        total.restart = total.restart || r.restart;
        if (r.exitStatus != 0 || end == words.size())
            break;
        start = end + 1;
        if (start == words.size())
            return std::make_unique<ImmediateHandler>(Fail("sh: syntax error: unexpected end of file\n", 2));
    }
    return std::make_unique<ImmediateHandler>(total);
}

} // namespace

} // namespace korvex::devsim
