// The session without a device: clock arithmetic, the job protocol, bounded
// connects, host-key names and fingerprints.

#include "Fakes.h"
#include "devicelink/Connection.h"
#include "devicelink/KnownHosts.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace korvex {
namespace {

TEST(Clock, CalendarConversion) {
    EXPECT_EQ(UtcTo100ns(1601, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(UtcTo100ns(1970, 1, 1, 0, 0, 0), 116444736000000000ULL);
    EXPECT_EQ(UtcTo100ns(2000, 3, 1, 0, 0, 1) - UtcTo100ns(2000, 2, 28, 0, 0, 0),
              (2ULL * 86400 + 1) * 10000000ULL); // 2000 is a leap year
}

TEST(Clock, SetOnlyBeyondTenSeconds) {
    const uint64_t device = UtcTo100ns(2026, 12, 7, 8, 0, 10);
    const std::string output = "2026-12-07T08:00:10+00:00\n";
    EXPECT_EQ(ClockCommand(output, device - 100000000ULL), ""); // exactly 10 s behind
    EXPECT_EQ(ClockCommand(output, device + 100000000ULL), ""); // exactly 10 s ahead
    EXPECT_EQ(ClockCommand(output, device - 100000001ULL), "/tavo/setdate \"2026-12-07 07:59:59\"");
    EXPECT_EQ(ClockCommand(output, UtcTo100ns(2027, 1, 1, 0, 0, 0) + 5),
              "/tavo/setdate \"2027-01-01 00:00:00\"");
}

TEST(Clock, UnreadableOutputIsIgnored) {
    const uint64_t far = UtcTo100ns(2030, 1, 1, 0, 0, 0);
    EXPECT_EQ(ClockCommand("2026-12-07T08:00:10", far), ""); // 19 characters
    EXPECT_EQ(ClockCommand("date: invalid option -- 'I'\n", far), "");
    EXPECT_EQ(ClockCommand("2026-13-07T08:00:10+00:00", far), ""); // no 13th month
    EXPECT_NE(ClockCommand("2026-12-07T08:00:10+00:00", far), "");
}

TEST(KnownHosts, NamesAndFingerprints) {
    EXPECT_EQ(KnownHostName("10.0.0.5", 22), "10.0.0.5");
    EXPECT_EQ(KnownHostName("10.0.0.5", 2222), "[10.0.0.5]:2222");
    // SHA-256 of nothing, base64 without padding, as OpenSSH prints it.
    EXPECT_EQ(KeyFingerprint(reinterpret_cast<const unsigned char*>(""), 0),
              "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU");
}

TEST(KnownHosts, DefaultPathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/kx-config", 1);
    EXPECT_EQ(DefaultKnownHostsPath(), "/tmp/kx-config/korvex/known_hosts");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    setenv("HOME", "/tmp/kx-home", 1);
    EXPECT_EQ(DefaultKnownHostsPath(), "/tmp/kx-home/.config/korvex/known_hosts");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

class SessionLoop : public ::testing::Test {
protected:
    SessionLoop() = default;
    ~SessionLoop() override {
        if (connection)
            connection->Stop();
    }

    // Makes the session with `timing` (once) and starts it.
    Connection& Start() {
        connection = std::make_unique<Connection>(
            ConnectionSetup{.status = status, .devices = devices, .timing = timing});
        connection->Start();
        return *connection;
    }

    DeviceResult RunJob(DeviceRequest request) {
        std::future<DeviceResult> done = connection->Submit(std::move(request));
        if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
            return DeviceResult{Outcome::Failed, "did not end", {}, {}};
        return done.get();
    }

    ConnectDeviceRequest To(uint32_t address, uint16_t port) const {
        return ConnectDeviceRequest{
            address, port, "admin", "admin",
            (std::filesystem::temp_directory_path() / "kx-session-loop-hosts").string()};
    }

    ConnectionTiming timing;
    testing::RecordingStatus status;
    DeviceList devices;
    std::unique_ptr<Connection> connection;
};

TEST_F(SessionLoop, EveryJobWithoutASessionEndsAsNotConnectedAndShowsNothing) {
    Start();
    const DeviceRequest requests[] = {ChangePasswordRequest{"x"},
                                      RestartRequest{},
                                      UploadProgramRequest{{1, 2}},
                                      DownloadProgramRequest{},
                                      ReadNetworkRequest{},
                                      WriteNetworkRequest{},
                                      ListLevelRequest{2, {0, 0, -1}, ""},
                                      DownloadRecordingsRequest{{0, 0, 0}, {0}, ""},
                                      SyncClockRequest{}};
    for (const DeviceRequest& request : requests) {
        const DeviceResult result = RunJob(request);
        EXPECT_EQ(result.outcome, Outcome::NotConnected) << request.index();
        EXPECT_TRUE(std::holds_alternative<std::monostate>(result.value)) << request.index();
    }
    // Disconnecting what is not connected is no failure.
    EXPECT_TRUE(RunJob(DisconnectRequest{}).Ok());
    EXPECT_TRUE(status.Events().empty());
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->PendingJob(), JobNone);
}

TEST_F(SessionLoop, ARequestNoJobRunsIsAnsweredAtOnce) {
    Start();
    ListLevelRequest below;
    below.level = 4;
    std::future<DeviceResult> refused = connection->Submit(below);
    ASSERT_EQ(refused.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(refused.get().outcome, Outcome::Failed);
    EXPECT_EQ(connection->PendingJob(), JobNone);
}

TEST_F(SessionLoop, PostOnlyWhileIdle) {
    // Not started: the first job stays pending, the second is refused.
    connection =
        std::make_unique<Connection>(ConnectionSetup{.status = status, .devices = devices, .timing = timing});
    EXPECT_TRUE(connection->Post(RestartRequest{}));
    EXPECT_FALSE(connection->Post(To(htonl(INADDR_LOOPBACK), 22)));
    EXPECT_EQ(connection->PendingJob(), JobRestart);
    connection->Start();
    EXPECT_TRUE(testing::WaitFor([&] { return connection->PendingJob() == 0; }, 5000));
}

TEST_F(SessionLoop, AStoppedSessionAnswersWhatItNeverTookAsStopped) {
    connection =
        std::make_unique<Connection>(ConnectionSetup{.status = status, .devices = devices, .timing = timing});
    std::future<DeviceResult> waiting = connection->Submit(RestartRequest{});
    connection.reset(); // never started
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(waiting.get().outcome, Outcome::Stopped);
    // After its thread has ended a session takes nothing more.
    Start();
    connection->Stop();
    std::future<DeviceResult> late = connection->Submit(RestartRequest{});
    ASSERT_EQ(late.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_NE(late.get().outcome, Outcome::Ok);
    EXPECT_FALSE(connection->Post(RestartRequest{}));
}

uint16_t ClosedTcpPort() {
    return test::FreeTcpPort(); // nobody listens there now
}

TEST_F(SessionLoop, RefusedConnectShows142ThenError230) {
    Start();
    const ConnectDeviceRequest closed = To(htonl(INADDR_LOOPBACK), ClosedTcpPort());
    const DeviceResult refused = RunJob(closed);
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.error, LoadTextA(text::session_unreachable));
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::status_connect_failed}));
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::session_unreachable)}));
    // The session is closed: a new attempt starts from scratch.
    status.Clear();
    RunJob(closed);
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::session_unreachable)}));
}

