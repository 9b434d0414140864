// The session against a device that is slow, silent, refuses what it is
// asked or loses its link: every such failure is the job's, shown once,
// and a session that can no longer be used is ended visibly.

#include "DeviceJobsFixture.h"
#include "framework/TextIds.h"

#include <atomic>
#include <chrono>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::DeviceJobs;
using testing::ReadFile;
using testing::StallingRelay;
using testing::WaitFor;
using testing::WriteFile;

std::string TimedOut(unsigned error, unsigned seconds) {
    std::string text = LoadTextA(text::link_no_answer);
    text.replace(text.find("%1"), 2, std::to_string(seconds));
    return LoadTextA(error) + " " + text;
}

std::string CommandFailed(unsigned error, int status, const std::string& line) {
    std::string text = LoadTextA(text::link_command_failed);
    text.replace(text.find("%1"), 2, std::to_string(status));
    return LoadTextA(error) + " " + text + ": " + line;
}

TEST_F(DeviceJobs, QuietCommandIsWaitedOutNotTakenForItsEnd) {
    StartDevice();
    timing.keepalive_s = 1; // keepalives used to cut a quiet read short
    Connect();
    devsim::FaultOptions faults;
    faults.quietCommands_ms = 2500;
    device->SetFaults(faults);
    status.Clear();
    EXPECT_EQ(List(0).names, (std::vector<std::string>{"cam1", "cam2"}));
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_cameras, text::recordings_cameras_listed}));
    // The session is as good as before: the next job runs on it.
    device->SetFaults({});
    Run(ListLevelRequest{});
    EXPECT_TRUE(connection->Connected());
    EXPECT_TRUE(status.Errors().empty());
}

TEST_F(DeviceJobs, SilentCommandFailsTheJobAndEndsTheSessionVisibly) {
    StartDevice();
    timing.ioTimeout_ms = 1000;
    Connect();
    devsim::FaultOptions faults;
    faults.hangCommands = true;
    device->SetFaults(faults);
    status.Clear();
    const DeviceResult listing = Run(ListLevelRequest{});
    // A listing that never came is an error, not an empty list.
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{TimedOut(text::recordings_folder_list_failed, 1)}));
    EXPECT_EQ(listing.outcome, Outcome::Failed);
    EXPECT_EQ(listing.error, TimedOut(text::recordings_folder_list_failed, 1));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(listing.value));
    // The session is closed at once and says so, without waiting for a
    // liveness check.
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_cameras, text::recordings_list_failed,
                                     text::status_disconnecting, text::status_not_connected}));
}

TEST_F(DeviceJobs, NonZeroExitStatusIsTheJobsFailureWithTheDevicesWords) {
    StartDevice();
    Connect();
    devsim::FaultOptions faults;
    faults.failCommand = "ls -p /mnt/usbdrive";
    faults.failStatus = 2;
    faults.failText = "\nls: /mnt/usbdrive: Input/output error\nsecond line\n";
    device->SetFaults(faults);
    status.Clear();
    Run(ListLevelRequest{});
    EXPECT_EQ(status.Errors(),
              (std::vector<std::string>{CommandFailed(text::recordings_folder_list_failed, 2,
                                                      "ls: /mnt/usbdrive: Input/output error")}));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_cameras, text::recordings_list_failed}));
    EXPECT_TRUE(connection->Connected()); // the device answered: the session is fine
    // A very long first line is cut.
    faults.failText = std::string(5000, 'x') + "\n";
    device->SetFaults(faults);
    status.Clear();
    Run(ListLevelRequest{});
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_EQ(status.Errors()[0],
              CommandFailed(text::recordings_folder_list_failed, 2, std::string(200, 'x')));
}

TEST_F(DeviceJobs, RefusedPasswordChangeIsNotReportedAsDone) {
    StartDevice();
    Connect();
    status.Clear();
    Run(ChangePasswordRequest{""}); // the device refuses an empty password
    EXPECT_EQ(status.Errors(),
              (std::vector<std::string>{CommandFailed(text::password_change_failed, 1,
                                                      "chpass: empty password, password unchanged")}));
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::password_change_failed}));
    EXPECT_EQ(device->Password(), "admin");
}

