// Every job of the session against the device simulator on loopback.

#include "DeviceJobsFixture.h"
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ScanThread.h"
#include "devsim/DeviceSimulator.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/FreePort.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::DeviceJobs;
using testing::Loopback;
using testing::OpenDescriptors;
using testing::ReadFile;
using testing::RecordingStatus;
using testing::StallingRelay;
using testing::WaitFor;
using testing::WriteFile;

TEST_F(DeviceJobs, ConnectShowsVersionAndCamerasAndRecordsHostKey) {
    StartDevice();
    Connect();
    const auto texts = status.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), ConnectedText(2));
    // The new key was recorded under [host]:port and its fingerprint shown.
    const std::string knownHosts = ReadFile(KnownHostsPath());
    EXPECT_EQ(
        knownHosts.rfind("[127.0.0.1]:" + std::to_string(device->SshPort()) + " ecdsa-sha2-nistp256 ", 0), 0u)
        << knownHosts;
    ASSERT_GE(texts.size(), 2u);
    EXPECT_NE(texts[0].find("SHA256:"), std::string::npos) << texts[0];
    // Connecting again while connected does nothing.
    status.Clear();
    const DeviceResult again = Run(login);
    EXPECT_TRUE(again.Ok());
    EXPECT_TRUE(status.Events().empty());
    // A second session finds the key on record and records nothing more.
    Run(DisconnectRequest{});
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::status_disconnecting, text::status_not_connected}));
    status.Clear();
    Connect();
    EXPECT_EQ(ReadFile(KnownHostsPath()), knownHosts);
    EXPECT_EQ(status.Texts(),
              (std::vector<std::string>{LoadTextA(text::status_connected_as) + " admin@127.0.0.1",
                                        ConnectedText(2)}));
}

TEST_F(DeviceJobs, WrongPasswordLeavesNothingBehind) {
    StartDevice();
    Session();
    const size_t before = OpenDescriptors();
    login.password = "wrong";
    const DeviceResult refused = Run(login);
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.error, LoadTextA(text::session_login_failed));
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::status_connect_failed}));
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::session_login_failed)}));
    EXPECT_EQ(device->AuthFailures(), 1u);
    // The socket is closed again (the simulator in this process closes its
    // end on its own thread, soon after).
    EXPECT_TRUE(WaitFor([&] { return OpenDescriptors() == before; }, 5000)) << OpenDescriptors();
    // The right password still works afterwards.
    login.password = "admin";
    Connect();
}

// The fingerprint a "new key recorded" status text ends with.
std::string RecordedFingerprint(const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
        if (text.find("SHA256:") != std::string::npos)
            return text.substr(text.find("SHA256:"));
    return "";
}

TEST_F(DeviceJobs, ChangedHostKeyIsRefusedBeforeThePassword) {
    StartDevice();
    Connect();
    Run(DisconnectRequest{});
    const std::string deviceFingerprint = RecordedFingerprint(status.Texts());
    ASSERT_FALSE(deviceFingerprint.empty());
    const std::string path = KnownHostsPath();
    const std::string name = "[127.0.0.1]:" + std::to_string(device->SshPort());
    std::string line = ReadFile(path);
    const std::string recorded = line.substr(line.find(' ') + 1);

    // Another device (another key of the same type) on its own port.
    devsim::Options otherOptions = options;
    otherOptions.rootDir = (folder / "other").string();
    devsim::DeviceSimulator other(otherOptions);
    other.Start();
    login.port = other.SshPort();
    status.Clear();
    Connect();
    Run(DisconnectRequest{});
    const std::string otherFingerprint = RecordedFingerprint(status.Texts());
    ASSERT_FALSE(otherFingerprint.empty());
    ASSERT_NE(otherFingerprint, deviceFingerprint);
    const std::string all = ReadFile(path);
    const std::string otherLine = all.substr(all.find('\n') + 1);
    const std::string otherKey = otherLine.substr(otherLine.find(' ') + 1);
    ASSERT_NE(otherKey, recorded);
    other.Stop();

    // The first device's entry now names the other key: refused, nothing sent.
    WriteFile(path, "# kept as it is\n" + name + " " + otherKey);
    login.port = device->SshPort();
    status.Clear();
    device->ClearLogs();
    Run(login);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::status_connect_failed}));
    ASSERT_EQ(status.Errors().size(), 1u);
    const std::string error = status.Errors()[0];
    // Both fingerprints: the one on record and the one now offered.
    EXPECT_NE(error.find(otherFingerprint), std::string::npos) << error;
    EXPECT_NE(error.find(deviceFingerprint), std::string::npos) << error;
    EXPECT_LT(error.find(otherFingerprint), error.find(deviceFingerprint)) << error;
    EXPECT_EQ(device->AuthFailures(), 0u);
    EXPECT_TRUE(device->Commands().empty());
    EXPECT_EQ(ReadFile(path), "# kept as it is\n" + name + " " + otherKey); // file untouched

    // A recorded key of another type is a change too.
    WriteFile(path,
              name + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIBd0+D2fT5Kq0b1XyQxJ0gZ9f9p7Y3v8v3QYb1m6Q4Xo\n");
    status.Clear();
    Run(login);
    EXPECT_FALSE(connection->Connected());
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_NE(status.Errors()[0].find("SHA256:"), std::string::npos);
    EXPECT_EQ(device->AuthFailures(), 0u);

    // The right key again: accepted.
    WriteFile(path, name + " " + recorded);
    Connect();
}

