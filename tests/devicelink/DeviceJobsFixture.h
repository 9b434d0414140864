#pragma once

// The fixture of the session's end-to-end tests: a device simulator on
// loopback and a Connection driven job by job.

#include "Fakes.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devsim/DeviceSimulator.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace korvex::testing {

namespace fs = std::filesystem;
using korvex::test::FreeUdpPort;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline size_t OpenDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

using korvex::test::FreeUdpPort;

inline const uint32_t Loopback = htonl(INADDR_LOOPBACK);

inline ConnectionTiming FastTiming() {
    ConnectionTiming timing;
    timing.restartStep_ms = 20;
    timing.uploadStep_ms = 20;
    timing.networkStep_ms = 20;
    timing.ioTimeout_ms = 10000;
    return timing;
}

class DeviceJobs : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx-devicelink-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        options.rootDir = (folder / "device").string();
        options.sshPort = 0;
        options.livePort = 0;
        options.announce = false;
        options.announcePort = FreeUdpPort();
        options.announceInterval_ms = 200;
        options.cameraCount = 2;
        options.restartSeconds = 1;
    }

    void TearDown() override {
        if (connection) {
            connection->Stop();
            connection.reset();
        }
        if (device)
            device->Stop();
        device.reset();
        fs::remove_all(folder);
    }

    void StartDevice() {
        device = std::make_unique<devsim::DeviceSimulator>(options);
        device->Start();
        login.port = device->SshPort();
    }

    Connection& Session() {
        if (!connection) {
            ConnectionSetup setup{.status = status, .devices = devices, .timing = timing};
            setup.knownHostsPath = KnownHostsPath();
            Prepare(setup);
            connection = std::make_unique<Connection>(std::move(setup));
            connection->Start();
        }
        return *connection;
    }
    // What a fixture adds to the session's setup before it is made.
    virtual void Prepare(ConnectionSetup&) {}

    std::string KnownHostsPath() const { return (folder / "config/korvex/known_hosts").string(); }

    // Posts a request and waits until the session has finished its job.
    DeviceResult Run(DeviceRequest request) {
        const int32_t code = JobOf(request);
        std::future<DeviceResult> done = Session().Submit(std::move(request));
        if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "job " << code << " did not end";
            return DeviceResult{Outcome::Failed, "did not end", {}, {}};
        }
        DeviceResult result = done.get();
        EXPECT_NE(result.outcome, Outcome::Busy) << "job " << code << " not posted";
        return result;
    }

    void Connect() {
        Run(login);
        ASSERT_TRUE(connection->Connected()) << (status.Errors().empty() ? "" : status.Errors().back());
    }

    // Lists recordings `level` below the rows `selected` of the levels above.
    Listing List(int level, std::initializer_list<int> selected = {}, std::string localFolder = "") {
        ListLevelRequest request;
        request.level = level;
        std::copy(selected.begin(), selected.end(), request.selected);
        request.localFolder = std::move(localFolder);
        DeviceResult result = Run(request);
        const Listing* listing = std::get_if<Listing>(&result.value);
        return listing ? *listing : Listing{level, {}, {}};
    }

    std::string ConnectedText(unsigned cameras) const {
        return LoadTextA(text::status_connected_as) + " admin@127.0.0.1; " +
               LoadTextA(text::status_firmware_version) + ": 2.1.0; " + LoadTextA(text::status_cameras) +
               ": " + std::to_string(cameras);
    }

    fs::path folder;
    // The session's pacing (set before the session is made) and the login
    // of the connect job (its port is the device's once it has started).
    ConnectionTiming timing = FastTiming();
    ConnectDeviceRequest login{Loopback, 0, "admin", "admin", ""};
    devsim::Options options;
    std::unique_ptr<devsim::DeviceSimulator> device;
    RecordingStatus status;
    DeviceList devices;
    std::unique_ptr<Connection> connection;
};

// A TCP relay between the session and the simulator that can stop passing
// bytes on, as a device whose link dies in the middle of a transfer.
class StallingRelay {
public:
    explicit StallingRelay(uint16_t target) : target(target) {
        listener = korvex::test::ListenOnLoopback(port, 1);
        worker = std::thread([this] { Relay(); });
    }
    ~StallingRelay() {
        stop = true;
        worker.join();
        for (int fd : {listener, client, upstream})
            if (fd >= 0)
                ::close(fd);
    }
    uint16_t Port() const { return port; }
    void Stall() { stalled = true; }
    uint64_t ToClient() const { return toClient.load(); }
    uint64_t ToDevice() const { return toDevice.load(); }

private:
    void Accept() {
        client = ::accept(listener, nullptr, nullptr);
        upstream = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(target);
        ::connect(upstream, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    void Relay() {
        char buffer[16384];
        while (!stop) {
            if (client < 0) {
                pollfd p{listener, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0)
                    Accept();
                continue;
            }
            if (stalled) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            // A new connection (the session connecting again) takes the
            // relay over from the one before.
            pollfd p[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {listener, POLLIN, 0}};
            if (::poll(p, 3, 50) <= 0)
                continue;
            if (p[2].revents & POLLIN) {
                ::close(client);
                ::close(upstream);
                Accept();
                continue;
            }
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP)))
                    continue;
                ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    // One side went away: that pair ends, a new connection
                    // may come.
                    ::close(client);
                    ::close(upstream);
                    client = upstream = -1;
                    break;
                }
                const int to = i == 0 ? upstream : client;
                for (ssize_t done = 0; done < n;) {
                    ssize_t w = ::send(to, buffer + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
                    if (w <= 0)
                        break;
                    done += w;
                }
                (i == 1 ? toClient : toDevice) += static_cast<uint64_t>(n);
            }
        }
    }

    uint16_t target;
    uint16_t port = 0;
    int listener = -1;
    int client = -1;
    int upstream = -1;
    std::atomic<bool> stop{false};
    std::atomic<bool> stalled{false};
    std::atomic<uint64_t> toClient{0};
    std::atomic<uint64_t> toDevice{0};
    std::thread worker;
};

} // namespace korvex::testing
