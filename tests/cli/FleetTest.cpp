// korvex-cli device --hosts against several simulated devices on loopback,
// one of them frozen (SIGSTOP), and against devices that are not there.
#include "support/CommandRun.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::vector<std::string> lines;
    std::string err;
};

struct DeviceLine {
    unsigned port = 0;
    bool ok = false;
    std::string payload; // the result or error value as written
};

// Reads the fields of one output line; fails the test when the line does
// not have the promised shape.
DeviceLine ParseLine(const std::string& line) {
    static const std::regex shape(
        R"re(^\{"host": "127\.0\.0\.1", "port": (\d+), "ok": (true|false), "(result|error)": (.*)\}$)re");
    std::smatch m;
    DeviceLine d;
    EXPECT_TRUE(std::regex_match(line, m, shape)) << line;
    if (m.empty())
        return d;
    d.port = static_cast<unsigned>(std::stoul(m[1]));
    d.ok = m[2] == "true";
    EXPECT_EQ(m[3], d.ok ? "result" : "error") << line;
    d.payload = m[4];
    return d;
}

using korvex::test::FreeTcpPort;

// One korvex-devsim process on a free SSH port.
class SimulatedDevice {
public:
    SimulatedDevice(const fs::path& root, const std::string& versionText) {
        std::vector<std::string> args = {
            KORVEX_DEVSIM_PATH, "--root", root.string(),   "--ssh-port",     "0",
            "--live-port",      "0",      "--no-announce", "--version-text", versionText};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid, KORVEX_DEVSIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // It prints its ports once it is serving.
        std::string text;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pid > 0 && text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 200) > 0) {
                char buffer[512];
                const ssize_t n = ::read(out[0], buffer, sizeof buffer);
                if (n <= 0)
                    break;
                text.append(buffer, static_cast<size_t>(n));
            }
        }
        ::close(out[0]);
        std::smatch m;
        if (std::regex_search(text, m, std::regex("SSH on 127\\.0\\.0\\.1:(\\d+)")))
            port = static_cast<uint16_t>(std::stoul(m[1]));
    }
    ~SimulatedDevice() {
        if (pid <= 0)
            return;
        ::kill(pid, SIGCONT);
        ::kill(pid, SIGINT);
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    void Freeze() { ::kill(pid, SIGSTOP); }
    uint16_t Port() const { return port; }

private:
    pid_t pid = -1;
    uint16_t port = 0;
};

class Fleet : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx-fleet-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs korvex-cli with its own configuration folder, no terminal and
    // the simulator's password.
    Outcome Cli(const std::string& arguments, const std::string& input = "") {
        const fs::path err = folder / "stderr.txt";
        const fs::path in = folder / "stdin.txt";
        std::ofstream(in) << input;
        const std::string command = "env KORVEX_PASSWORD=admin XDG_CONFIG_HOME='" +
                                    (folder / "config").string() + "' setsid -w '" KORVEX_CLI_PATH "' " +
                                    arguments + " 2>'" + err.string() + "' <'" + in.string() + "'";
        Outcome outcome;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return outcome;
        std::string out;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        const int status = ::pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream e(err);
        outcome.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        for (size_t pos = 0; pos < out.size();) {
            size_t end = out.find('\n', pos);
            if (end == std::string::npos)
                end = out.size();
            outcome.lines.push_back(out.substr(pos, end - pos));
            pos = end + 1;
        }
        return outcome;
    }

    fs::path folder;
};