TEST_F(DeviceJobs, StopWhileIdleSendsTheDisconnectMessage) {
    StartDevice();
    StallingRelay relay(device->SshPort());
    login.port = relay.Port();
    timing.keepalive_s = 0; // nothing else goes out while idle
    Connect();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint64_t before = relay.ToDevice();
    status.Clear();
    connection->Stop();
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::status_disconnecting, text::status_not_connected}));
    // The goodbye ("Shutdown", by application) reached the wire before the
    // socket was closed; cutting the socket first would send nothing.
    EXPECT_TRUE(WaitFor([&] { return relay.ToDevice() > before; }, 5000));
    connection.reset();
}

TEST_F(DeviceJobs, DestroyingAConnectedSessionWithoutStopClosesIt) {
    StartDevice();
    Connect();
    status.Clear();
    connection.reset(); // the owner never called Stop
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::status_disconnecting, text::status_not_connected}));
}

TEST_F(DeviceJobs, UploadThenDownloadGivesTheSameBytes) {
    StartDevice();
    Connect();
    std::string payload(300000, '\0');
    std::mt19937 random(7);
    for (char& c : payload)
        c = static_cast<char>(random());
    status.Clear();
    EXPECT_TRUE(Run(UploadProgramRequest{{payload.begin(), payload.end()}}).Ok());
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_uploaded}));
    EXPECT_EQ(ReadFile(device->HostPath("/etc/tavo/program.tdv")), payload);
    EXPECT_EQ(device->RestartCount(), 1u);
    const auto percents = status.Percents();
    EXPECT_EQ(percents.front(), 0u);
    EXPECT_EQ(percents.back(), 100u); // 74 + 26

    // The device restarted under the session: connect again and download.
    ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 10000));
    Run(DisconnectRequest{});
    Connect();
    const std::string copy = (folder / "copy.kvx").string();
    status.Clear();
    const DeviceResult downloaded = Run(DownloadProgramRequest{copy});
    ASSERT_TRUE(std::holds_alternative<DownloadReport>(downloaded.value));
    EXPECT_EQ(std::get<DownloadReport>(downloaded.value).written, (std::vector<std::string>{copy}));
    EXPECT_EQ(ReadFile(copy), payload);
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_downloaded}));
    EXPECT_EQ(downloaded.status, LoadTextA(text::program_downloaded));

    // No local file: nothing is written and the status stays at
    // text::program_downloading.
    status.Clear();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Run(DownloadProgramRequest{}).value));
    EXPECT_EQ(status.Events().front().textId, 164u);
    EXPECT_TRUE(status.Messages().empty());
    EXPECT_TRUE(status.Errors().empty());
}

