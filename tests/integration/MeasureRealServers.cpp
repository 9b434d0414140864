// Runs every device operation many times against real OpenSSH and Dropbear
// servers and prints, per server and operation, the failures and the
// slowest and mean time (a fresh session each run: connect, the operation,
// disconnect). The restart waits after an upload are left out (0 ms
// steps). With "uploads" first it runs an upload loop instead, on both
// servers and the simulator, with the program folder writable and locked
// (root's, the program file the login's), and says which way the program
// reached each device. Not a test: scripts/measure-real-servers.sh runs it.

#include "RealServers.h"
#include "devicelink/Connection.h"
#include "devicelink/Fakes.h"
#include "devicelink/ProgramHistory.h"
#include "devsim/DeviceSimulator.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

using namespace korvex;
using test::RealServer;
using test::ServerKind;

namespace {

struct Operation {
    const char* name;
    std::function<bool(const std::function<bool(DeviceRequest)>&)> run;
};

// One fresh session: connect, `operation`, disconnect. False on any error.
bool RunOnce(RealServer& server, const Operation& operation) {
    testing::RecordingStatus status;
    DeviceList devices;
    ConnectionSetup setup{.status = status, .devices = devices};
    setup.timing.uploadStep_ms = 0;
    setup.knownHostsPath = server.Folder() + "/known_hosts";
    Connection c(std::move(setup));
    c.Start();
    const auto job = [&](DeviceRequest request) {
        std::future<DeviceResult> done = c.Submit(std::move(request));
        return done.get().Ok() && status.Errors().empty();
    };
    const ConnectDeviceRequest login{htonl(INADDR_LOOPBACK), server.Port(), RealServer::User,
                                     RealServer::Password, ""};
    bool ok = job(login) && c.Connected() && operation.run(job);
    ok = job(DisconnectRequest{}) && ok;
    c.Stop();
    for (const auto& e : status.Errors())
        std::fprintf(stderr, "  %s: %s\n", operation.name, e.c_str());
    return ok;
}

std::vector<Operation> Operations(const std::string& folder) {
    return {
        {"version", [](const auto&) { return true; }},
        {"network-show", [](const auto& job) { return job(ReadNetworkRequest{}); }},
        {"download",
         [folder](const auto& job) { return job(DownloadProgramRequest{folder + "/saved.kvx"}); }},
        {"upload",
         [](const auto& job) { return job(UploadProgramRequest{std::vector<uint8_t>(26083, 0x5A)}); }},
        {"recordings-ls", [](const auto& job) { return job(ListLevelRequest{}); }},
        {"recordings-get",
         [folder](const auto& job) {
             const std::string local = folder + "/recordings/";
             std::filesystem::remove_all(local);
             std::filesystem::create_directories(local);
             bool ok = true;
             for (int level = 0; level < 4 && ok; ++level)
                 ok = job(ListLevelRequest{level, {0, 0, 0}, local});
             return ok && job(DownloadRecordingsRequest{{0, 0, 0}, {0}, local});
         }},
        {"password", [](const auto& job) { return job(ChangePasswordRequest{RealServer::Password}); }},
    };
}

// `runs` uploads of 26083 bytes to the SSH server on `port`, on one
// session (a new one after a run that lost it): one line with the path
// taken, failures and the times of the upload jobs (the restart command
// included, the wait after it not).
void UploadLoop(const char* kind, const char* mode, uint16_t port, const std::string& user,
                const std::string& password, const std::string& folder, int runs) {
    testing::RecordingStatus status;
    DeviceList devices;
    // As korvex-cli and the window upload: the device's program is kept
    // first (once, as it does not change between the runs).
    std::filesystem::remove_all(folder + "/history");
    ProgramHistory history(folder + "/history");
    ConnectionSetup setup{.status = status, .devices = devices, .programHistory = &history};
    setup.timing.uploadStep_ms = 0;
    setup.knownHostsPath = folder + "/known_hosts";
    Connection c(std::move(setup));
    c.Start();
    const ConnectDeviceRequest login{htonl(INADDR_LOOPBACK), port, user, password, ""};
    int failures = 0;
    double slowest = 0, total = 0;
    std::string path = "-";
    for (int i = 0; i < runs; ++i) {
        // A run that lost the session is followed by a new one, outside
        // the time measured.
        if (!c.Connected())
            c.Submit(login).get();
        std::vector<uint8_t> program(26083, static_cast<uint8_t>(i));
        const auto start = std::chrono::steady_clock::now();
        const DeviceResult result = c.Submit(UploadProgramRequest{std::move(program)}).get();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        slowest = std::max(slowest, ms);
        total += ms;
        if (!result.Ok()) {
            ++failures;
            std::fprintf(stderr, "  %s %s: %s\n", kind, mode, result.error.c_str());
        }
        if (const auto* report = std::get_if<UploadReport>(&result.value))
            path = report->path == UploadReport::Path::InPlace ? "in place" : "sibling";
    }
    c.Stop();
    std::printf("%-12s %-9s %-9s %5d %8d %8.0f %8.0f\n", kind, mode, path.c_str(), runs, failures, slowest,
                total / runs);
    std::fflush(stdout);
}

int MeasureUploads(int runs) {
    std::printf("%-12s %-9s %-9s %5s %8s %8s %8s\n", "device", "folder", "path", "runs", "failures", "max ms",
                "mean ms");
    const std::string why = test::RealServersUnavailable();
    if (!why.empty())
        std::fprintf(stderr, "measure-real-servers: real servers left out: %s\n", why.c_str());
    for (ServerKind kind : {ServerKind::OpenSsh, ServerKind::Dropbear}) {
        if (!why.empty())
            break;
        RealServer server(kind);
        for (bool locked : {false, true}) {
            server.SetFolderWritable("/etc/tavo", !locked);
            UploadLoop(test::ServerName(kind), locked ? "locked" : "writable", server.Port(),
                       RealServer::User, RealServer::Password, server.Folder(), runs);
        }
    }
    char pattern[] = "/tmp/korvex-measure-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    for (bool locked : {false, true}) {
        devsim::Options options;
        options.rootDir = std::string(pattern) + "/device";
        options.sshPort = 0;
        options.livePort = 0;
        options.announce = false;
        options.restartSeconds = 0;
        if (locked)
            options.faults.lockedFolders = {"/etc/tavo"};
        devsim::DeviceSimulator device(options);
        device.Start();
        UploadLoop("korvex-devsim", locked ? "locked" : "writable", device.SshPort(), "admin", "admin",
                   pattern, runs);
        device.Stop();
    }
    std::filesystem::remove_all(pattern);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "uploads")
        return MeasureUploads(argc > 2 ? std::atoi(argv[2]) : 50);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::string why = test::RealServersUnavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "measure-real-servers: %s\n", why.c_str());
        return 2;
    }
    std::printf("%-9s %-15s %5s %8s %8s %8s\n", "server", "operation", "runs", "failures", "max ms",
                "mean ms");
    for (ServerKind kind : {ServerKind::OpenSsh, ServerKind::Dropbear}) {
        RealServer server(kind);
        for (const Operation& operation : Operations(server.Folder())) {
            int failures = 0;
            double slowest = 0, total = 0;
            for (int i = 0; i < runs; ++i) {
                const auto start = std::chrono::steady_clock::now();
                if (!RunOnce(server, operation))
                    ++failures;
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count();
                slowest = std::max(slowest, ms);
                total += ms;
            }
            std::printf("%-9s %-15s %5d %8d %8.0f %8.0f\n", test::ServerName(kind), operation.name, runs,
                        failures, slowest, total / runs);
            std::fflush(stdout);
        }
    }
    return 0;
}
