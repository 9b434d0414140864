// korvex-cli device and discover against the device simulator.

#include "devsim/DeviceSimulator.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/CommandRun.h"
#include "support/FreePort.h"
#include "support/LoopbackListener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;

using Outcome = test::CommandOutcome;
using test::ReadWholeFile;

using korvex::test::FreeUdpPort;

class CliDevice : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx-cli-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        options.rootDir = (folder / "device").string();
        options.sshPort = 0;
        options.livePort = 0;
        options.announcePort = FreeUdpPort();
        options.announceInterval_ms = 100;
        options.alias = "Yard";
    }
    void TearDown() override {
        if (device)
            device->Stop();
        fs::remove_all(folder);
    }
    void StartDevice() {
        device = std::make_unique<devsim::DeviceSimulator>(options);
        device->Start();
    }

    // Runs korvex-cli with `arguments` (already quoted) and `environment`
    // assignments, with its own configuration folder and no controlling
    // terminal (so nothing can be asked).
    Outcome Cli(const std::string& environment, const std::string& arguments) {
        return test::RunCommandWithErrors("env XDG_CONFIG_HOME='" + (folder / "config").string() + "' " +
                                              environment + " setsid -w '" KORVEX_CLI_PATH "' " + arguments,
                                          folder / "stderr.txt");
    }
    std::string Device() const {
        return "device --host 127.0.0.1 --port " + std::to_string(device->SshPort()) + " --user admin ";
    }

    fs::path folder;
    devsim::Options options;
    std::unique_ptr<devsim::DeviceSimulator> device;
};

TEST_F(CliDevice, VersionPrintsStatusTextAndWrongPasswordFails) {
    StartDevice();
    Outcome ok = Cli("KORVEX_PASSWORD=admin", Device() + "version");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, LoadTextA(text::status_connected_as) + " admin@127.0.0.1; " +
                          LoadTextA(text::status_firmware_version) + ": 2.1.0; " +
                          LoadTextA(text::status_cameras) + ": 1\n");
    EXPECT_NE(ok.err.find("SHA256:"), std::string::npos) << ok.err; // the key recorded on first use
    EXPECT_TRUE(fs::exists(folder / "config/korvex/known_hosts"));

    Outcome bad = Cli("KORVEX_PASSWORD=nope", Device() + "version");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find(LoadTextA(text::session_login_failed)), std::string::npos) << bad.err;

    // Never from the command line; no terminal and no variable: no attempt.
    EXPECT_EQ(Cli("", Device() + "--password admin version").status, 2);
    EXPECT_EQ(Cli("", Device() + "version").status, 2);
    EXPECT_EQ(device->AuthFailures(), 1u);
}

TEST_F(CliDevice, NetworkShowAndRecordingsGet) {
    StartDevice();
    Outcome show = Cli("KORVEX_PASSWORD=admin", Device() + "network-show");
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(show.out, "ipaddr: 192.168.0.20\nnetmask: 255.255.255.0\ngateway: 192.168.0.1\n"
                        "hwaddr: 02:4B:56:00:00:01\ncontroller: none\ncameras: 1\ncamera 0: 192.168.0.101\n"
                        "pass: gate 1 pass\n");

    const std::string to = (folder / "copies").string();
    Outcome get = Cli("KORVEX_PASSWORD=admin",
                      Device() + "recordings get cam2/2026-12-06/09 09-15-00.mp4 --to '" + to + "'");
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "09-00-00.mp4\n09-15-00.mp4  [S]\n");
    EXPECT_EQ(ReadWholeFile(to + "/cam2/2026-12-06/09/09-15-00.mp4"),
              ReadWholeFile(device->HostPath("/mnt/usbdrive/cam2/2026-12-06/09/09-15-00.mp4")));
    Outcome ls = Cli("KORVEX_PASSWORD=admin", Device() + "recordings ls cam2/2026-12-06 --to '" + to + "'");
    EXPECT_EQ(ls.out, "08:00\n09:00  [S]\n");
    Outcome missing = Cli("KORVEX_PASSWORD=admin", Device() + "recordings ls cam9");
    EXPECT_EQ(missing.status, 1);
}