TEST_F(DeviceJobs, ARequestPostedWhileAJobRunsIsRefusedAndNothingIsLost) {
    StartDevice();
    Connect();
    const std::string program = device->HostPath("/etc/tavo/program.tdv");
    const std::string before = ReadFile(program);
    std::future<DeviceResult> restart = connection->Submit(RestartRequest{});
    // The restart job is under way (its command has reached the device).
    ASSERT_TRUE(device->WaitUntil([&] { return device->RestartCount() == 1; }, 10000));
    std::future<DeviceResult> upload = connection->Submit(UploadProgramRequest{{'x'}});
    ASSERT_EQ(upload.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(upload.get().outcome, Outcome::Busy);
    WriteNetworkRequest write;
    write.ipAddress = 0x0A010203u;
    write.netmask = 0xFF000000u;
    EXPECT_FALSE(connection->Post(write));
    EXPECT_EQ(connection->PendingJob(), JobRestart);
    // The running job ends as it would have alone; the refused ones never ran.
    ASSERT_EQ(restart.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const DeviceResult restarted = restart.get();
    EXPECT_TRUE(restarted.Ok()) << restarted.error;
    EXPECT_EQ(status.Messages().back(), text::program_restarted);
    EXPECT_EQ(ReadFile(program), before);
    EXPECT_FALSE(fs::exists(program + ".new"));
    EXPECT_EQ(device->RestartCount(), 1u);
    for (const auto& c : device->Commands())
        EXPECT_EQ(c.command.find("ipconfig --proto"), std::string::npos) << c.command;
    // And the session takes the next request.
    ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 10000));
    Run(DisconnectRequest{});
    Connect();
    EXPECT_EQ(List(0).names, (std::vector<std::string>{"cam1", "cam2"}));
}

TEST_F(DeviceJobs, EmptyUploadIsAZeroLengthFile) {
    StartDevice();
    Connect();
    status.Clear();
    Run(UploadProgramRequest{});
    EXPECT_TRUE(status.Errors().empty());
    EXPECT_EQ(ReadFile(device->HostPath("/etc/tavo/program.tdv")), "");
    const auto percents = status.Percents();
    ASSERT_GE(percents.size(), 2u);
    EXPECT_EQ(percents[1], 25u);
}

TEST_F(DeviceJobs, RestartWaitsUntilTheDeviceAnnouncesItselfAgain) {
    options.announce = true;
    options.restartSeconds = 2;
    DeviceList heard;
    ScanThread scan(heard, options.announcePort);
    scan.Start();
    StartDevice();
    ASSERT_TRUE(WaitFor([&] { return heard.LastSeen(Loopback) != 0; }, 10000));
    ConnectionSetup setup{.status = status, .devices = heard};
    setup.timing.restartStep_ms = 200; // 75 steps: 15 s at most
    setup.knownHostsPath = (folder / "known_hosts").string();
    connection = std::make_unique<Connection>(std::move(setup));
    connection->Start();
    Connect();
    status.Clear();
    Run(RestartRequest{});
    scan.Stop();
    EXPECT_EQ(device->RestartCount(), 1u);
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_restarted}));
    const auto percents = status.Percents();
    ASSERT_FALSE(percents.empty());
    // Ended by the announcement, not by the end of the 75 steps.
    EXPECT_LT(percents.back(), 74u * 100 / 75);
    EXPECT_GT(percents.size(), 6u);
}

TEST_F(DeviceJobs, RestartWithoutAnnouncementWaitsAllSteps) {
    StartDevice();
    Connect();
    status.Clear();
    Run(RestartRequest{});
    const auto percents = status.Percents();
    ASSERT_EQ(percents.size(), 76u); // the start at 0, then one per step
    EXPECT_EQ(percents.back(), 74u * 100 / 75);
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_restarted}));
}

