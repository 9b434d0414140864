// korvex-cli discover against announcing simulators, a flood of forged ones and
// aliases that would act on a terminal.
#include "devsim/DeviceSimulator.h"
#include "support/FreePort.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(DiscoverJson, OneObjectPerDeviceWithItsAliasAndWhenItWasHeard) {
    const fs::path root = fs::temp_directory_path() / ("kx-discover-json-" + std::to_string(::getpid()));
    fs::remove_all(root);
    korvex::devsim::Options options;
    options.rootDir = root.string();
    options.sshPort = 0;
    options.livePort = 0;
    options.announcePort = korvex::test::FreeUdpPort();
    options.announceInterval_ms = 100;
    options.alias = "Brama \"P\xc3\xb3\xc5\x82noc\"";
    korvex::devsim::DeviceSimulator device(options);
    device.Start();

    const auto before = std::chrono::system_clock::now();
    const std::string command = std::string("'") + KORVEX_CLI_PATH + "' discover --json --seconds 2 --port " +
                                std::to_string(options.announcePort) + " 2>/dev/null";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    const auto after = std::chrono::system_clock::now();
    device.Stop();
    fs::remove_all(root);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::smatch m;
    const std::regex line(R"re(^\{"address": "127\.0\.0\.1", "alias": "(.*)", "last_seen": "(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{3})Z"\}\n$)re");
    ASSERT_TRUE(std::regex_match(out, m, line)) << out;
    EXPECT_EQ(m[1], "Brama \\\"P\xc3\xb3\xc5\x82noc\\\"");

    // The time is a real UTC time within the listening window.
    std::tm utc{};
    utc.tm_year = std::stoi(m[2]) - 1900;
    utc.tm_mon = std::stoi(m[3]) - 1;
    utc.tm_mday = std::stoi(m[4]);
    utc.tm_hour = std::stoi(m[5]);
    utc.tm_min = std::stoi(m[6]);
    utc.tm_sec = std::stoi(m[7]);
    const auto seen = std::chrono::system_clock::from_time_t(timegm(&utc)) + std::chrono::milliseconds(std::stoi(m[8]));
    EXPECT_GE(seen, before - std::chrono::seconds(1));
    EXPECT_LE(seen, after + std::chrono::seconds(1));
}

// A discover run started in the background; Finish() collects its output.
struct DiscoverRun {
    DiscoverRun(uint16_t port, unsigned seconds, const std::string& tag) {
        errPath = (fs::temp_directory_path() / ("kx-discover-" + tag + std::to_string(::getpid()))).string();
        const std::string command = std::string("'") + KORVEX_CLI_PATH + "' discover --seconds " +
                                    std::to_string(seconds) + " --port " + std::to_string(port) + " 2>'" +
                                    errPath + "'";
        pipe = ::popen(command.c_str(), "r");
    }
    void Finish() {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        status = ::pclose(pipe);
        std::ifstream in(errPath);
        std::stringstream text;
        text << in.rdbuf();
        err = text.str();
        fs::remove(errPath);
    }
    bool ExitedOk() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
    FILE* pipe = nullptr;
    std::string errPath, out, err;
    int status = -1;
};

korvex::devsim::Options AnnouncingDevice(const fs::path& root, uint16_t port, const std::string& alias) {
    korvex::devsim::Options options;
    options.rootDir = root.string();
    options.sshPort = 0;
    options.livePort = 0;
    options.announcePort = port;
    options.announceInterval_ms = 100;
    options.alias = alias;
    return options;
}

TEST(Discover, TwoRunsAtOnceBothListABroadcastingDevice) {
    const fs::path root = fs::temp_directory_path() / ("kx-discover-two-" + std::to_string(::getpid()));
    fs::remove_all(root);
    korvex::devsim::Options options = AnnouncingDevice(root, korvex::test::FreeUdpPort(), "Gate");
    options.announceAddress = "127.255.255.255"; // as devices do: to everyone
    korvex::devsim::DeviceSimulator device(options);
    device.Start();
    DiscoverRun first(options.announcePort, 2, "a"), second(options.announcePort, 2, "b");
    ASSERT_TRUE(first.pipe && second.pipe);
    first.Finish();
    second.Finish();
    device.Stop();
    fs::remove_all(root);
    EXPECT_TRUE(first.ExitedOk()) << first.err;
    EXPECT_TRUE(second.ExitedOk()) << second.err;
    EXPECT_EQ(first.out, "127.0.0.1 (Gate)\n");
    EXPECT_EQ(second.out, "127.0.0.1 (Gate)\n");
}

// One announcement from 127.1.x.y for each of `count` senders.
void Flood(uint16_t port, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F010000u | (i + 1));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        const std::string payload = "VISION\nalias `fake`\n";
        if (::bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0)
            ::sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(s);
        if (i % 64 == 63) // leave the listener time to keep up
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Whether a listener holds UDP `port`: a plain bind to it (without address
// reuse) is then refused.
bool PortHeld(uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    at.sin_port = htons(port);
    const bool held = ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0;
    ::close(s);
    return held;
}

TEST(Discover, AFloodDoesNotHideADeviceThatAnnouncesAfterIt) {
    const fs::path root = fs::temp_directory_path() / ("kx-discover-flood-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const uint16_t port = korvex::test::FreeUdpPort();
    DiscoverRun run(port, 6, "flood");
    ASSERT_TRUE(run.pipe);
    ASSERT_TRUE(korvex::test::WaitUntil([&] { return PortHeld(port); }, std::chrono::seconds(10)));
    Flood(port, 3000);
    korvex::devsim::DeviceSimulator device(AnnouncingDevice(root, port, "Real"));
    device.Start();
    run.Finish();
    device.Stop();
    fs::remove_all(root);
    EXPECT_TRUE(run.ExitedOk()) << run.err;
    EXPECT_NE(run.out.find("127.0.0.1 (Real)\n"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1023); // a full list
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.err, m, std::regex(R"(full: (\d+) entries)"))) << run.err;
    EXPECT_GT(std::stoul(m[1]), 0u);
}

TEST(Discover, PlainLinesEscapeWhatWouldActOnTheTerminal) {
    const fs::path root = fs::temp_directory_path() / ("kx-discover-esc-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const korvex::devsim::Options options =
        AnnouncingDevice(root, korvex::test::FreeUdpPort(), "\x1b]0;title\x07\x1b[2J\b\rOK\xe2\x80\xae\xfe");
    korvex::devsim::DeviceSimulator device(options);
    device.Start();
    DiscoverRun run(options.announcePort, 1, "esc");
    run.Finish();
    device.Stop();
    fs::remove_all(root);
    EXPECT_TRUE(run.ExitedOk()) << run.err;
    EXPECT_EQ(run.out, "127.0.0.1 (\\u001b]0;title\\u0007\\u001b[2J\\u0008\\rOK\\u202e\xef\xbf\xbd)\n");
}

} // namespace
