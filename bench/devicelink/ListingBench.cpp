// Time of one recordings listing job over SSH.
//
//   korvex_devicelink_bench
//
// Listing/<files>: the job that lists the recording files of one hour folder
// ("ls -p" of the folder, its output collected over the session and
// filtered), against the device simulator on loopback, for an hour folder of
// 2 and of 2,002 files. Reports the time of one whole job, from posting it to
// the session thread clearing it.
#include "devicelink/Connection.h"
#include "devsim/DeviceSimulator.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <thread>
#include <unistd.h>

using namespace korvex;

namespace {

namespace fs = std::filesystem;

class NullStatus : public StatusSink {
public:
    void ShowProgress(unsigned, unsigned) override {}
    void ShowMessage(unsigned) override {}
    void ShowText(const std::string&) override {}
    void ShowError(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
};

DeviceResult RunJob(Connection& c, DeviceRequest request) {
    return c.Submit(std::move(request)).get();
}

// The names a listing gave back.
std::vector<std::string> Names(const DeviceResult& result) {
    const auto* listing = std::get_if<Listing>(&result.value);
    return listing ? listing->names : std::vector<std::string>{};
}

void RecordingsListing(benchmark::State& state) {
    const auto files = static_cast<unsigned>(state.range(0));
    const fs::path root = fs::temp_directory_path() / ("kx-listing-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    devsim::Options options;
    options.rootDir = (root / "device").string();
    options.sshPort = 0;
    options.livePort = 0;
    options.announce = false;
    devsim::DeviceSimulator device(options);
    device.Start();
    const fs::path hour = device.HostPath("/mnt/usbdrive/cam9/2026-12-07/10");
    fs::create_directories(hour);
    for (unsigned i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "10-%04u-00.mp4", i);
        std::ofstream(hour / name).put('x');
    }

    NullStatus status;
    DeviceList devices;
    ConnectionSetup setup{.status = status, .devices = devices};
    setup.knownHostsPath = (root / "known_hosts").string();
    Connection connection(std::move(setup));
    connection.Start();
    RunJob(connection, ConnectDeviceRequest{htonl(INADDR_LOOPBACK), device.SshPort(), options.user,
                                            options.password, ""});
    if (!connection.Connected()) {
        state.SkipWithError("could not connect to the simulator");
        return;
    }
    // Select cam9/2026-12-07/10 level by level.
    ListLevelRequest place;
    std::vector<std::string> listed = Names(RunJob(connection, place));
    const char* names[3] = {"cam9", "2026-12-07", "10"};
    for (int l = 0; l < 3; ++l) {
        for (size_t i = 0; i < listed.size(); ++i)
            if (listed[i] == names[l])
                place.selected[l] = static_cast<int>(i);
        place.level = l + 1;
        listed = Names(RunJob(connection, place));
    }
    if (listed.size() != files) {
        state.SkipWithError("the listing did not show every file");
        return;
    }
    for (auto _ : state) {
        const DeviceResult result = RunJob(connection, place);
        benchmark::DoNotOptimize(Names(result).size());
    }
    state.counters["files"] = files;
    connection.Stop();
    device.Stop();
    fs::remove_all(root);
}

} // namespace

BENCHMARK(RecordingsListing)->Arg(2)->Arg(2002)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

BENCHMARK_MAIN();
