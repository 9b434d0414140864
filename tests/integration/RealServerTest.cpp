// The session's device operations against real SSH servers: the transport,
// channel ends and exit statuses are the servers' own, the device's
// commands and files the simulator's.

#include "RealServers.h"
#include "devicelink/Connection.h"
#include "devicelink/Fakes.h"
#include "devicelink/ProgramHistory.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <future>
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
            ConnectionSetup setup{.status = status, .devices = devices};
            setup.timing.uploadStep_ms = 1;
            setup.timing.restartStep_ms = 1;
            setup.timing.networkStep_ms = 1;
            setup.timing.ioTimeout_ms = 10000;
            setup.knownHostsPath = server->Folder() + "/known_hosts";
            setup.programHistory = historyForSession;
            connection = std::make_unique<Connection>(std::move(setup));
            connection->Start();
        }
        return *connection;
    }

    ConnectDeviceRequest Login() const {
        return {htonl(INADDR_LOOPBACK), server->Port(), RealServer::User, RealServer::Password, ""};
    }

    // Runs one job; its errors, if any, joined. `result` receives its result.
    std::string Run(DeviceRequest request, DeviceResult* result = nullptr) {
        status.Clear();
        std::future<DeviceResult> done = Session().Submit(std::move(request));
        DeviceResult ended = done.get();
        EXPECT_NE(ended.outcome, Outcome::Busy);
        std::string errors;
        for (const auto& e : status.Errors())
            errors += e + "\n";
        if (result)
            *result = std::move(ended);
        return errors;
    }

    std::string Payload(size_t size, unsigned seed) const {
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        return bytes;
    }

    static UploadProgramRequest Upload(const std::string& bytes) { return {{bytes.begin(), bytes.end()}}; }

    // The names of a listing's result.
    static std::vector<std::string> Names(const DeviceResult& result) {
        const Listing* listing = std::get_if<Listing>(&result.value);
        return listing ? listing->names : std::vector<std::string>{};
    }

    std::unique_ptr<RealServer> server;
    ProgramHistory* historyForSession = nullptr; // set before the session is made
    RecordingStatus status;
    DeviceList devices;
    std::unique_ptr<Connection> connection;
};

TEST_P(RealServerTest, EveryOperationEndsWithoutWaitingOnTheServer) {
    ASSERT_EQ(Run(Login()), "");
    ASSERT_TRUE(Session().Connected());
    const std::string program = server->HostPath("/etc/tavo/program.tdv");
    for (unsigned round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        DeviceResult read;
        EXPECT_EQ(Run(ReadNetworkRequest{}, &read), "");
        ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(read.value));
        EXPECT_EQ(std::get<NetworkSnapshot>(read.value).cameraCount, 2u);

        EXPECT_EQ(Run(DownloadProgramRequest{server->Folder() + "/saved.kvx"}), "");
        EXPECT_TRUE(ReadAll(server->Folder() + "/saved.kvx") == ReadAll(program));

        DeviceResult listed;
        EXPECT_EQ(Run(ListLevelRequest{}, &listed), "");
        ASSERT_FALSE(Names(listed).empty());
        const std::string local = server->Folder() + "/recordings/";
        fs::create_directories(local);
        for (int level = 1; level <= 3; ++level)
            EXPECT_EQ(Run(ListLevelRequest{level, {0, 0, 0}, local}, &listed), "");
        ASSERT_FALSE(Names(listed).empty());
        EXPECT_EQ(Run(DownloadRecordingsRequest{{0, 0, 0}, {0}, local}), "");

        EXPECT_EQ(Run(ChangePasswordRequest{RealServer::Password}), "");

        const unsigned restarts = server->Restarts();
        const std::string sent = Payload(26083 + round, round);
        EXPECT_EQ(Run(Upload(sent)), "");
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
    ASSERT_EQ(Run(Login()), "");
    server->SetShellOptions("--cut-upload 20000");
    DeviceResult broken;
    EXPECT_NE(Run(Upload(Payload(26083, 7)), &broken), "");
    EXPECT_EQ(broken.outcome, Outcome::Failed);
    EXPECT_TRUE(ReadAll(program) == before) << "the device's program was changed";
    EXPECT_EQ(server->Restarts(), 0u);
    EXPECT_FALSE(fs::exists(program + ".new"));
}