TEST_F(DeviceJobs, NetworkSettingsReadWriteRoundTrip) {
    options.cameraCount = 7; // four rows at most
    StartDevice();
    Connect();
    const DeviceResult read = Run(ReadNetworkRequest{});
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(read.value));
    const NetworkSnapshot& shown = std::get<NetworkSnapshot>(read.value);
    EXPECT_EQ(shown.cameraCount, 4u);
    EXPECT_TRUE(shown.ipAddress && shown.gateway && shown.hardwareAddress);
    EXPECT_FALSE(shown.controllerUsed);
    EXPECT_TRUE(shown.cameras[1].address.has_value());
    EXPECT_EQ(shown.cameras[1].channel, 2u);
    EXPECT_TRUE(shown.camerasEditable);
    EXPECT_FALSE(shown.Partial());
    EXPECT_EQ(shown.passText, "gate 1 pass");
    EXPECT_TRUE(shown.failedCommands.empty());
    EXPECT_EQ(HostAddressText(shown.ipAddress.value_or(0)), "192.168.0.20");
    EXPECT_EQ(HostAddressText(shown.netmask.value_or(0)), "255.255.255.0");
    EXPECT_EQ(HostAddressText(shown.gateway.value_or(0)), "192.168.0.1");
    EXPECT_EQ(shown.hardwareAddress, "02:4B:56:00:00:01");
    EXPECT_EQ(HostAddressText(shown.cameras[0].address.value_or(0)), "192.168.0.101");
    EXPECT_EQ(shown.cameras[0].channel, 1u);
    EXPECT_EQ(HostAddressText(shown.cameras[1].address.value_or(0)), "192.168.0.102");
    EXPECT_TRUE(shown.cameras[3].fetched);

    WriteNetworkRequest write;
    write.ipAddress = 0x0A010203u; // 10.1.2.3
    write.netmask = 0xFF000000u;
    write.gateway = 0x0A000001u;
    write.controllerAddress = 0x0A000009u;
    write.cameraAddress[0] = 0x0A000005u;
    write.cameraChannel[0] = 3;
    write.cameraAddress[1] = 0x0A000006u;
    write.passText = "new pass";
    status.Clear();
    EXPECT_TRUE(Run(write).Ok());
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::network_written}));
    // 0 with the start text, one step per camera row, the pass and
    // controller files, 35 with the restart text, then 65 waiting steps.
    std::vector<unsigned> expected = {0, 3, 6, 9, 12, 25, 30, 35};
    for (unsigned i = 1; i <= 65; ++i)
        expected.push_back(i + 35);
    EXPECT_EQ(status.Percents(), expected);
    EXPECT_EQ(status.Events().front().textId, 158u);
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/cam0")), "10.0.0.5?channel=3");
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/cam1")), "10.0.0.6");
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/cam2")), "");
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/controller")), "10.0.0.9");
    EXPECT_EQ(ReadFile(device->HostPath("/tavo/pass")), "new pass");
    EXPECT_EQ(device->RestartCount(), 1u);

    // After the restart a new session reads back what was written.
    ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 10000));
    Run(DisconnectRequest{});
    Connect();
    const DeviceResult again = Run(ReadNetworkRequest{});
    ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(again.value));
    const NetworkSnapshot& second = std::get<NetworkSnapshot>(again.value);
    EXPECT_EQ(HostAddressText(second.ipAddress.value_or(0)), "10.1.2.3");
    EXPECT_EQ(HostAddressText(second.netmask.value_or(0)), "255.0.0.0");
    EXPECT_TRUE(second.controllerUsed);
    EXPECT_EQ(HostAddressText(second.controller.value_or(0)), "10.0.0.9");
    EXPECT_EQ(second.cameras[0].channel, 3u);
    EXPECT_EQ(second.passText, "new pass");
}

TEST_F(DeviceJobs, EmptyCameraZeroKeepsRowsAndPassDisabled) {
    StartDevice();
    WriteFile(device->HostPath("/tavo/cam0"), "\n");
    Connect();
    const DeviceResult read = Run(ReadNetworkRequest{});
    ASSERT_TRUE(std::holds_alternative<NetworkSnapshot>(read.value));
    const NetworkSnapshot& shown = std::get<NetworkSnapshot>(read.value);
    EXPECT_FALSE(shown.camerasEditable); // even though cam1 holds an address
    EXPECT_EQ(HostAddressText(shown.cameras[1].address.value_or(0)), "192.168.0.102");
}

TEST_F(DeviceJobs, PasswordChangeThenReconnectWithTheNewOne) {
    StartDevice();
    Connect();
    status.Clear();
    EXPECT_TRUE(Run(ChangePasswordRequest{"s3cret word"}).Ok());
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::password_changed}));
    EXPECT_EQ(device->Password(), "s3cret word");
    Run(DisconnectRequest{});
    EXPECT_EQ(Run(login).outcome, Outcome::Failed); // the old password
    EXPECT_FALSE(connection->Connected());
    login.password = "s3cret word";
    Connect();
}

// The listing a recordings request gave back ({} when it gave none).
std::vector<std::string> Names(const DeviceResult& result) {
    const Listing* listing = std::get_if<Listing>(&result.value);
    return listing ? listing->names : std::vector<std::string>{};
}

// The lines of that listing (copies marked).
std::vector<std::string> Lines(const DeviceResult& result) {
    const Listing* listing = std::get_if<Listing>(&result.value);
    return listing ? listing->lines : std::vector<std::string>{};
}

