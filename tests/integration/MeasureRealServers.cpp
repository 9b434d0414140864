// Runs every device operation many times against real OpenSSH and Dropbear
// servers and prints, per server and operation, the failures and the
// slowest and mean time (a fresh session each run: connect, the operation,
// disconnect). The restart waits after an upload are left out (0 ms
// steps). Not a test: scripts/measure-real-servers.sh runs it.

#include "RealServers.h"
#include "devicelink/Connection.h"
#include "devicelink/Fakes.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

using namespace korvex;
using test::RealServer;
using test::ServerKind;

namespace {

class SaveTo : public FileChooser {
public:
    explicit SaveTo(std::string path) : path(std::move(path)) {}
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return path; }
    std::string path;
};

struct Operation {
    const char* name;
    std::function<bool(Connection&, const std::function<bool(int32_t)>&)> run;
};

// One fresh session: connect, `operation`, disconnect. False on any error.
bool RunOnce(RealServer& server, const Operation& operation) {
    testing::RecordingStatus status;
    DeviceList devices;
    Connection c(status, devices);
    c.timing.poll_ms = 10;
    c.timing.uploadStep_ms = 0;
    c.knownHostsPath = server.Folder() + "/known_hosts";
    c.deviceAddress = htonl(INADDR_LOOPBACK);
    c.port = server.Port();
    c.userName = RealServer::User;
    c.password = RealServer::Password;
    c.Start();
    const auto job = [&](int32_t code) {
        if (!c.Post(code))
            return false;
        while (c.PendingJob() != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return status.Errors().empty();
    };
    bool ok = job(JobConnect) && c.Connected() && operation.run(c, job);
    ok = job(JobDisconnect) && ok;
    c.Stop();
    for (const auto& e : status.Errors())
        std::fprintf(stderr, "  %s: %s\n", operation.name, e.c_str());
    return ok;
}

std::vector<Operation> Operations(const std::string& folder) {
    return {
        {"version", [](Connection&, const auto&) { return true; }},
        {"network-show", [](Connection&, const auto& job) { return job(JobReadNetwork); }},
        {"download",
         [folder](Connection& c, const auto& job) {
             SaveTo saved(folder + "/saved.kvx");
             c.fileChooser = &saved;
             const bool ok = job(JobDownloadProgram);
             c.fileChooser = nullptr;
             return ok;
         }},
        {"upload",
         [](Connection& c, const auto& job) {
             c.uploadPayload.assign(26083, 0x5A);
             return job(JobUploadProgram);
         }},
        {"recordings-ls", [](Connection&, const auto& job) { return job(JobListCameras); }},
        {"recordings-get",
         [folder](Connection& c, const auto& job) {
             c.localFolder = folder + "/recordings/";
             std::filesystem::remove_all(c.localFolder);
             std::filesystem::create_directories(c.localFolder);
             c.selectedLevel[0] = c.selectedLevel[1] = c.selectedLevel[2] = 0;
             c.selectedFiles = {0};
             return job(JobListCameras) && job(JobListLevel2) && job(JobListHours) && job(JobListFiles) &&
                    job(JobDownloadRecordings);
         }},
        {"password", [](Connection&, const auto& job) { return job(JobChangePassword); }},
    };
}

} // namespace

int main(int argc, char** argv) {
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