TEST_F(CliDevice, DownloadPasswdAndSyncClock) {
    options.clockOffset_s = 40;
    StartDevice();
    const fs::path copy = folder / "copy.kvx";
    Outcome download = Cli("KORVEX_PASSWORD=admin", Device() + "download '" + copy.string() + "'");
    EXPECT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(download.out, LoadTextA(text::program_downloaded) + "\n");
    EXPECT_EQ(ReadWholeFile(copy), ReadWholeFile(device->HostPath("/etc/tavo/program.tdv")));

    Outcome clock = Cli("KORVEX_PASSWORD=admin", Device() + "sync-clock");
    EXPECT_EQ(clock.status, 0) << clock.err;
    EXPECT_EQ(clock.out, "device clock set\n");
    EXPECT_LE(std::abs(device->ClockOffset()), 2);
    Outcome again = Cli("KORVEX_PASSWORD=admin", Device() + "sync-clock");
    EXPECT_EQ(again.out, "device clock in step\n");

    Outcome passwd = Cli("KORVEX_PASSWORD=admin KORVEX_NEW_PASSWORD='two words'", Device() + "passwd");
    EXPECT_EQ(passwd.status, 0) << passwd.err;
    EXPECT_EQ(device->Password(), "two words");
    EXPECT_EQ(Cli("KORVEX_PASSWORD=admin", Device() + "version").status, 1);
    EXPECT_EQ(Cli("KORVEX_PASSWORD='two words'", Device() + "version").status, 0);
}

// One upload only: each waits the device's full restart time (about 40 s).
TEST_F(CliDevice, HistoryListsKeptProgramsAndRestoreKeepsTheOneItReplaces) {
    StartDevice();
    const std::string data = "XDG_DATA_HOME='" + (folder / "data").string() + "' KORVEX_PASSWORD=admin ";
    const std::string original = ReadWholeFile(device->HostPath("/etc/tavo/program.tdv"));
    EXPECT_EQ(Cli(data, Device() + "history").out, "");
    Outcome restoreNothing = Cli(data, Device() + "restore");
    EXPECT_EQ(restoreNothing.status, 1);
    EXPECT_NE(restoreNothing.err.find(LoadTextA(text::device_no_kept_program)), std::string::npos)
        << restoreNothing.err;
    EXPECT_EQ(device->Commands().size(), 0u); // decided without the device

    const fs::path kept = folder / "data/korvex/history/127.0.0.1";
    fs::create_directories(kept);
    std::ofstream(kept / "20261201T080000.000Z.kvx", std::ios::binary) << "older program";
    std::ofstream(kept / "20261202T080000.000Z.kvx", std::ios::binary) << "kept program";
    Outcome listed = Cli(data, Device() + "history");
    EXPECT_EQ(listed.out, "2026-12-02 08:00:00 UTC\t12 bytes\t" +
                              (kept / "20261202T080000.000Z.kvx").string() +
                              "\n2026-12-01 08:00:00 UTC\t13 bytes\t" +
                              (kept / "20261201T080000.000Z.kvx").string() + "\n");

    Outcome restore = Cli(data, Device() + "restore");
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(ReadWholeFile(device->HostPath("/etc/tavo/program.tdv")), "kept program");
    EXPECT_NE(restore.err.find(LoadTextA(text::device_kept_in) + " " + kept.string() + "/"),
              std::string::npos)
        << restore.err;
    // The program the restore replaced is the newest kept one now, so the
    // step can be undone the same way.
    Outcome again = Cli(data, Device() + "history");
    ASSERT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 3) << again.out;
    const std::string newest = again.out.substr(0, again.out.find('\n'));
    EXPECT_EQ(ReadWholeFile(newest.substr(newest.rfind('\t') + 1)), original);
}

// What the device reports as failed ends the command with its words and
// exit status 1, never with a success text.
TEST_F(CliDevice, DeviceFailuresEndTheCommandWithStatusOne) {
    options.clockOffset_s = 40;
    StartDevice();
    auto refuse = [&](const std::string& command, const std::string& text) {
        devsim::FaultOptions faults;
        faults.failCommand = command;
        faults.failStatus = 3;
        faults.failText = text;
        device->SetFaults(faults);
    };

    const std::string program = ReadWholeFile(device->HostPath("/etc/tavo/program.tdv"));
    const fs::path file = folder / "new.kvx";
    std::ofstream(file, std::ios::binary) << std::string(26083, 'N');
    devsim::FaultOptions cut;
    cut.cutUploadAfter = 20000;
    device->SetFaults(cut);
    Outcome upload = Cli("KORVEX_PASSWORD=admin", Device() + "upload '" + file.string() + "'");
    EXPECT_EQ(upload.status, 1) << upload.out;
    EXPECT_EQ(upload.out.find(LoadTextA(text::program_uploaded)), std::string::npos) << upload.out;
    EXPECT_TRUE(ReadWholeFile(device->HostPath("/etc/tavo/program.tdv")) == program);

    refuse("sync && /tavo/restart", "boom");
    Outcome restart = Cli("KORVEX_PASSWORD=admin",
                          Device() + "restart --announce-port " + std::to_string(test::FreeUdpPort()));
    EXPECT_EQ(restart.status, 1) << restart.out;
    EXPECT_NE(restart.err.find("boom"), std::string::npos) << restart.err;
    EXPECT_EQ(device->RestartCount(), 0u);

    refuse("/tavo/setdate", "setdate: no clock");
    Outcome clock = Cli("KORVEX_PASSWORD=admin", Device() + "sync-clock");
    EXPECT_EQ(clock.status, 1) << clock.out;
    EXPECT_NE(clock.err.find(LoadTextA(text::link_clock_not_set)), std::string::npos) << clock.err;

    // The version command's output is what version shows: its failure is
    // the command's, alone and in a fleet.
    refuse("/tavo/tavo --version", "tavo: firmware image damaged");
    Outcome version = Cli("KORVEX_PASSWORD=admin", Device() + "version");
    EXPECT_EQ(version.status, 1) << version.out;
    EXPECT_EQ(version.out, "");
    EXPECT_NE(version.err.find("firmware image damaged"), std::string::npos) << version.err;
    std::ofstream(folder / "hosts.txt") << "127.0.0.1:" << device->SshPort() << "\n";
    Outcome fleet = Cli("KORVEX_PASSWORD=admin",
                        "device --hosts '" + (folder / "hosts.txt").string() + "' --user admin version");
    EXPECT_EQ(fleet.status, 1) << fleet.out;
    EXPECT_NE(fleet.out.find("\"ok\": false"), std::string::npos) << fleet.out;
    EXPECT_NE(fleet.out.find("firmware image damaged"), std::string::npos) << fleet.out;

    refuse("ifconfig eth0", "ifconfig: eth0: no such device");
    Outcome shown = Cli("KORVEX_PASSWORD=admin", Device() + "network-show");
    EXPECT_EQ(shown.status, 1);
    EXPECT_NE(shown.out.find("ipaddr: 192.168.0.20\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.err.find("\"ifconfig eth0\""), std::string::npos) << shown.err;
}

