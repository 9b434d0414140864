// The session's own ways for the device windows, against the simulator:
// host keys handed to the window instead of being recorded, and the program
// an upload replaces kept first.

#include "DeviceJobsFixture.h"
#include "devicelink/KnownHosts.h"
#include "devicelink/ProgramHistory.h"
#include "framework/TextIds.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WaitFor;

class Questions : public HostKeySink {
public:
    void UnknownKey(const HostKeyQuestion& q) override { Add(q, false); }
    void ChangedKey(const HostKeyQuestion& q) override { Add(q, true); }
    std::vector<std::pair<bool, HostKeyQuestion>> Taken() {
        std::lock_guard<std::mutex> guard(lock);
        return std::move(asked);
    }

private:
    void Add(const HostKeyQuestion& q, bool changed) {
        std::lock_guard<std::mutex> guard(lock);
        asked.emplace_back(changed, q);
    }
    std::mutex lock;
    std::vector<std::pair<bool, HostKeyQuestion>> asked;
};

class WindowSession : public testing::DeviceJobs {
protected:
    void SetUp() override {
        DeviceJobs::SetUp();
        knownHosts = (folder / "config/korvex/known_hosts").string();
        history = std::make_unique<ProgramHistory>((folder / "history").string());
    }
    // Host keys go to the window's questions; uploads keep the replaced program.
    void Prepare(ConnectionSetup& setup) override {
        setup.hostKeys = &questions;
        setup.programHistory = history.get();
    }
    // Connects, confirming a first-use key the way the window does.
    void ConnectTrusting() {
        Run(login);
        for (auto& [changed, q] : questions.Taken()) {
            ASSERT_FALSE(changed);
            RecordHostKey(q.knownHostsPath, q.host, q.port, q.keyBlob);
        }
        if (!connection->Connected())
            Run(login);
        ASSERT_TRUE(connection->Connected());
    }

    // The upload restarts the device, which ends the session.
    void Reconnect() {
        ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 20000));
        Run(DisconnectRequest{});
        Run(login);
        ASSERT_TRUE(connection->Connected());
    }

    std::string knownHosts;
    Questions questions;
    std::unique_ptr<ProgramHistory> history;
};

TEST_F(WindowSession, NewKeyIsAskedAboutBeforeAnyPasswordIsSent) {
    StartDevice();
    login.password = "wrong"; // would count as a failed login if it were sent
    const DeviceResult asking = Run(login);
    EXPECT_EQ(asking.outcome, Outcome::KeyUnconfirmed);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(device->AuthFailures(), 0u);
    EXPECT_FALSE(fs::exists(knownHosts));
    EXPECT_TRUE(status.Errors().empty());
    EXPECT_EQ(status.Messages().back(), text::device_key_unconfirmed);
    auto asked = questions.Taken();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].first);
    const HostKeyQuestion& q = asked[0].second;
    EXPECT_EQ(q.host, "127.0.0.1");
    EXPECT_EQ(q.port, device->SshPort());
    EXPECT_EQ(q.keyType, "ecdsa-sha2-nistp256");
    EXPECT_EQ(q.fingerprint,
              KeyFingerprint(reinterpret_cast<const unsigned char*>(q.keyBlob.data()), q.keyBlob.size()));
    EXPECT_TRUE(q.recordedFingerprint.empty());

    // Recorded as the window does: the next attempt logs in (or fails on
    // the password, which now is sent).
    RecordHostKey(q.knownHostsPath, q.host, q.port, q.keyBlob);
    Run(login);
    EXPECT_EQ(device->AuthFailures(), 1u);
    login.password = "admin";
    const DeviceResult connected = Run(login);
    ASSERT_TRUE(std::holds_alternative<VersionInfo>(connected.value));
    EXPECT_EQ(std::get<VersionInfo>(connected.value).version, "2.1.0");
    EXPECT_EQ(std::get<VersionInfo>(connected.value).userName, "admin");
    EXPECT_TRUE(connection->Connected());
    EXPECT_TRUE(questions.Taken().empty());
}

TEST_F(WindowSession, ChangedKeyIsRefusedWithBothFingerprintsUntilTheOldOneIsRemoved) {
    StartDevice();
    Session();
    ConnectTrusting();
    Run(DisconnectRequest{});
    // Another key on the same address and port.
    const std::string first = ReadFile(knownHosts);
    const uint16_t port = device->SshPort();
    device->Stop();
    options.sshPort = port;
    ASSERT_TRUE(fs::remove(folder / "device/etc/tavo/ssh_host_key")); // a new one is made on start
    StartDevice();
    EXPECT_EQ(Run(login).outcome, Outcome::KeyUnconfirmed);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(device->AuthFailures(), 0u);
    EXPECT_TRUE(status.Errors().empty());
    auto asked = questions.Taken();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].first);
    EXPECT_FALSE(asked[0].second.recordedFingerprint.empty());
    EXPECT_NE(asked[0].second.recordedFingerprint, asked[0].second.fingerprint);
    EXPECT_EQ(ReadFile(knownHosts), first); // nothing recorded or removed by the session

    EXPECT_EQ(ForgetHostKey(knownHosts, "127.0.0.1", port), 1u);
    ConnectTrusting();
}

TEST_F(WindowSession, UploadKeepsTheReplacedProgramAndAFailedKeepStopsIt) {
    StartDevice();
    const std::string devicePath = device->HostPath("/etc/tavo/program.tdv");
    const std::string original = ReadFile(devicePath);
    ASSERT_FALSE(original.empty());
    Session();
    ConnectTrusting();
    const std::string next = "new program bytes";
    Run(UploadProgramRequest{{next.begin(), next.end()}});
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(ReadFile(devicePath), next);
    auto kept = history->List("127.0.0.1");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0].path), original);

    // Restoring is an upload of the kept bytes: the program it replaces is
    // kept in its turn.
    const std::string back = ReadFile(kept[0].path);
    Reconnect();
    Run(UploadProgramRequest{{back.begin(), back.end()}});
    EXPECT_EQ(ReadFile(devicePath), original);
    kept = history->List("127.0.0.1");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(ReadFile(kept[0].path), next);

    // A program that cannot be fetched (here: not a file) stops the upload.
    fs::remove(devicePath);
    fs::create_directory(devicePath);
    Reconnect();
    status.Clear();
    Run(UploadProgramRequest{{next.begin(), next.end()}});
    ASSERT_EQ(status.Errors().size(), 1u);
    EXPECT_EQ(status.Errors()[0], LoadTextA(text::device_keep_failed));
    EXPECT_EQ(status.Messages().back(), text::program_upload_failed);
    EXPECT_TRUE(fs::is_directory(devicePath));
    EXPECT_EQ(history->List("127.0.0.1").size(), 2u);

    // A device without any program has nothing to keep: the upload goes on.
    fs::remove(devicePath);
    status.Clear();
    Run(UploadProgramRequest{{next.begin(), next.end()}});
    EXPECT_EQ(status.Messages().back(), text::program_uploaded);
    EXPECT_TRUE(status.Errors().empty()) << status.Errors().front();
    EXPECT_EQ(ReadFile(devicePath), next);
    EXPECT_EQ(history->List("127.0.0.1").size(), 2u);
}

} // namespace
} // namespace korvex
