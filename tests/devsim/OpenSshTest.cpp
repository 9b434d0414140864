// The simulator's SSH server against the real OpenSSH client.

#include "DevsimFixture.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>
#include <fstream>

using namespace korvex::devsim;
using namespace devsimtest;

namespace {

class OpenSshTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveOpenSsh())
            GTEST_SKIP() << "ssh, scp or sshpass is not installed";
        options = QuietOptions(root.Path());
        options.user = "engineer";
        options.password = "gate-42";
    }

    void StartDevice() {
        device = std::make_unique<DeviceSimulator>(options);
        device->Start();
    }

    std::vector<std::string> Common(const std::string& password) const {
        return {"sshpass", "-p", password};
    }

    static void AddSshOptions(std::vector<std::string>& a) {
        for (const char* o : {"StrictHostKeyChecking=no", "UserKnownHostsFile=/dev/null", "LogLevel=ERROR",
                              "ConnectTimeout=5", "PubkeyAuthentication=no"}) {
            a.push_back("-o");
            a.push_back(o);
        }
    }

    int Ssh(const std::string& command, std::string& out, std::string& err, const std::string& input = "",
            const std::string& password = "gate-42") {
        std::vector<std::string> a = Common(password);
        a.push_back("ssh");
        AddSshOptions(a);
        a.insert(a.end(), {"-p", std::to_string(device->SshPort()), "engineer@127.0.0.1", command});
        return RunProgram(a, input, out, err);
    }

    // legacy: -O, the classic scp protocol over "scp -t" / "scp -f";
    // otherwise today's default, SFTP.
    int Scp(const std::vector<std::string>& args, std::string& out, std::string& err, bool legacy = true) {
        std::vector<std::string> a = Common("gate-42");
        a.push_back("scp");
        if (legacy)
            a.push_back("-O");
        AddSshOptions(a);
        a.insert(a.end(), {"-P", std::to_string(device->SshPort())});
        a.insert(a.end(), args.begin(), args.end());
        return RunProgram(a, "", out, err);
    }

    std::string Remote(const std::string& path) const { return "engineer@127.0.0.1:" + path; }

    TempDir root;
    Options options;
    std::unique_ptr<DeviceSimulator> device;
};

TEST_F(OpenSshTest, CommandsAnswerAndAreLogged) {
    options.version = "tavo 2.1.0";
    StartDevice();
    std::string out, err;
    EXPECT_EQ(Ssh("/tavo/tavo --version", out, err), 0) << err;
    EXPECT_EQ(out, "tavo 2.1.0\n");

    EXPECT_EQ(Ssh("ifconfig eth0", out, err), 0);
    EXPECT_NE(out.find("HWaddr 02:4B:56:00:00:01"), std::string::npos) << out;

    EXPECT_EQ(Ssh("/tavo/frobnicate now", out, err), 127);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("sh: /tavo/frobnicate: not found"), std::string::npos) << err;

    auto commands = device->Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].command, "/tavo/tavo --version");
    EXPECT_EQ(commands[0].user, "engineer");
    EXPECT_EQ(commands[0].exitStatus, 0);
    EXPECT_EQ(commands[2].exitStatus, 127);
    EXPECT_EQ(commands[2].errorOutput, "sh: /tavo/frobnicate: not found\n");
}

TEST_F(OpenSshTest, WrongPasswordIsRefused) {
    StartDevice();
    std::string out, err;
    EXPECT_NE(Ssh("/tavo/tavo --version", out, err, "", "wrong"), 0);
    EXPECT_GE(device->AuthFailures(), 1u);
    EXPECT_TRUE(device->Commands().empty());
}

TEST_F(OpenSshTest, NetworkSettingsAndClockRoundTrip) {
    options.clockOffset_s = -3600;
    StartDevice();
    std::string out, err;
    ASSERT_EQ(Ssh("/tavo/ipconfig --proto static --ipaddr 10.0.0.7 --netmask 255.255.0.0 --gateway 10.0.0.1", out,
                  err),
              0)
        << err;
    ASSERT_EQ(Ssh("/tavo/ipconfig --show", out, err), 0);
    EXPECT_NE(out.find("\nipaddr = 10.0.0.7"), std::string::npos) << out;
    EXPECT_NE(out.find("\nnetmask = 255.255.0.0"), std::string::npos) << out;
    EXPECT_EQ(Ssh("/tavo/ipconfig --ipaddr 300.1.1.1", out, err), 1);

    ASSERT_EQ(Ssh("date -u -Iseconds", out, err), 0);
    ASSERT_GE(out.size(), 22u);
    EXPECT_EQ(out.substr(19), "+00:00\n");
    ASSERT_EQ(Ssh("/tavo/setdate \"2031-05-06 07:08:09\"", out, err), 0) << err;
    ASSERT_EQ(Ssh("date -u -Iseconds", out, err), 0);
    // The clock runs on from the set time; allow the few seconds the
    // commands take.
    EXPECT_EQ(out.substr(0, 17), "2031-05-06T07:08:") << out;
    EXPECT_NE(device->ClockOffset(), -3600);
    EXPECT_EQ(Ssh("/tavo/setdate \"2031-02-30 07:08:09\"", out, err), 1);
}

