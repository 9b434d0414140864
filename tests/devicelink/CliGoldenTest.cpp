// korvex-cli device and device --hosts, byte for byte: every status,
// standard output and standard error is compared with the transcripts in
// golden/. The parts that change from run to run (ports, key fingerprints,
// the scratch folder) are replaced by placeholders first. Set
// KORVEX_GOLDEN_UPDATE=1 to write the transcripts anew after a deliberate
// change of wording.
#include "devsim/DeviceSimulator.h"
#include "support/CommandRun.h"
#include "support/FreePort.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::string environment; // assignments before the command
    std::string arguments;   // after korvex-cli, already quoted
    bool sortLines = false;  // fleet lines come in the order devices finish
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    if (from.empty())
        return text;
    for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size())
        text.replace(pos, from.size(), to);
    return text;
}

std::string SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string joined;
    for (const auto& line : lines)
        joined += line + "\n";
    return joined;
}

class CliGolden : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx-golden-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        for (auto& d : devices)
            d->Stop();
        fs::remove_all(folder);
    }

    devsim::DeviceSimulator& AddDevice(int clockOffset_s = 0) {
        devsim::Options options;
        options.rootDir = (folder / ("device" + std::to_string(devices.size()))).string();
        options.sshPort = 0;
        options.livePort = 0;
        options.announce = false;
        options.clockOffset_s = clockOffset_s;
        devices.push_back(std::make_unique<devsim::DeviceSimulator>(options));
        devices.back()->Start();
        return *devices.back();
    }

    // The transcript of one run, with what varies between runs masked.
    std::string Transcript(const Case& c) {
        const test::CommandOutcome r =
            test::RunCommandWithErrors("env XDG_CONFIG_HOME='" + (folder / "config").string() +
                                           "' XDG_DATA_HOME='" + (folder / "data").string() + "' " +
                                           c.environment + " setsid -w '" KORVEX_CLI_PATH "' " + c.arguments,
                                       folder / "stderr.txt");
        const std::string out = c.sortLines ? SortedLines(Mask(r.out)) : Mask(r.out);
        const std::string err = c.sortLines ? SortedLines(Mask(r.err)) : Mask(r.err);
        return Mask("$ " + c.arguments) + "\nstatus " + std::to_string(r.status) + "\n--- out\n" + out +
               "--- err\n" + err + "\n";
    }

    std::string Mask(std::string text) const {
        text = Replace(text, folder.string(), "{folder}");
        for (size_t d = 0; d < devices.size(); ++d)
            text = std::regex_replace(text, std::regex("\\b" + std::to_string(devices[d]->SshPort()) + "\\b"),
                                      "{port" + std::to_string(d) + "}");
        text = std::regex_replace(text, std::regex("\\b" + std::to_string(deadPort) + "\\b"), "{dead}");
        return std::regex_replace(text, std::regex("SHA256:[A-Za-z0-9+/=]+"), "SHA256:{fingerprint}");
    }

    // Compares the transcripts of `cases` with golden/`name`.
    void Check(const std::string& name, const std::vector<Case>& cases) {
        std::string all;
        for (const Case& c : cases)
            all += Transcript(c);
        const fs::path file = fs::path(KORVEX_GOLDEN_DIR) / name;
        if (const char* update = std::getenv("KORVEX_GOLDEN_UPDATE"); update && std::string(update) == "1") {
            std::ofstream(file, std::ios::binary) << all;
            return;
        }
        const std::string expected = test::ReadWholeFile(file);
        ASSERT_FALSE(expected.empty()) << file;
        EXPECT_EQ(all, expected);
    }

    std::string Device(size_t d = 0) const {
        return "device --host 127.0.0.1 --port " + std::to_string(devices[d]->SshPort()) + " --user admin ";
    }

    fs::path folder;
    std::vector<std::unique_ptr<devsim::DeviceSimulator>> devices;
    uint16_t deadPort = test::FreeTcpPort();
};