// Uploads on a device whose program folder the login may write in (the
// program goes beside the old one) and on one where the folder is root's
// and only the program file the login's (it is written in place), each
// whole and with the copy cut part-way: the device is restarted only on
// the program sent, and a cut copy leaves the old program, or has it
// written back and checked.
TEST_P(RealServerTest, UploadsInBothFolderModesEndInAKnownState) {
    const std::string program = server->HostPath("/etc/tavo/program.tdv");
    const std::string before = ReadAll(program);
    ProgramHistory history(server->Folder() + "/history");
    historyForSession = &history;
    ASSERT_EQ(Run(Login()), "");
    for (bool locked : {false, true}) {
        server->SetFolderWritable("/etc/tavo", !locked);
        for (bool cut : {false, true}) {
            SCOPED_TRACE(std::string(locked ? "locked" : "writable") + (cut ? ", cut" : ""));
            std::ofstream(program, std::ios::binary | std::ios::trunc) << before;
            server->SetShellOptions(cut ? "--cut-upload 20000" : "");
            const unsigned restarts = server->Restarts();
            const std::string sent = Payload(26083, locked * 2 + cut);
            DeviceResult result;
            const std::string errors = Run(Upload(sent), &result);
            const UploadReport* report = std::get_if<UploadReport>(&result.value);
            ASSERT_NE(report, nullptr) << errors;
            EXPECT_EQ(report->path, locked ? UploadReport::Path::InPlace : UploadReport::Path::Sibling);
            EXPECT_EQ(report->installed, !cut) << errors;
            EXPECT_EQ(report->previous,
                      cut && locked ? UploadReport::Previous::Restored : UploadReport::Previous::Untouched);
            EXPECT_TRUE(ReadAll(program) == (cut ? before : sent));
            EXPECT_EQ(server->Restarts(), restarts + (cut ? 0 : 1));
            EXPECT_FALSE(fs::exists(program + ".new"));
            EXPECT_EQ(errors.empty(), !cut) << errors;
            if (cut) {
                EXPECT_NE(errors.find(locked ? "written back and checked" : "was not changed"),
                          std::string::npos)
                    << errors;
            }
            EXPECT_TRUE(Session().Connected());
        }
    }
    // The device's program was the same every time: it is kept once.
    ASSERT_EQ(history.List("127.0.0.1").size(), 1u);
    EXPECT_EQ(ReadAll(history.List("127.0.0.1")[0].path), before);
}

// Without a history the previous program is fetched only once the folder
// has refused the file beside it; the refusal leaves the session usable.
TEST_P(RealServerTest, InPlaceUploadWithoutHistoryFetchesThePreviousProgramAfterTheRefusal) {
    const std::string program = server->HostPath("/etc/tavo/program.tdv");
    const std::string before = ReadAll(program);
    server->SetFolderWritable("/etc/tavo", false);
    ASSERT_EQ(Run(Login()), "");
    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut" : "whole");
        std::ofstream(program, std::ios::binary | std::ios::trunc) << before;
        server->SetShellOptions(cut ? "--cut-upload 20000" : "");
        const std::string sent = Payload(26083, 40 + cut);
        DeviceResult result;
        const std::string errors = Run(Upload(sent), &result);
        EXPECT_EQ(errors.empty(), !cut) << errors;
        EXPECT_TRUE(ReadAll(program) == (cut ? before : sent));
        const UploadReport* report = std::get_if<UploadReport>(&result.value);
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->previous,
                  cut ? UploadReport::Previous::Restored : UploadReport::Previous::Untouched);
    }
}

// Repeated failed uploads keep the device's program once, and an older,
// different program kept before them survives.
TEST_P(RealServerTest, CutUploadsKeepOneCopyAndTheOlderProgramSurvives) {
    ProgramHistory history(server->Folder() + "/history");
    const std::string older = "an older, different program";
    history.Keep("127.0.0.1", older.data(), older.size(), UtcTo100ns(2026, 12, 1, 8, 0, 0));
    historyForSession = &history;
    ASSERT_EQ(Run(Login()), "");
    server->SetShellOptions("--cut-upload 2000");
    for (int i = 0; i < 22; ++i)
        EXPECT_NE(Run(Upload(Payload(5000, 100 + i))), "");
    const auto kept = history.List("127.0.0.1");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(ReadAll(kept[0].path), ReadAll(server->HostPath("/etc/tavo/program.tdv")));
    EXPECT_EQ(ReadAll(kept[1].path), older);
    EXPECT_EQ(server->Restarts(), 0u);
}

// A device command that fails (here the version query, exit status 3)
// fails the job that uses its output, with the device's words.
TEST_P(RealServerTest, AFailingCommandFailsItsJob) {
    server->SetShellOptions(
        "--fail-command '/tavo/tavo --version' --fail-status 3 --fail-text 'tavo: broken'");
    DeviceResult connect;
    const std::string errors = Run(Login(), &connect);
    EXPECT_EQ(connect.outcome, Outcome::Failed);
    EXPECT_NE(errors.find("tavo: broken"), std::string::npos) << errors;
    EXPECT_NE(errors.find("3"), std::string::npos) << errors;
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTest,
                         ::testing::Values(ServerKind::OpenSsh, ServerKind::Dropbear),
                         [](const auto& info) { return std::string(test::ServerName(info.param)); });

} // namespace
} // namespace korvex