TEST_F(OpenSshTest, ChpassChangesThePasswordOnlyWhenBothAnswersAgree) {
    StartDevice();
    std::string out, err;
    EXPECT_EQ(Ssh("/tavo/chpass engineer", out, err, "first\nsecond\n"), 1);
    EXPECT_EQ(device->Password(), "gate-42");
    EXPECT_EQ(Ssh("/tavo/chpass engineer", out, err, "north-7\nnorth-7\n"), 0) << err;
    EXPECT_NE(out.find("New password:"), std::string::npos);
    EXPECT_NE(out.find("Retype password:"), std::string::npos);
    EXPECT_EQ(device->Password(), "north-7");
    EXPECT_EQ(Ssh("true", out, err, "", "north-7"), 0);
    EXPECT_NE(Ssh("true", out, err, "", "gate-42"), 0);
}

TEST_F(OpenSshTest, ListsTheUsbDriveWithFolderMarks) {
    StartDevice();
    std::string out, err;
    ASSERT_EQ(Ssh("ls -p /mnt/usbdrive", out, err), 0) << err;
    EXPECT_EQ(out, "cam1/\ncam2/\nlost+found/\nreadme.txt\n");
    ASSERT_EQ(Ssh("ls -p /mnt/usbdrive/cam1/2026-12-07/08", out, err), 0);
    EXPECT_EQ(out, "08-00-00.mp4\n08-15-00.mp4\nindex.txt\n");
    EXPECT_EQ(Ssh("ls -p /mnt/usbdrive/../../../etc", out, err), 2);
    EXPECT_EQ(Ssh("ls -p /etc", out, err), 2);
}