TEST_F(SessionLoop, PlaceholderAddressIsNotThisMachine) {
    // Something listens on every local address, as an SSH server here would.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t n = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n);
    timing.ioTimeout_ms = 500;
    Start();
    RunJob(To(0, ntohs(a.sin_port))); // the placeholder entry's address
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::status_connect_failed}));
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::session_unreachable)}));
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0); // nobody came
    ::close(listener);
}

// A loopback port whose listen queue is full: a new connection there is
// neither accepted nor refused, like a host that does not answer.
class FullListener {
public:
    FullListener() {
        listener = korvex::test::ListenOnLoopback(port, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        for (int i = 0; i < 4; ++i) {
            int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers.push_back(f);
        }
    }
    ~FullListener() {
        for (int f : fillers)
            ::close(f);
        ::close(listener);
    }
    uint16_t port = 0;

private:
    int listener = -1;
    std::vector<int> fillers;
};

TEST_F(SessionLoop, StopDuringConnectEndsPromptly) {
    FullListener silent;
    timing.connectTimeout_ms = 120000;
    timing.ioTimeout_ms = 120000; // only the stop can end either wait
    Start();
    ASSERT_TRUE(connection->Post(To(htonl(INADDR_LOOPBACK), silent.port)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    connection->Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Not a speed measurement: without the interrupt Stop would wait two minutes.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
    EXPECT_FALSE(connection->Connected());
    EXPECT_TRUE(status.Errors().empty());
}

TEST_F(SessionLoop, ConnectToSilentAddressEndsAtTimeOut) {
    FullListener silent;
    timing.connectTimeout_ms = 300;
    timing.ioTimeout_ms = 300; // the handshake then waits at most this
    Start();
    EXPECT_EQ(RunJob(To(htonl(INADDR_LOOPBACK), silent.port)).outcome, Outcome::Failed);
    EXPECT_FALSE(connection->Connected());
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_TRUE(status.Errors()[0] == LoadTextA(text::session_unreachable) ||
                status.Errors()[0] == LoadTextA(text::session_handshake_failed))
        << status.Errors()[0];
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::status_connect_failed}));
}

} // namespace
} // namespace korvex
