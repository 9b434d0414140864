// Outcomes the device reports: a refused restart, a device that never comes
// back and a clock that cannot be read or set are failures, never shown as
// success; a network read command that fails costs only its own fields.

#include "DeviceJobsFixture.h"
#include "framework/TextIds.h"

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
    // Runs one clock check and waits for its end; the check's result.
    DeviceResult ClockRound() {
        device->ClearLogs();
        return Run(SyncClockRequest{});
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
    const DeviceResult restart = Run(RestartRequest{});
    EXPECT_EQ(restart.outcome, Outcome::Failed);
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_EQ(restart.error, status.Errors()[0]);
    EXPECT_NE(status.Errors()[0].find("boom"), std::string::npos) << status.Errors()[0];
    EXPECT_NE(status.Errors()[0].find("3"), std::string::npos) << status.Errors()[0];
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_restart_failed}));

    // The upload itself went through: the message says both that it did and
    // that the restart failed, with the device's words.
    status.Clear();
    const std::vector<uint8_t> sent(100, 7);
    const DeviceResult upload = Run(UploadProgramRequest{sent});
    EXPECT_EQ(upload.outcome, Outcome::Failed);
    ASSERT_EQ(status.Errors().size(), 1u);
    const std::string said = status.Errors()[0];
    EXPECT_NE(said.find("boom"), std::string::npos) << said;
    EXPECT_NE(said.find("uploaded and verified"), std::string::npos) << said;
    EXPECT_NE(said.find("after its next restart"), std::string::npos) << said;
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::upload_installed_not_restarted}));
    const UploadReport* report = std::get_if<UploadReport>(&upload.value);
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->installed);
    EXPECT_FALSE(report->restarted);
    EXPECT_NE(report->restartError.find("boom"), std::string::npos) << report->restartError;
    EXPECT_EQ(testing::ReadFile(device->HostPath("/etc/tavo/program.tdv")),
              std::string(sent.begin(), sent.end()));
    EXPECT_EQ(device->RestartCount(), 0u);
}

TEST_F(DeviceVerdicts, DeviceThatNeverComesBackFailsTheRestart) {
    options.restartSeconds = 600;
    StartDevice();
    timing.reconnectTimeout_ms = 500;
    Connect();
    status.Clear();
    Run(RestartRequest{});
    EXPECT_EQ(device->RestartCount(), 1u);
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::link_restart_timeout)}));
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_restart_failed}));
}

TEST_F(DeviceVerdicts, FailingDateIsAFailedClockCheckNotAClockInStep) {
    StartDevice();
    Connect();
    Refuse("date", 1, "date: cannot read the clock");
    const DeviceResult check = ClockRound();
    EXPECT_EQ(check.outcome, Outcome::Failed);
    EXPECT_EQ(check.error, connection->ClockError());
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
        EXPECT_NE(connection->ClockError().find(LoadTextA(text::link_clock_not_set)), std::string::npos)
            << connection->ClockError();
    }
    EXPECT_EQ(device->ClockOffset(), 100);
}

TEST_F(DeviceVerdicts, SetClockIsReadBack) {
    options.clockOffset_s = 100;
    StartDevice();
    Connect();
    const DeviceResult check = ClockRound();
    ASSERT_TRUE(std::holds_alternative<ClockReport>(check.value));
    EXPECT_TRUE(std::get<ClockReport>(check.value).set);
    EXPECT_EQ(connection->ClockFailures(), 0u) << connection->ClockError();
    EXPECT_EQ(connection->ClockSettings(), 1u);
    const std::vector<std::string> sent = CommandsSent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], "date -u -Iseconds");
    EXPECT_EQ(sent[1].rfind("/tavo/setdate ", 0), 0u);
    EXPECT_EQ(sent[2], "date -u -Iseconds");
    EXPECT_LE(std::abs(device->ClockOffset()), 2);
}

// A read command that fails leaves its own fields missing and no others.
TEST_F(DeviceVerdicts, FailingReadCommandLeavesOnlyItsFieldsMissing) {
    StartDevice();
    Connect();
    for (const std::string command : {"ifconfig eth0", "/tavo/ipconfig --show"}) {
        SCOPED_TRACE(command);
        Refuse(command, 1, "no such device");
        status.Clear();
        const DeviceResult read = Run(ReadNetworkRequest{});
        ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(read.value));
        const NetworkSnapshot& shown = std::get<NetworkSnapshot>(read.value);
        EXPECT_EQ(shown.failedCommands, (std::vector<std::string>{command}));
        EXPECT_TRUE(shown.Partial());
        EXPECT_EQ(shown.ipAddress.has_value(), command == "ifconfig eth0");
        EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
        ASSERT_FALSE(status.Texts().empty());
        EXPECT_NE(status.Texts().back().find(command), std::string::npos) << status.Texts().back();
        const bool settingsFailed = command != "ifconfig eth0";
        for (const std::optional<uint32_t>* value : {&shown.ipAddress, &shown.netmask, &shown.gateway})
            EXPECT_EQ(value->has_value(), !settingsFailed);
        EXPECT_EQ(shown.hardwareAddress.has_value(), settingsFailed);
        // Everything else is read as from a healthy device.
        EXPECT_EQ(shown.cameraCount, 2u);
        EXPECT_EQ(HostAddressText(shown.cameras[0].address.value_or(0)), "192.168.0.101");
        EXPECT_EQ(shown.passText, "gate 1 pass");
    }
}

// Some servers end a command's channel without an exit status: the command
// ran, and its output is what counts.
TEST_F(DeviceVerdicts, NoExitStatusIsNoFailure) {
    StartDevice();
    Connect();
    devsim::FaultOptions faults;
    faults.omitExitStatus = true;
    device->SetFaults(faults);
    status.Clear();
    const Listing cameras = List(0);
    Run(ReadNetworkRequest{});
    Run(UploadProgramRequest{std::vector<uint8_t>(3000, 1)});
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(cameras.names, (std::vector<std::string>{"cam1", "cam2"}));
    EXPECT_EQ(device->RestartCount(), 1u);
}

} // namespace
} // namespace korvex