// Everything refused before a device is asked, and the help texts.
TEST_F(CliGolden, HelpAndRefusedArguments) {
    const std::string host = "device --host 127.0.0.1 --user admin ";
    const std::string set = host + "network-set --ip 10.0.0.2 --netmask 255.255.255.0 ";
    Check("usage.txt", {{"", "device --help"},
                        {"", "device --hosts - --help"},
                        {"", host},
                        {"", host + "frobnicate"},
                        {"", host + "--bogus version"},
                        {"", host + "--password x version"},
                        {"", "device --user admin version"},
                        {"", "device --host 127.0.0.1 --port 0 --user admin version"},
                        {"", "device --host 127.0.0.1 version"},
                        {"", host + "version extra"},
                        {"", host + "upload"},
                        {"", host + "download a.kvx b.kvx"},
                        {"", host + "restart --announce-port x"},
                        {"", host + "restart now"},
                        {"", host + "network-set --ip 10.0.0.2"},
                        {"", set + "--gateway 10.0.1.1"},
                        {"", set + "--gateway 10.0.0.1 --camera 5=10.0.0.9"},
                        {"", set + "--gateway 10.0.0.1 --camera 1=nowhere"},
                        {"", set + "--gateway 10.0.0.1 --controller x"},
                        {"", set + "--gateway 10.0.0.1 --bogus 1"},
                        {"", set + "--gateway 10.0.0.1 --pass"},
                        {"", host + "recordings"},
                        {"", host + "recordings ls a b"},
                        {"", host + "recordings get cam2 x.mp4 --to out"},
                        {"", host + "recordings get cam2/d/h x.mp4"},
                        {"", host + "version"},
                        {"", host + "history"},
                        {"KORVEX_PASSWORD=admin", host + "restore"},
                        {"", "device --hosts - --user admin"},
                        {"", "device --hosts - --host 127.0.0.1 --user admin version"},
                        {"", "device --hosts - --user admin --parallel 0 version"},
                        {"", "device --hosts - --user admin passwd"},
                        {"", "device --hosts - --user admin --bogus version"}});
}

// One device: what each command prints, and how failures read.
TEST_F(CliGolden, CommandsAgainstOneDevice) {
    devsim::DeviceSimulator& device = AddDevice(40);
    const std::string pw = "KORVEX_PASSWORD=admin";
    const std::string to = "'" + (folder / "copies").string() + "'";
    Check("device.txt", {{pw, Device() + "version"},
                         {"KORVEX_PASSWORD=nope", Device() + "version"},
                         {pw, Device() + "network-show"},
                         {pw, Device() + "recordings ls"},
                         {pw, Device() + "recordings ls cam2"},
                         {pw, Device() + "recordings ls cam2/2026-12-06"},
                         {pw, Device() + "recordings ls cam2/2026-12-06/09 --to " + to},
                         {pw, Device() + "recordings get cam2/2026-12-06/09 09-15-00.mp4 --to " + to},
                         {pw, Device() + "recordings ls cam2/2026-12-06/09 --to " + to},
                         {pw, Device() + "recordings get cam2/2026-12-06/09 nothere.mp4 --to " + to},
                         {pw, Device() + "recordings ls cam9"},
                         {pw, Device() + "download '" + (folder / "copy.kvx").string() + "'"},
                         {pw, Device() + "sync-clock"},
                         {pw, Device() + "sync-clock"},
                         {pw, Device() + "history"},
                         {pw + " KORVEX_NEW_PASSWORD=second", Device() + "passwd"},
                         {pw, Device() + "version"},
                         {"KORVEX_PASSWORD=second", Device() + "version"}});
    EXPECT_EQ(device.Password(), "second");
}

// Several devices and one that is not there: one JSON line each.
TEST_F(CliGolden, FleetLines) {
    AddDevice();
    AddDevice();
    std::ofstream(folder / "hosts.txt")
        << "# two devices and a missing one\n127.0.0.1:" << devices[0]->SshPort()
        << "\n127.0.0.1:" << devices[1]->SshPort() << "\n127.0.0.1:" << deadPort << "\n";
    const std::string fleet =
        "device --hosts '" + (folder / "hosts.txt").string() + "' --user admin --timeout 60 ";
    const std::string pw = "KORVEX_PASSWORD=admin";
    Check("fleet.txt", {{pw, fleet + "version", true},
                        {pw, fleet + "network-show", true},
                        {pw, fleet + "recordings ls", true},
                        {pw, fleet + "recordings ls cam2/2026-12-06", true},
                        {pw, fleet + "download '" + (folder / "p-{port}.kvx").string() + "'", true},
                        {"KORVEX_PASSWORD=nope", fleet + "version", true},
                        {pw, fleet + "sync-clock", true},
                        {pw, fleet + "recordings ls cam9", true},
                        {pw, fleet + "recordings ls cam2/2026-12-06/09/x", true}});
}

} // namespace
} // namespace korvex