TEST_F(Fleet, FrozenDeviceIsCutOffWhileTheOthersAnswerEachInItsOwnLine) {
    std::vector<std::unique_ptr<SimulatedDevice>> devices;
    for (int n = 0; n < 5; ++n) {
        devices.push_back(std::make_unique<SimulatedDevice>(folder / ("device" + std::to_string(n)),
                                                            "tavo 3.0." + std::to_string(n)));
        ASSERT_NE(devices.back()->Port(), 0) << "simulator " << n << " did not start";
    }
    devices[0]->Freeze();

    // The frozen device comes first, so it holds one of the three places
    // from the start; the other four must still be served.
    std::string list = "# yard\n";
    for (const auto& d : devices)
        list += "127.0.0.1:" + std::to_string(d->Port()) + "\n";
    std::ofstream(folder / "hosts.txt") << list;
    const Outcome run = Cli("device --hosts '" + (folder / "hosts.txt").string() +
                            "' --user admin --parallel 3 --timeout 15 version");

    EXPECT_EQ(run.status, 1) << run.err;
    // The session that was broken off ended without touching what it no
    // longer owned.
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    ASSERT_EQ(run.lines.size(), 5u) << run.err;
    std::map<unsigned, DeviceLine> byPort;
    for (const std::string& line : run.lines) {
        const DeviceLine d = ParseLine(line);
        EXPECT_TRUE(byPort.emplace(d.port, d).second) << "port reported twice: " << line;
    }
    for (int n = 0; n < 5; ++n) {
        const DeviceLine& d = byPort[devices[n]->Port()];
        if (n == 0) {
            EXPECT_FALSE(d.ok);
            EXPECT_EQ(d.payload, "\"cut off: no result within 15 s\"");
        } else {
            EXPECT_TRUE(d.ok) << d.payload;
            // Each device's own answer, not a neighbour's.
            EXPECT_NE(d.payload.find("3.0." + std::to_string(n)), std::string::npos) << d.payload;
        }
    }
    // The frozen device is the last to be reported.
    EXPECT_EQ(ParseLine(run.lines.back()).port, devices[0]->Port());

    // Four processes met four new devices at once: every key is recorded.
    std::ifstream known(folder / "config/korvex/known_hosts");
    std::string line;
    std::set<std::string> names;
    while (std::getline(known, line))
        if (!line.empty())
            names.insert(line.substr(0, line.find(' ')));
    std::set<std::string> expected;
    for (int n = 1; n < 5; ++n)
        expected.insert("[127.0.0.1]:" + std::to_string(devices[n]->Port()));
    EXPECT_EQ(names, expected);
}

TEST_F(Fleet, DownloadWritesOneFilePerDeviceAndNetworkShowGivesObjects) {
    SimulatedDevice a(folder / "a", "tavo 3.1.0"), b(folder / "b", "tavo 3.1.1");
    ASSERT_NE(a.Port(), 0);
    ASSERT_NE(b.Port(), 0);
    const std::string list =
        "127.0.0.1:" + std::to_string(a.Port()) + "\n127.0.0.1:" + std::to_string(b.Port()) + "\n";
    const std::string pattern = (folder / "programs/{host}-{port}.kvx").string();
    fs::create_directories(folder / "programs");
    const Outcome download = Cli("device --hosts - --user admin download '" + pattern + "'", list);
    EXPECT_EQ(download.status, 0) << download.err;
    ASSERT_EQ(download.lines.size(), 2u);
    for (const std::string& line : download.lines)
        EXPECT_TRUE(ParseLine(line).ok) << line;
    for (const SimulatedDevice* d : {&a, &b}) {
        const fs::path file = folder / ("programs/127.0.0.1-" + std::to_string(d->Port()) + ".kvx");
        EXPECT_TRUE(fs::exists(file)) << file;
        EXPECT_GT(fs::exists(file) ? fs::file_size(file) : 0, 0u);
    }

    const Outcome show = Cli("device --hosts - --user admin network-show", list);
    EXPECT_EQ(show.status, 0) << show.err;
    ASSERT_EQ(show.lines.size(), 2u);
    for (const std::string& line : show.lines) {
        const DeviceLine d = ParseLine(line);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.payload.front(), '{') << line;
        EXPECT_NE(d.payload.find("\"ipaddr\": "), std::string::npos) << line;
    }
}

TEST_F(Fleet, ListFromStandardInputAndDevicesThatAreNotThere) {
    const uint16_t a = FreeTcpPort(), b = FreeTcpPort();
    const std::string list = "127.0.0.1:" + std::to_string(a) + "\n127.0.0.1:" + std::to_string(b) +
                             "  # nobody listens\n127.0.0.1:" + std::to_string(a) + "\n";
    const Outcome run = Cli("device --hosts - --user admin --parallel 8 --timeout 60 network-show", list);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 2u) << "the repeated entry runs once: " << run.err;
    for (const std::string& line : run.lines)
        EXPECT_FALSE(ParseLine(line).ok);
    EXPECT_NE(run.err.find("line 3"), std::string::npos) << run.err;
}