TEST_F(DeviceJobs, UnreachableNetworkSettingsAreRefusedBeforeAnythingIsSent) {
    StartDevice();
    Connect();
    WriteNetworkRequest write;
    write.passText = "p";
    struct Case {
        uint32_t address, netmask, gateway;
    };
    for (const Case& c :
         {Case{0, 0, 0}, Case{0xFFFFFFFFu, 0xFFFFFF00u, 0xC0A80101u},
          Case{0xE0000005u, 0xFFFFFF00u, 0xE0000001u}, Case{0xC0A8010Au, 0xFFFF00FFu, 0xC0A80101u}}) {
        write.ipAddress = c.address;
        write.netmask = c.netmask;
        write.gateway = c.gateway;
        device->ClearLogs();
        status.Clear();
        EXPECT_EQ(Run(write).outcome, Outcome::Failed);
        ASSERT_EQ(status.Errors().size(), 1u);
        EXPECT_EQ(status.Errors()[0].rfind(LoadTextA(text::network_write_failed), 0), 0u)
            << status.Errors()[0];
        EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::network_write_failed}));
        EXPECT_TRUE(device->Commands().empty());
        EXPECT_TRUE(device->Transfers().empty());
    }
    EXPECT_EQ(device->RestartCount(), 0u);
    EXPECT_TRUE(connection->Connected());
}

TEST_F(DeviceJobs, ValuesThatCannotBeReadAreMarkedMissing) {
    StartDevice();
    devsim::FaultOptions faults;
    faults.hiddenSettings = {"gateway"};
    device->SetFaults(faults);
    WriteFile(device->HostPath("/tavo/cam0"), "10.0.0.300?channel=3\n");
    WriteFile(device->HostPath("/tavo/controller"), "10.0.0.1234\n");
    Connect();
    const DeviceResult read = Run(ReadNetworkRequest{});
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    // The value says it: absent, and the camera's row marked missing.
    ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(read.value));
    const NetworkSnapshot& shown = std::get<NetworkSnapshot>(read.value);
    EXPECT_FALSE(shown.gateway.has_value());
    EXPECT_FALSE(shown.controller.has_value());
    EXPECT_TRUE(shown.controllerUsed);
    EXPECT_TRUE(shown.cameras[0].missing);
    EXPECT_FALSE(shown.cameras[0].address.has_value());
    EXPECT_TRUE(shown.ipAddress.has_value());
    EXPECT_FALSE(shown.cameras[1].missing);
}

TEST_F(DeviceJobs, StopDuringStalledJobEndsPromptly) {
    StartDevice();
    timing.ioTimeout_ms = 120000; // only the stop can end the wait
    Connect();
    devsim::FaultOptions faults;
    faults.hangCommands = true;
    device->SetFaults(faults);
    std::future<DeviceResult> listing = connection->Submit(ListLevelRequest{});
    ASSERT_TRUE(device->WaitUntil(
        [&] {
            for (const auto& c : device->Commands())
                if (c.command == "ls -p /mnt/usbdrive")
                    return true;
            return false;
        },
        10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // well inside the blocked read
    const auto start = std::chrono::steady_clock::now();
    connection->Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Not a speed measurement: without the interrupt Stop would wait for the
    // two-minute time-out.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
    EXPECT_FALSE(connection->Connected());
    EXPECT_TRUE(status.Errors().empty()); // a stop is not an error
    ASSERT_EQ(listing.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(listing.get().outcome, Outcome::Stopped);
    connection.reset();
}

// The link dies in the middle of a program download.
class StalledTransfer : public DeviceJobs {
protected:
    void StartStalledDownload(unsigned ioTimeout_ms) {
        StartDevice();
        std::string big(6 * 1024 * 1024, 'p');
        WriteFile(device->HostPath("/etc/tavo/program.tdv"), big);
        relay = std::make_unique<StallingRelay>(device->SshPort());
        login.port = relay->Port();
        timing.ioTimeout_ms = ioTimeout_ms;
        Connect();
        target = (folder / "never.kvx").string();
        status.Clear();
        const uint64_t before = relay->ToClient();
        ASSERT_TRUE(connection->Post(DownloadProgramRequest{target}));
        ASSERT_TRUE(WaitFor([&] { return relay->ToClient() > before + 256 * 1024; }, 30000));
        relay->Stall();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the session now waits for bytes
    }
    std::unique_ptr<StallingRelay> relay;
    std::string target;
};

TEST_F(StalledTransfer, StopEndsTheBlockedReadPromptly) {
    StartStalledDownload(120000); // only the stop can end the wait
    ASSERT_NE(connection->PendingJob(), 0);
    const auto start = std::chrono::steady_clock::now();
    connection->Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Not a speed measurement: without the interrupt Stop would wait for the
    // two-minute time-out.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(status.Errors().empty());
    connection.reset();
}

TEST_F(StalledTransfer, NoProgressTimeOutFailsTheJobAndEndsTheSession) {
    StartStalledDownload(2000);
    ASSERT_TRUE(WaitFor([&] { return connection->PendingJob() == 0; }, 60000));
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{TimedOut(text::program_download_failed, 2)}));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::program_download_failed, text::status_disconnecting,
                                     text::status_not_connected}));
    EXPECT_FALSE(connection->Connected());
    EXPECT_FALSE(fs::exists(target));
}

} // namespace
} // namespace korvex