bool Sent(const devsim::DeviceSimulator& device, const std::string& prefix) {
    for (const auto& c : device.Commands())
        if (c.command.rfind(prefix, 0) == 0)
            return true;
    return false;
}

TEST_F(CliDevice, NetworkSetRefusesUnreachableSettingsAndWantsForceForAForeignGateway) {
    StartDevice();
    const std::string set = Device() + "network-set ";
    for (const char* values : {"--ip 0.0.0.0 --netmask 0.0.0.0 --gateway 0.0.0.0",
                               "--ip 255.255.255.255 --netmask 255.255.255.0 --gateway 192.168.0.1",
                               "--ip 224.0.0.9 --netmask 255.255.255.0 --gateway 192.168.0.1",
                               "--ip 192.168.0.30 --netmask 255.0.255.0 --gateway 192.168.0.1"}) {
        Outcome refused = Cli("KORVEX_PASSWORD=admin", set + values + " --force");
        EXPECT_EQ(refused.status, 2) << values;
        EXPECT_NE(refused.err.find("korvex-cli: "), std::string::npos) << refused.err;
    }
    // Refused before the device is even asked.
    EXPECT_TRUE(device->Commands().empty());
    EXPECT_EQ(device->AuthFailures(), 0u);

    const std::string foreign = set + "--ip 192.168.0.30 --netmask 255.255.255.0 --gateway 10.0.0.1";
    Outcome unconfirmed = Cli("KORVEX_PASSWORD=admin", foreign);
    EXPECT_EQ(unconfirmed.status, 2);
    EXPECT_NE(unconfirmed.err.find("--force"), std::string::npos) << unconfirmed.err;
    EXPECT_TRUE(device->Commands().empty());

    // Confirmed, it goes to the device; the device's refusal (a non-zero
    // exit status) is the command's failure, with the device's words, and
    // nothing is restarted.
    devsim::FaultOptions faults;
    faults.failCommand = "/tavo/ipconfig --proto";
    faults.failText = "ipconfig: eth0 is busy\n";
    device->SetFaults(faults);
    Outcome forced = Cli("KORVEX_PASSWORD=admin", foreign + " --force");
    EXPECT_EQ(forced.status, 1);
    EXPECT_EQ(forced.out, "");
    EXPECT_NE(forced.err.find("ipconfig: eth0 is busy"), std::string::npos) << forced.err;
    EXPECT_TRUE(Sent(*device, "/tavo/ipconfig --proto static --ipaddr 192.168.0.30 --netmask 255.255.255.0 "
                              "--gateway 10.0.0.1"));
    EXPECT_EQ(device->RestartCount(), 0u);
}