// korvex-cli started directly, so that it can be sent a signal: standard
// output through a pipe, standard error into a file.
class RunningCli {
public:
    RunningCli(const std::vector<std::string>& arguments, const fs::path& config, const fs::path& err) {
        std::vector<std::string> args = {KORVEX_CLI_PATH};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::string password = "KORVEX_PASSWORD=admin", home = "XDG_CONFIG_HOME=" + config.string();
        char* envp[] = {password.data(), home.data(), nullptr};
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        if (posix_spawn(&pid, KORVEX_CLI_PATH, &actions, nullptr, argv.data(), envp) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out = pipeFds[0];
    }
    ~RunningCli() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
    }
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    // Reads standard output until it holds `text` or ends; false when it
    // did not come within `limit`.
    bool ReadUntil(const std::string& text, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (output.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(out, buffer, sizeof buffer);
            if (n <= 0)
                break;
            output.append(buffer, static_cast<size_t>(n));
        }
        return output.find(text) != std::string::npos;
    }
    void Signal(int number) const { ::kill(pid, number); }
    // The exit status once it has ended (-1 when it was killed after `limit`).
    int Wait(std::chrono::seconds limit) {
        ReadUntil("\x01never", limit); // to the end of its output
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string output;

private:
    pid_t pid = -1;
    int out = -1;
};

TEST_F(Fleet, CtrlCEndsTheFleetWhileADeviceIsFrozen) {
    SimulatedDevice frozen(folder / "frozen", "tavo 3.2.0"), healthy(folder / "healthy", "tavo 3.2.1");
    ASSERT_NE(frozen.Port(), 0);
    ASSERT_NE(healthy.Port(), 0);
    frozen.Freeze();
    // A device that takes the connection and never says a word: it holds
    // its place when it gets one before the interrupt.
    uint16_t silentPort = 0;
    const int silent = korvex::test::ListenOnLoopback(silentPort);
    ASSERT_GE(silent, 0);
    std::ofstream(folder / "hosts.txt") << "127.0.0.1:" << frozen.Port() << "\n127.0.0.1:" << healthy.Port()
                                        << "\n127.0.0.1:" << silentPort << "\n";
    RunningCli cli({"device", "--hosts", (folder / "hosts.txt").string(), "--user", "admin", "--parallel",
                    "2", "--timeout", "3600", "version"},
                   folder / "config", folder / "stderr.txt");
    ASSERT_TRUE(cli.ReadUntil("3.2.1", std::chrono::seconds(60))) << cli.output;
    cli.Signal(SIGINT);
    // Well before the hour of --timeout: a bound for the test, not a measure.
    const int status = cli.Wait(std::chrono::seconds(30));
    ::close(silent);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(korvex::test::ReadWholeFile(folder / "stderr.txt").find("Sanitizer"), std::string::npos);
    std::map<unsigned, DeviceLine> byPort;
    std::istringstream lines(cli.output);
    for (std::string line; std::getline(lines, line);)
        byPort[ParseLine(line).port] = ParseLine(line);
    ASSERT_EQ(byPort.size(), 3u) << cli.output;
    EXPECT_TRUE(byPort[healthy.Port()].ok);
    EXPECT_EQ(byPort[frozen.Port()].payload, "\"interrupted\"");
    // Started or not when the interrupt came, the silent one is ended too.
    const std::string last = byPort[silentPort].payload;
    EXPECT_TRUE(last == "\"interrupted\"" || last == "\"not run: interrupted\"") << last;
}

TEST_F(Fleet, UsageErrorsRunNothing) {
    std::ofstream(folder / "bad.txt") << "127.0.0.1:2222\n127.0.0.1:99999\n";
    std::ofstream(folder / "two.txt") << "127.0.0.1:2222\n127.0.0.1:2223\n";
    std::ofstream(folder / "empty.txt") << "# nothing yet\n\n";
    const std::string bad = "'" + (folder / "bad.txt").string() + "'";
    const std::string two = "'" + (folder / "two.txt").string() + "'";
    const struct {
        std::string arguments;
        std::string says;
    } cases[] = {
        {"device --hosts " + bad + " --user admin version", "line 2"},
        {"device --hosts " + two + " --user admin download same.kvx", "{host}"},
        {"device --hosts " + two + " --user admin passwd", "passwd"},
        {"device --hosts " + two + " --user admin recordings get c/d/h f --to x", "recordings"},
        {"device --hosts " + two + " --user admin --parallel 0 version", "--parallel"},
        {"device --hosts " + two + " --host 127.0.0.1 --user admin version", "--host"},
        // The options both ways share are read and refused alike.
        {"device --hosts " + two + " --user admin --port 70000 version",
         "--port needs a number from 1 to 65535"},
        {"device --hosts " + two + " --password secret --user admin version",
         "never taken from the command line"},
        {"device --hosts '" + (folder / "empty.txt").string() + "' --user admin version", "no devices"},
        {"device --hosts '" + (folder / "missing.txt").string() + "' --user admin version", "missing.txt"},
    };
    for (const auto& c : cases) {
        const Outcome run = Cli(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_TRUE(run.lines.empty()) << c.arguments;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.arguments << " -> " << run.err;
    }
    EXPECT_FALSE(fs::exists(folder / "same.kvx"));
}

} // namespace