TEST_F(OpenSshTest, ScpUploadAndDownloadKeepBytesModesAndTimes) {
    StartDevice();
    std::string local = root.Path() + "/program.kvx";
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.push_back(char((i * 7919) >> 3));
    {
        std::ofstream f(local, std::ios::binary);
        f << bytes;
    }
    ::chmod(local.c_str(), 0640);
    std::string out, err;
    ASSERT_EQ(Scp({local, Remote("/etc/tavo/program.tdv")}, out, err), 0) << err;
    std::string host = device->HostPath("/etc/tavo/program.tdv");
    EXPECT_EQ(ReadWholeFile(host), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Into a folder: the name of the "C" line is used.
    ASSERT_EQ(Scp({local, Remote("/tavo/")}, out, err), 0) << err;
    EXPECT_EQ(ReadWholeFile(device->HostPath("/tavo/program.kvx")), bytes);

    // Back again with -p: the time line goes first.
    struct timeval times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimes(host.c_str(), times), 0);
    std::string back = root.Path() + "/back.kvx";
    ASSERT_EQ(Scp({"-p", Remote("/etc/tavo/program.tdv"), back}, out, err), 0) << err;
    EXPECT_EQ(ReadWholeFile(back), bytes);
    ASSERT_EQ(::stat(back.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1700000000);

    auto transfers = device->Transfers();
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_EQ(transfers[0].direction, TransferRecord::Direction::ToDevice);
    EXPECT_EQ(transfers[0].devicePath, "/etc/tavo/program.tdv");
    EXPECT_EQ(transfers[0].size, bytes.size());
    EXPECT_EQ(transfers[0].mode, 0640u);
    EXPECT_TRUE(transfers[0].complete);
    EXPECT_EQ(transfers[1].devicePath, "/tavo/program.kvx");
    EXPECT_EQ(transfers[2].direction, TransferRecord::Direction::FromDevice);
    EXPECT_TRUE(transfers[2].withTimes);
    EXPECT_TRUE(transfers[2].complete);
}

TEST_F(OpenSshTest, ScpRefusesMissingFilesAndPathsOutsideTheDevice) {
    StartDevice();
    std::string local = root.Path() + "/x.bin";
    {
        std::ofstream f(local);
        f << "payload";
    }
    std::string out, err;
    EXPECT_NE(Scp({Remote("/tavo/missing"), root.Path() + "/y"}, out, err), 0);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/y"));
    EXPECT_NE(Scp({local, Remote("/tavo/../../escaped")}, out, err), 0);
    EXPECT_NE(Scp({local, Remote("/root/x")}, out, err), 0);
    EXPECT_NE(Scp({local, Remote("/mnt/usbdrive/nofolder/x")}, out, err), 0);
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/escaped"));
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/device/escaped"));
}

TEST_F(OpenSshTest, ScpThroughSftpCopiesBothWaysAndStaysInsideTheDevice) {
    StartDevice();
    std::string local = root.Path() + "/upload.bin";
    std::string bytes(150000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 31 + (i >> 9));
    {
        std::ofstream f(local, std::ios::binary);
        f << bytes;
    }
    ::chmod(local.c_str(), 0600);
    struct timeval times[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(::utimes(local.c_str(), times), 0);
    std::string out, err;
    ASSERT_EQ(Scp({"-p", local, Remote("/mnt/usbdrive/")}, out, err, false), 0) << err;
    std::string host = device->HostPath("/mnt/usbdrive/upload.bin");
    EXPECT_EQ(ReadWholeFile(host), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_mtime, 1600000000);

    std::string back = root.Path() + "/back.bin";
    ASSERT_EQ(Scp({Remote("/mnt/usbdrive/upload.bin"), back}, out, err, false), 0) << err;
    EXPECT_EQ(ReadWholeFile(back), bytes);

    EXPECT_NE(Scp({local, Remote("/tavo/../../outside.bin")}, out, err, false), 0);
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/outside.bin"));
    EXPECT_NE(Scp({Remote("/etc/passwd"), root.Path() + "/passwd"}, out, err, false), 0);

    auto transfers = device->Transfers();
    ASSERT_GE(transfers.size(), 2u);
    EXPECT_EQ(transfers[0].direction, TransferRecord::Direction::ToDevice);
    EXPECT_EQ(transfers[0].devicePath, "/mnt/usbdrive/upload.bin");
    EXPECT_TRUE(transfers[0].complete);
    EXPECT_EQ(transfers[1].direction, TransferRecord::Direction::FromDevice);
    EXPECT_TRUE(transfers[1].complete);
}

TEST_F(OpenSshTest, RestartTakesTheDeviceAwayAndBringsItBack) {
    StartDevice();
    std::string out, err;
    EXPECT_EQ(Ssh("sync && /tavo/restart", out, err), 0) << err;
    EXPECT_EQ(device->RestartCount(), 1u);
    ASSERT_TRUE(device->WaitUntil([&] { return !device->Restarting(); }, 5000));
    EXPECT_EQ(Ssh("/tavo/tavo --version", out, err), 0) << err;
}

TEST_F(OpenSshTest, RefusedChannelsFailTheCommand) {
    StartDevice();
    FaultOptions faults;
    faults.refuseChannels = true;
    device->SetFaults(faults);
    std::string out, err;
    EXPECT_NE(Ssh("/tavo/tavo --version", out, err), 0);
    EXPECT_TRUE(device->Commands().empty());
}

TEST_F(OpenSshTest, AGivenHostKeyIsKeptAndADifferentOneIsNoticed) {
    std::string known = root.Path() + "/known_hosts";
    auto connect = [&](std::string& err) {
        std::vector<std::string> a = {"sshpass", "-p", "gate-42", "ssh", "-o", "StrictHostKeyChecking=accept-new",
                                      "-o", "UserKnownHostsFile=" + known, "-o", "LogLevel=ERROR",
                                      "-p", std::to_string(device->SshPort()), "engineer@127.0.0.1", "true"};
        std::string out;
        return RunProgram(a, "", out, err);
    };
    std::string err;
    StartDevice();
    uint16_t port = device->SshPort();
    ASSERT_EQ(connect(err), 0) << err;
    device->Stop();
    options.sshPort = port;
    StartDevice();
    EXPECT_EQ(connect(err), 0) << err;  // same key file, same key
    device->Stop();
    options.hostKeyFile = root.Path() + "/other_key";
    StartDevice();
    EXPECT_NE(connect(err), 0);
    EXPECT_NE(err.find("HOST IDENTIFICATION HAS CHANGED"), std::string::npos) << err;
}

} // namespace