TEST_F(DeviceJobs, RecordingsListAndDownloadWithMarks) {
    StartDevice();
    Connect();
    const std::string local = (folder / "rec").string() + "/";
    fs::create_directories(local + "cam2"); // cam2 has a local copy already
    ListLevelRequest place;
    place.localFolder = local;
    status.Clear();
    const DeviceResult cameras = Run(place);
    EXPECT_EQ(Names(cameras), (std::vector<std::string>{"cam1", "cam2"}));
    ASSERT_TRUE(std::holds_alternative<Listing>(cameras.value));
    EXPECT_EQ(std::get<Listing>(cameras.value).lines, (std::vector<std::string>{"cam1", "cam2  [S]"}));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_cameras, text::recordings_cameras_listed}));
    place.selected[0] = 0;
    place.level = 1;
    status.Clear();
    EXPECT_EQ(Lines(Run(place)), (std::vector<std::string>{"2026-12-06", "2026-12-07"}));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_folders, text::recordings_folders_listed}));
    place.selected[1] = 1;
    place.level = 2;
    status.Clear();
    EXPECT_EQ(Lines(Run(place)), (std::vector<std::string>{"08:00", "09:00"}));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::recordings_listing_hours, text::recordings_folders_listed}));
    place.selected[2] = 0;
    place.level = 3;
    status.Clear();
    const DeviceResult hour = Run(place);
    EXPECT_EQ(Names(hour), (std::vector<std::string>{"08-00-00.mp4", "08-15-00.mp4"})); // not index.txt
    EXPECT_EQ(Lines(hour), (std::vector<std::string>{"08-00-00.mp4", "08-15-00.mp4"}));
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::recordings_listing, text::recordings_listed}));
    EXPECT_TRUE(status.Errors().empty());

    // Nothing selected: text::recordings_choose_recording, status untouched.
    DownloadRecordingsRequest get;
    std::copy(std::begin(place.selected), std::end(place.selected), get.selected);
    get.localFolder = local;
    status.Clear();
    const DeviceResult none = Run(get);
    EXPECT_EQ(none.outcome, Outcome::Failed);
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::recordings_choose_recording)}));
    EXPECT_TRUE(status.Messages().empty());

    get.files = {1, 0};
    status.Clear();
    const DeviceResult copied = Run(get);
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::recordings_downloaded}));
    EXPECT_EQ(status.Texts(),
              (std::vector<std::string>{
                  LoadTextA(text::recordings_downloading) + " 'cam1/2026-12-07/08/08-00-00.mp4'",
                  LoadTextA(text::recordings_downloading) + " 'cam1/2026-12-07/08/08-15-00.mp4'"}));
    ASSERT_TRUE(std::holds_alternative<DownloadReport>(copied.value));
    EXPECT_EQ(std::get<DownloadReport>(copied.value).written,
              (std::vector<std::string>{local + "cam1/2026-12-07/08/08-00-00.mp4",
                                        local + "cam1/2026-12-07/08/08-15-00.mp4"}));
    for (const char* name : {"08-00-00.mp4", "08-15-00.mp4"}) {
        const std::string device_path = std::string("/mnt/usbdrive/cam1/2026-12-07/08/") + name;
        EXPECT_EQ(ReadFile(local + "cam1/2026-12-07/08/" + name), ReadFile(device->HostPath(device_path)));
    }
    // The report names the hour and the files copied, in the order written.
    EXPECT_EQ(std::get<DownloadReport>(copied.value).files, (std::vector<int>{0, 1}));
    EXPECT_EQ(std::get<DownloadReport>(copied.value).selected[1], 1);
    // No temporary file is left beside the copies.
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(local + "cam1/2026-12-07/08"))
        ++files;
    EXPECT_EQ(files, 2u);

    // A fresh listing marks what is now on the PC; a new download replaces.
    WriteFile(local + "cam1/2026-12-07/08/08-00-00.mp4", "stale");
    EXPECT_EQ(Lines(Run(place)), (std::vector<std::string>{"08-00-00.mp4  [S]", "08-15-00.mp4  [S]"}));
    get.files = {0};
    Run(get);
    EXPECT_EQ(ReadFile(local + "cam1/2026-12-07/08/08-00-00.mp4"),
              ReadFile(device->HostPath("/mnt/usbdrive/cam1/2026-12-07/08/08-00-00.mp4")));
}

TEST_F(DeviceJobs, FailedDownloadLeavesNothingThatLooksSaved) {
    StartDevice();
    Connect();
    const std::string local = (folder / "rec").string() + "/";
    fs::create_directories(local);
    List(0, {}, local);
    List(1, {0}, local);
    List(2, {0, 1}, local);
    const Listing recordings = List(3, {0, 1, 0}, local);
    ASSERT_EQ(recordings.names.size(), 2u);
    // The recording goes away between the listing and the download.
    fs::remove(device->HostPath("/mnt/usbdrive/cam1/2026-12-07/08/" + recordings.names[0]));
    DownloadRecordingsRequest get{{0, 1, 0}, {0}, local};
    status.Clear();
    const DeviceResult failed = Run(get);
    EXPECT_EQ(failed.outcome, Outcome::Failed);
    EXPECT_EQ(failed.error, LoadTextA(text::program_download_failed));
    EXPECT_EQ(status.Errors(), (std::vector<std::string>{LoadTextA(text::program_download_failed)}));
    EXPECT_EQ(status.Messages(), (std::vector<unsigned>{text::program_download_failed}));
    // No folder was made for it, so a new listing marks nothing as saved.
    EXPECT_FALSE(fs::exists(local + "cam1"));
    EXPECT_EQ(List(0, {}, local).lines, (std::vector<std::string>{"cam1", "cam2"}));
}

