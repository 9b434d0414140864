// The session's device operations against real SSH servers: the transport,
// channel ends and exit statuses are the servers' own, the device's
// commands and files the simulator's.

#include "RealServers.h"
#include "devicelink/Connection.h"
#include "devicelink/Fakes.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using test::RealServer;
using test::ServerKind;
using testing::RecordingStatus;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SaveTo : public FileChooser {
public:
    explicit SaveTo(std::string path) : path(std::move(path)) {}
    std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return path; }
    std::string path;
};

class RealServerTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        const std::string why = test::RealServersUnavailable();
        if (!why.empty())
            GTEST_SKIP() << why;
        server = std::make_unique<RealServer>(GetParam());
    }
    void TearDown() override {
        if (connection)
            connection->Stop();
        connection.reset();
        server.reset();
    }

    Connection& Session() {
        if (!connection) {
            connection = std::make_unique<Connection>(status, devices);
            connection->timing.poll_ms = 10;
            connection->timing.uploadStep_ms = 1;
            connection->timing.restartStep_ms = 1;
            connection->timing.networkStep_ms = 1;
            connection->timing.ioTimeout_ms = 10000;
            connection->knownHostsPath = server->Folder() + "/known_hosts";
            connection->deviceAddress = htonl(INADDR_LOOPBACK);
            connection->port = server->Port();
            connection->userName = RealServer::User;
            connection->password = RealServer::Password;
            connection->Start();
        }
        return *connection;
    }

    // Runs one job; its errors, if any, joined.
    std::string Run(int32_t code) {
        status.Clear();
        Connection& c = Session();
        EXPECT_TRUE(c.Post(code));
        while (c.PendingJob() != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string errors;
        for (const auto& e : status.Errors())
            errors += e + "\n";
        return errors;
    }

    std::string Payload(size_t size, unsigned seed) const {
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        return bytes;
    }

    void Upload(const std::string& bytes) { Session().uploadPayload.assign(bytes.begin(), bytes.end()); }

    std::unique_ptr<RealServer> server;
    RecordingStatus status;
    DeviceList devices;
    std::unique_ptr<Connection> connection;
};

TEST_P(RealServerTest, EveryOperationEndsWithoutWaitingOnTheServer) {
    ASSERT_EQ(Run(JobConnect), "");
    ASSERT_TRUE(Session().Connected());
    const std::string program = server->HostPath("/etc/tavo/program.tdv");
    for (unsigned round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_EQ(Run(JobReadNetwork), "");
        EXPECT_EQ(Session().cameraCount, 2u);

        SaveTo saved(server->Folder() + "/saved.kvx");
        Session().fileChooser = &saved;
        EXPECT_EQ(Run(JobDownloadProgram), "");
        EXPECT_TRUE(ReadAll(saved.path) == ReadAll(program));

        EXPECT_EQ(Run(JobListCameras), "");
        ASSERT_FALSE(Session().cameraDirs.empty());
        Session().selectedLevel[0] = 0;
        EXPECT_EQ(Run(JobListLevel2), "");
        Session().selectedLevel[1] = 0;
        EXPECT_EQ(Run(JobListHours), "");
        Session().selectedLevel[2] = 0;
        EXPECT_EQ(Run(JobListFiles), "");
        ASSERT_FALSE(Session().mp4Files.empty());
        Session().selectedFiles = {0};
        Session().localFolder = server->Folder() + "/recordings/";
        fs::create_directories(Session().localFolder);
        EXPECT_EQ(Run(JobDownloadRecordings), "");

        EXPECT_EQ(Run(JobChangePassword), "");

        const unsigned restarts = server->Restarts();
        const std::string sent = Payload(26083 + round, round);
        Upload(sent);
        EXPECT_EQ(Run(JobUploadProgram), "");
        EXPECT_TRUE(ReadAll(program) == sent);
        EXPECT_EQ(server->Restarts(), restarts + 1);
        struct stat info {};
        ASSERT_EQ(::stat(program.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        EXPECT_TRUE(Session().Connected());
    }
}

TEST_P(RealServerTest, BrokenUploadKeepsTheProgramAndDoesNotRestart) {
    const std::string program = server->HostPath("/etc/tavo/program.tdv");
    const std::string before = ReadAll(program);
    ASSERT_EQ(Run(JobConnect), "");
    server->SetShellOptions("--cut-upload 20000");
    Upload(Payload(26083, 7));
    EXPECT_NE(Run(JobUploadProgram), "");
    EXPECT_TRUE(ReadAll(program) == before) << "the device's program was changed";
    EXPECT_EQ(server->Restarts(), 0u);
    EXPECT_FALSE(fs::exists(program + ".new"));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest,
                         ::testing::Values(ServerKind::OpenSsh, ServerKind::Dropbear),
                         [](const auto& info) { return std::string(test::ServerName(info.param)); });

} // namespace
} // namespace korvex
