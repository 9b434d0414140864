// Typed requests: the job each one posts, and the mailbox that hands one
// request to the session thread while refusing a second.

#include "Fakes.h"
#include "devicelink/Connection.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
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
    RequestMailbox()
        : connection(ConnectionSetup{.status = status, .devices = devices, .timing = Timing()}) {}
    static ConnectionTiming Timing() {
        ConnectionTiming timing;
        timing.ioTimeout_ms = 500;
        return timing;
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
    std::future<DeviceResult> first = connection.Submit(To(listening));
    EXPECT_FALSE(connection.Post(To(test::FreeTcpPort())));
    std::future<DeviceResult> second = connection.Submit(RestartRequest{});
    ASSERT_EQ(second.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(second.get().outcome, Outcome::Busy);
    EXPECT_EQ(connection.PendingJob(), JobConnect);
    connection.Start();
    ASSERT_EQ(first.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const DeviceResult result = first.get();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(connection.PendingJob(), 0);
    // The connect went where the first request said (the listener never
    // answers, so the login fails there).
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_FALSE(connection.Connected());
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_EQ(result.error, status.Errors()[0]);
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

TEST_F(RequestMailbox, EveryJobsResultReachesTheResultSinkBeforeTheSessionIsFree) {
    // The sink sees each job's result while its job still counts as
    // pending: a caller that finds the session idle has had the result.
    struct Results : DeviceResultSink {
        explicit Results(Connection*& session) : session(session) {}
        void JobEnded(const DeviceResult& result) override {
            std::lock_guard<std::mutex> guard(lock);
            seen.emplace_back(session->PendingJob(), result.outcome);
            pendingAtEnd.push_back(session->PendingJob());
        }
        Connection*& session;
        std::mutex lock;
        std::vector<std::pair<int32_t, Outcome>> seen;
        std::vector<int32_t> pendingAtEnd;
    };
    Connection* session = nullptr;
    Results results(session);
    Connection told(
        ConnectionSetup{.status = status, .devices = devices, .results = &results, .timing = Timing()});
    session = &told;
    told.Start();
    for (DeviceRequest request : {DeviceRequest{RestartRequest{}}, DeviceRequest{DisconnectRequest{}}}) {
        const int32_t job = JobOf(request);
        std::future<DeviceResult> done = told.Submit(std::move(request));
        ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        done.get();
        std::lock_guard<std::mutex> guard(results.lock);
        ASSERT_FALSE(results.seen.empty());
        EXPECT_EQ(results.seen.back().first, job);
        EXPECT_EQ(results.pendingAtEnd.back(), job);
    }
    told.Stop();
    EXPECT_EQ(results.seen, (std::vector<std::pair<int32_t, Outcome>>{{JobRestart, Outcome::NotConnected},
                                                                      {JobDisconnect, Outcome::Ok}}));
}

} // namespace
} // namespace korvex
