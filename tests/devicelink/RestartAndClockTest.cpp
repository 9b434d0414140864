// Restarts and clock settings whose outcome the device reports: a refused
// command, a device that never comes back and a clock that cannot be read
// or set are failures, never shown as success.

#include "DeviceJobsFixture.h"

namespace korvex {
namespace {

using testing::DeviceJobs;
using testing::WaitFor;

class DeviceVerdicts : public DeviceJobs {
protected:
    void Refuse(const std::string& command, int exitStatus, const std::string& text) {
        devsim::FaultOptions faults;
        faults.failCommand = command;
        faults.failStatus = exitStatus;
        faults.failText = text;
        device->SetFaults(faults);
    }
    // Runs one clock synchronisation round and waits for its end.
    void ClockRound() {
        const unsigned checks = connection->ClockChecks();
        device->ClearLogs();
        connection->SetRound(connection->timing.clockRounds - 1);
        ASSERT_TRUE(WaitFor([&] { return connection->ClockChecks() != checks; }, 20000));
    }
    std::vector<std::string> CommandsSent() const {
        std::vector<std::string> sent;
        for (const auto& c : device->Commands())
            sent.push_back(c.command);
        return sent;
    }
};

TEST_F(DeviceVerdicts, RefusedRestartFailsRestartAndUploadWithTheDevicesWords) {
    StartDevice();
    Connect();
    Refuse("sync && /tavo/restart", 3, "boom");
    status.Clear();
    Run(JobRestart);
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_NE(status.Errors()[0].find("boom"), std::string::npos) << status.Errors()[0];
    EXPECT_NE(status.Errors()[0].find("3"), std::string::npos) << status.Errors()[0];
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{156}));

    connection->uploadPayload.assign(100, 7);
    status.Clear();
    Run(JobUploadProgram);
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_NE(status.Errors()[0].find("boom"), std::string::npos) << status.Errors()[0];
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{162}));
    EXPECT_EQ(device->RestartCount(), 0u);
}

TEST_F(DeviceVerdicts, DeviceThatNeverComesBackFailsTheRestart) {
    options.restartSeconds = 600;
    StartDevice();
    Session().timing.reconnectTimeout_ms = 500;
    Connect();
    status.Clear();
    Run(JobRestart);
    EXPECT_EQ(device->RestartCount(), 1u);
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(1032)}));
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{156}));
}

TEST_F(DeviceVerdicts, FailingDateIsAFailedClockCheckNotAClockInStep) {
    StartDevice();
    Connect();
    Refuse("date", 1, "date: cannot read the clock");
    ClockRound();
    EXPECT_EQ(connection->ClockFailures(), 1u);
    EXPECT_EQ(connection->ClockSettings(), 0u);
    EXPECT_NE(connection->ClockError().find("cannot read the clock"), std::string::npos)
        << connection->ClockError();
    EXPECT_EQ(CommandsSent(), (std::vector<std::string>{"date -u -Iseconds"}));
}

TEST_F(DeviceVerdicts, FailingSetDateIsAFailureEveryRound) {
    options.clockOffset_s = 100;
    StartDevice();
    Connect();
    Refuse("/tavo/setdate", 3, "setdate: no rtc");
    for (unsigned round = 1; round <= 2; ++round) {
        ClockRound();
        EXPECT_EQ(connection->ClockFailures(), round);
        EXPECT_NE(connection->ClockError().find(LoadTextA(1035)), std::string::npos)
            << connection->ClockError();
    }
    EXPECT_EQ(device->ClockOffset(), 100);
}

TEST_F(DeviceVerdicts, SetClockIsReadBack) {
    options.clockOffset_s = 100;
    StartDevice();
    Connect();
    ClockRound();
    EXPECT_EQ(connection->ClockFailures(), 0u) << connection->ClockError();
    EXPECT_EQ(connection->ClockSettings(), 1u);
    const std::vector<std::string> sent = CommandsSent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], "date -u -Iseconds");
    EXPECT_EQ(sent[1].rfind("/tavo/setdate ", 0), 0u);
    EXPECT_EQ(sent[2], "date -u -Iseconds");
    EXPECT_LE(std::abs(device->ClockOffset()), 2);
}

} // namespace
} // namespace korvex