TEST_F(DeviceJobs, FolderNamesWithShellCharactersAreListedAsNames) {
    StartDevice();
    // A drive written elsewhere may hold any folder name.
    const std::string odd = "cam 3;x'$(y)";
    fs::create_directories(device->HostPath("/mnt/usbdrive/" + odd + "/2026-12-08"));
    Connect();
    const std::vector<std::string> cameras = List(0).names;
    const auto at = std::find(cameras.begin(), cameras.end(), odd);
    ASSERT_NE(at, cameras.end());
    device->ClearLogs();
    const Listing days = List(1, {static_cast<int>(at - cameras.begin())});
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(days.names, (std::vector<std::string>{"2026-12-08"}));
    ASSERT_EQ(device->Commands().size(), 1u);
    EXPECT_EQ(device->Commands()[0].command, "ls -p /mnt/usbdrive/'cam 3;x'\\''$(y)'");
}

class ClockJobs : public DeviceJobs {
protected:
    void Prepare(ConnectionSetup& setup) override {
        setup.utcNow = [this] {
            const uint64_t now = SystemUtc100ns();
            return now - now % 10000000ULL + static_cast<uint64_t>(shift.load());
        };
    }
    // Runs one clock round with the PC's clock at whole seconds plus `shift`.
    void ClockRound(int64_t shift_100ns) {
        shift.store(shift_100ns);
        device->ClearLogs();
        ASSERT_TRUE(Run(SyncClockRequest{}).Ok());
    }
    std::atomic<int64_t> shift{0};
    std::vector<std::string> SetDateCommands() const {
        std::vector<std::string> found;
        for (const auto& c : device->Commands())
            if (c.command.rfind("/tavo/setdate ", 0) == 0)
                found.push_back(c.command);
        return found;
    }
};

TEST_F(ClockJobs, SetWhenMoreThanTenSecondsApartOnly) {
    StartDevice();
    Connect();
    // The device is read before the PC: the PC's whole second is the
    // device's or one later. 10 s behind it: never more than 10 s apart.
    ClockRound(-100000000LL);
    EXPECT_EQ(device->Commands().size(), 1u);
    EXPECT_EQ(device->Commands()[0].command, "date -u -Iseconds");
    EXPECT_TRUE(SetDateCommands().empty());
    // 10 s and 100 ns ahead: always more than 10 s apart.
    ClockRound(100000001LL);
    ASSERT_EQ(SetDateCommands().size(), 1u);
    EXPECT_EQ(SetDateCommands()[0].size(), std::string("/tavo/setdate \"2026-12-07 08:00:00\"").size());
    // The device took the PC's time: now 10 or 11 s ahead of the system clock.
    EXPECT_GE(device->ClockOffset(), 9);
    EXPECT_LE(device->ClockOffset(), 11);
    EXPECT_TRUE(connection->Connected());
}

TEST_F(DeviceJobs, LivenessCheckNoticesVanishedDevice) {
    timing.livenessPeriod_ms = 200; // the check comes on its own, as a timed wait
    StartDevice();
    Connect();
    device->Stop();
    status.Clear();
    ASSERT_TRUE(WaitFor([&] { return !connection->Connected(); }, 20000));
    EXPECT_EQ(status.Messages(),
              (std::vector<unsigned>{text::status_disconnecting, text::status_not_connected}));
}

TEST_F(DeviceJobs, TimedDutiesKeepAHealthySession) {
    // The idle session wakes for its duties without any request.
    timing.livenessPeriod_ms = 20;
    timing.clockPeriod_ms = 20;
    StartDevice();
    Connect();
    ASSERT_TRUE(WaitFor([&] { return connection->ClockChecks() >= 3; }, 20000));
    EXPECT_EQ(connection->ClockFailures(), 0u);
    EXPECT_TRUE(connection->Connected());
}

} // namespace
} // namespace korvex
