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
#include <future>
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
    std::function<bool(const std::function<bool(DeviceRequest)>&)> run;
};

// One fresh session: connect, `operation`, disconnect. False on any error.
bool RunOnce(RealServer& server, const Operation& operation) {
    testing::RecordingStatus status;
    DeviceList devices;
    ConnectionSetup setup{.status = status, .devices = devices};
    setup.timing.poll_ms = 10;
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
         [folder](const auto& job) {
             SaveTo saved(folder + "/saved.kvx");
             return job(DownloadProgramRequest{&saved});
         }},
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
                 ok = job(ListLevelRequest{level, {0, 0, 0}, local, nullptr});
             return ok && job(DownloadRecordingsRequest{{0, 0, 0}, {0}, local, nullptr});
         }},
        {"password", [](const auto& job) { return job(ChangePasswordRequest{RealServer::Password}); }},
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
