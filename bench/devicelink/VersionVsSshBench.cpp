// Time of `korvex-cli device ... version` against OpenSSH's own client
// running the same command on the same server.
//
//   korvex_version_vs_ssh_bench [--runs N]
//
// Starts a real sshd on loopback (with the simulator as the device's login
// shell, as the real-server tests do), then runs, alternately, N times each
// (default 7): korvex-cli's version command (connect, "/tavo/tavo
// --version", the factory record, disconnect) and `ssh ... /tavo/tavo
// --version` with the same user and password. Each run is one whole
// process, timed from its start to its exit. Prints both medians and their
// ratio (goal: at most 1.15), one JSON line at the end.
#include "integration/RealServers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using korvex::test::RealServer;
using korvex::test::ServerKind;

// Runs `args` with `env` added to the environment, output thrown away;
// the milliseconds it took, or a negative number when it failed.
double TimedRun(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<std::string> environment(env);
    for (char** e = environ; *e; ++e)
        environment.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    unsigned runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    const std::string why = korvex::test::RealServersUnavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "korvex_version_vs_ssh_bench: %s\n", why.c_str());
        return 77;
    }
    RealServer server(ServerKind::OpenSsh);
    const std::string port = std::to_string(server.Port());
    const std::string knownHosts = server.Folder() + "/bench_known_hosts";
    // OpenSSH's client reads the password from an askpass program.
    const std::string askpass = server.Folder() + "/askpass.sh";
    std::ofstream(askpass) << "#!/bin/sh\necho '" << RealServer::Password << "'\n";
    ::chmod(askpass.c_str(), 0755);

    const std::vector<std::string> korvex = {KORVEX_CLI_PATH, "device",
                                             "--host",        "127.0.0.1",
                                             "--port",        port,
                                             "--user",        RealServer::User,
                                             "--known-hosts", knownHosts + ".korvex",
                                             "version"};
    const std::vector<std::string> korvexEnv = {std::string("KORVEX_PASSWORD=") + RealServer::Password};
    const std::vector<std::string> ssh = {"/usr/bin/ssh",
                                          "-p",
                                          port,
                                          "-o",
                                          "StrictHostKeyChecking=accept-new",
                                          "-o",
                                          "UserKnownHostsFile=" + knownHosts,
                                          "-o",
                                          "PreferredAuthentications=password",
                                          "-o",
                                          "PubkeyAuthentication=no",
                                          "-o",
                                          "BatchMode=no",
                                          "-T",
                                          std::string(RealServer::User) + "@127.0.0.1",
                                          "/tavo/tavo --version"};
    const std::vector<std::string> sshEnv = {"SSH_ASKPASS=" + askpass, "SSH_ASKPASS_REQUIRE=force",
                                             "DISPLAY=:0"};

    // One run of each first records the server's key for both clients.
    if (TimedRun(korvex, korvexEnv) < 0 || TimedRun(ssh, sshEnv) < 0) {
        std::fprintf(stderr, "korvex_version_vs_ssh_bench: a first run failed\n");
        return 1;
    }
    std::vector<double> korvexMs, sshMs;
    for (unsigned i = 0; i < runs; ++i) {
        const double k = TimedRun(korvex, korvexEnv);
        const double s = TimedRun(ssh, sshEnv);
        if (k < 0 || s < 0) {
            std::fprintf(stderr, "korvex_version_vs_ssh_bench: run %u failed\n", i + 1);
            return 1;
        }
        korvexMs.push_back(k);
        sshMs.push_back(s);
    }
    const double k = Median(korvexMs), s = Median(sshMs);
    std::printf("korvex-cli device ... version: median %.1f ms of %u\n", k, runs);
    std::printf("ssh ... /tavo/tavo --version:   median %.1f ms of %u\n", s, runs);
    std::printf("ratio %.2f (goal <= 1.15)\n", k / s);
    std::printf("{\"korvex_version_ms\": %.1f, \"ssh_version_ms\": %.1f, \"ratio\": %.3f}\n", k, s, k / s);
    return 0;
}