TEST_F(CliDevice, UnreadableValuesShowAsMissingAndAreNeverWrittenBack) {
    options.faults.hiddenSettings = {"netmask"};
    StartDevice();
    std::ofstream(device->HostPath("/tavo/cam0")) << "10.0.0.300?channel=3\n";
    Outcome show = Cli("KORVEX_PASSWORD=admin", Device() + "network-show");
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("netmask: missing\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("camera 0: missing\n"), std::string::npos) << show.out;

    Outcome set =
        Cli("KORVEX_PASSWORD=admin",
            Device() + "network-set --ip 192.168.0.20 --netmask 255.255.255.0 --gateway 192.168.0.1");
    EXPECT_EQ(set.status, 2);
    EXPECT_NE(set.err.find("--camera 0="), std::string::npos) << set.err;
    EXPECT_FALSE(Sent(*device, "/tavo/ipconfig --proto"));
    EXPECT_EQ(ReadWholeFile(device->HostPath("/tavo/cam0")), "10.0.0.300?channel=3\n");
}

TEST_F(CliDevice, AFailedDownloadIsReportedOnce) {
    StartDevice();
    // Without its factory record the device fails the connect's version
    // query and the settings job that needs the record.
    fs::remove(device->HostPath("/etc/tavo/factory/config.pb"));
    Outcome show = Cli("KORVEX_PASSWORD=admin", Device() + "network-show");
    EXPECT_EQ(show.status, 1);
    const std::string line = "korvex-cli: " + LoadTextA(text::program_download_failed) + "\n";
    const size_t first = show.err.find(line);
    ASSERT_NE(first, std::string::npos) << show.err;
    EXPECT_EQ(show.err.find(line, first + line.size()), std::string::npos) << show.err;
}

TEST_F(CliDevice, RefusedPasswordChangeFails) {
    StartDevice();
    Outcome passwd = Cli("KORVEX_PASSWORD=admin KORVEX_NEW_PASSWORD=", Device() + "passwd");
    EXPECT_EQ(passwd.status, 1);
    EXPECT_EQ(passwd.out, "");
    EXPECT_NE(passwd.err.find(LoadTextA(text::password_change_failed)), std::string::npos) << passwd.err;
    EXPECT_NE(passwd.err.find("chpass: empty password, password unchanged"), std::string::npos) << passwd.err;
    EXPECT_EQ(device->Password(), "admin");
}

TEST_F(CliDevice, DiscoverListsTheAnnouncingDevice) {
    StartDevice();
    Outcome found = Cli("", "discover --seconds 2 --port " + std::to_string(options.announcePort));
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "127.0.0.1 (Yard)\n");

    // No time to listen is still a listen, on a port that can be bound.
    Outcome none = Cli("", "discover --seconds 0 --port " + std::to_string(FreeUdpPort()));
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");
    // A port another program holds cannot be listened on.
    int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t n = sizeof a;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &n);
    Outcome taken = Cli("", "discover --seconds 0 --port " + std::to_string(ntohs(a.sin_port)));
    ::close(holder);
    EXPECT_EQ(taken.status, 1);
}

// Starts korvex-cli device on 127.0.0.1:`port` with `known` as its
// known-hosts file (none given when empty), all output dropped.
pid_t SpawnCli(const fs::path& folder, uint16_t port, const std::string& known) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("KORVEX_PASSWORD", "admin", 1);
        ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        const std::string portText = std::to_string(port);
        std::vector<const char*> argv = {KORVEX_CLI_PATH, "device",         "--host", "127.0.0.1",
                                         "--port",        portText.c_str(), "--user", "admin"};
        if (!known.empty()) {
            argv.push_back("--known-hosts");
            argv.push_back(known.c_str());
        }
        argv.push_back("version");
        argv.push_back(nullptr);
        ::execv(KORVEX_CLI_PATH, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    return child;
}

// Waits up to `timeout_ms` for the child to end; its exit status, or -1
// when it had to be killed.
int WaitExit(pid_t child, unsigned timeout_ms) {
    int status = 0;
    for (unsigned waited = 0; waited < timeout_ms; waited += 10) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

// A FIFO as the known-hosts file is refused at once, untouched, and never
// blocks the program (which Ctrl+C then could not end either).
TEST_F(CliDevice, FifoKnownHostsIsRefusedAndCtrlCEndsAWaitingCommand) {
    uint16_t port = 0;
    const int listener = test::ListenOnLoopback(port, 1);
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    pid_t child = SpawnCli(folder, port, fifo);
    int status = WaitExit(child, 5000);
    EXPECT_EQ(status, 1) << "not ended with a failure within 5 s";
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(fs::exists(fifo + ".lock"));
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "the device was contacted";

    // Ctrl+C while the device says nothing at all (the connect waits for
    // its greeting) ends the program promptly, reporting the interruption.
    child = SpawnCli(folder, port, "");
    ASSERT_EQ(::poll(&p, 1, 20000), 1) << "the program never connected";
    const int accepted = ::accept(listener, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto interrupted = std::chrono::steady_clock::now();
    ::kill(child, SIGINT);
    status = WaitExit(child, 5000);
    std::printf("ended %lld ms after Ctrl+C\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - interrupted)
                                           .count()));
    EXPECT_EQ(status, 1);
    ::close(accepted);
    ::close(listener);
}

} // namespace
} // namespace korvex
