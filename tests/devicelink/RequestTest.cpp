// Typed requests: the job each one posts, and the mailbox that hands one
// request to the session thread while refusing a second.

#include "Fakes.h"
#include "devicelink/Connection.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace korvex {
namespace {

TEST(DeviceRequests, EachPostsItsJob) {
    EXPECT_EQ(JobOf(ConnectDeviceRequest{}), JobConnect);
    EXPECT_EQ(JobOf(DisconnectRequest{}), JobDisconnect);
    EXPECT_EQ(JobOf(ChangePasswordRequest{}), JobChangePassword);
    EXPECT_EQ(JobOf(RestartRequest{}), JobRestart);
    EXPECT_EQ(JobOf(UploadProgramRequest{}), JobUploadProgram);
    EXPECT_EQ(JobOf(DownloadProgramRequest{}), JobDownloadProgram);
    EXPECT_EQ(JobOf(ReadNetworkRequest{}), JobReadNetwork);
    EXPECT_EQ(JobOf(WriteNetworkRequest{}), JobWriteNetwork);
    EXPECT_EQ(JobOf(DownloadRecordingsRequest{}), JobDownloadRecordings);
    const int32_t levels[4] = {JobListCameras, JobListLevel2, JobListHours, JobListFiles};
    for (int level = 0; level < 4; ++level) {
        ListLevelRequest list;
        list.level = level;
        EXPECT_EQ(JobOf(list), levels[level]) << level;
    }
    for (int level : {-1, 4}) {
        ListLevelRequest list;
        list.level = level;
        EXPECT_EQ(JobOf(list), JobNone) << level;
    }
}

class RequestMailbox : public ::testing::Test {
protected:
    RequestMailbox() : connection(status, devices) {
        connection.timing.poll_ms = 10;
        connection.timing.ioTimeout_ms = 500;
    }
    ~RequestMailbox() override { connection.Stop(); }

    static ConnectDeviceRequest To(uint16_t port) {
        ConnectDeviceRequest r;
        r.deviceAddress = htonl(INADDR_LOOPBACK);
        r.port = port;
        r.userName = "admin";
        return r;
    }

    testing::RecordingStatus status;
    DeviceList devices;
    Connection connection;
};

TEST_F(RequestMailbox, ASecondRequestIsRefusedAndTheFirstRunsAsPosted) {
    uint16_t listening = 0;
    const int listener = test::ListenOnLoopback(listening);
    ASSERT_GE(listener, 0);
    // Not started: the first request waits, the second finds the job taken.
    ASSERT_TRUE(connection.Post(To(listening)));
    EXPECT_FALSE(connection.Post(To(test::FreeTcpPort())));
    EXPECT_FALSE(connection.Post(JobConnect));
    EXPECT_EQ(connection.PendingJob(), JobConnect);
    connection.Start();
    ASSERT_TRUE(testing::WaitFor([&] { return connection.PendingJob() == 0; }, 20000));
    // The connect went where the first request said (the listener never
    // answers, so the login fails there).
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(status.Errors().size(), 1u);
    ::close(listener);
}

TEST_F(RequestMailbox, AListingBelowTheFilesIsRefusedAndPostsNothing) {
    ListLevelRequest list;
    list.level = 4;
    EXPECT_FALSE(connection.Post(list));
    EXPECT_EQ(connection.PendingJob(), 0);
    // The mailbox is free for the next request.
    EXPECT_TRUE(connection.Post(RestartRequest{}));
    EXPECT_EQ(connection.PendingJob(), JobRestart);
}

TEST_F(RequestMailbox, ARequestsSinkIsUsedForItsJobOnly) {
    // Not connected: the job reports nothing, and the sink is let go after it.
    struct CountingChooser : FileChooser {
        std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override {
            ++asked;
            return std::nullopt;
        }
        int asked = 0;
    } chooser;
    connection.Start();
    ASSERT_TRUE(connection.Post(DownloadProgramRequest{&chooser}));
    ASSERT_TRUE(testing::WaitFor([&] { return connection.PendingJob() == 0; }, 20000));
    EXPECT_EQ(connection.fileChooser, nullptr);
}

} // namespace
} // namespace korvex
