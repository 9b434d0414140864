// The pieces of the device's shell and file tree that are easy to get
// subtly wrong: word splitting, path mapping, date parsing, the command
// list and the default file tree.

#include "DevsimFixture.h"
#include "devsim/DeviceCommands.h"
#include "devsim/DeviceFiles.h"
#include "devsim/SimulatorState.h"
#include "support/WaitUntil.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

using namespace korvex::devsim;
using namespace devsimtest;

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::vector<bool> ops;
    EXPECT_TRUE(SplitCommandLine(line, words, ops)) << line;
    return words;
}

TEST(DeviceShell, SplitsWordsLikeAPosixShell) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Words("scp -t '/etc/tavo/program.tdv'"), (V{"scp", "-t", "/etc/tavo/program.tdv"}));
    EXPECT_EQ(Words("/tavo/setdate \"2026-01-02 03:04:05\""), (V{"/tavo/setdate", "2026-01-02 03:04:05"}));
    EXPECT_EQ(Words("ls -p '/mnt/usbdrive/it'\\''s'"), (V{"ls", "-p", "/mnt/usbdrive/it's"}));
    EXPECT_EQ(Words("a\\ b \"q\\\"x\""), (V{"a b", "q\"x"}));
    EXPECT_EQ(Words("''"), (V{""}));
    std::vector<std::string> words;
    std::vector<bool> ops;
    ASSERT_TRUE(SplitCommandLine("sync && /tavo/restart", words, ops));
    EXPECT_EQ(words, (V{"sync", "&&", "/tavo/restart"}));
    EXPECT_EQ(ops, (std::vector<bool>{false, true, false}));
    ASSERT_TRUE(SplitCommandLine("echo '&&'", words, ops));
    EXPECT_EQ(ops, (std::vector<bool>{false, false}));
    EXPECT_FALSE(SplitCommandLine("ls 'open", words, ops));
    EXPECT_FALSE(SplitCommandLine("ls \"open", words, ops));
}

TEST(DeviceFiles, MapsOnlyTheDeviceFoldersAndResolvesDotsFirst) {
    EXPECT_EQ(MapDevicePath("/r", "/tavo/pass"), "/r/tavo/pass");
    EXPECT_EQ(MapDevicePath("/r", "/etc/tavo/factory/config.pb"), "/r/etc/tavo/factory/config.pb");
    EXPECT_EQ(MapDevicePath("/r", "/mnt/usbdrive"), "/r/mnt/usbdrive");
    EXPECT_EQ(MapDevicePath("/r", "/mnt/usbdrive/./cam1//x/../y"), "/r/mnt/usbdrive/cam1/y");
    EXPECT_EQ(MapDevicePath("/r", "/tavo/../etc/passwd"), "");
    EXPECT_EQ(MapDevicePath("/r", "/../../tavo/pass"), "");
    EXPECT_EQ(MapDevicePath("/r", "/tavox/pass"), "");
    EXPECT_EQ(MapDevicePath("/r", "/etc/tavo2"), "");
    EXPECT_EQ(MapDevicePath("/r", "tavo/pass"), "");
    EXPECT_EQ(MapDevicePath("/r", ""), "");
}

TEST(DeviceFiles, DefaultTreeHoldsTheFilesTheToolReads) {
    TempDir root;
    Options o = QuietOptions(root.Path());
    o.factoryCameraCount = 3;
    PrepareRoot(o);
    const std::string r = o.rootDir;
    std::string content;
    ASSERT_TRUE(ReadFile(r + "/etc/tavo/factory/config.pb", content));
    EXPECT_EQ(content, std::string("\x08\x03", 2));
    ASSERT_TRUE(ReadFile(r + "/tavo/controller", content));
    EXPECT_EQ(content, "255.255.255.255\n");
    ASSERT_TRUE(ReadFile(r + "/tavo/cam1", content));
    EXPECT_EQ(content, "192.168.0.102?channel=2\n");
    EXPECT_TRUE(std::filesystem::exists(r + "/tavo/cam2"));
    ASSERT_TRUE(ReadFile(r + "/etc/tavo/program.tdv", content));
    ASSERT_GE(content.size(), 8u);
    EXPECT_EQ(content[0], 2); // the render state chunk comes first
    EXPECT_TRUE(std::filesystem::is_regular_file(r + "/mnt/usbdrive/cam2/2026-12-06/09/09-15-00.mp4"));

    // A second start keeps what the device's commands changed.
    WriteFileAtomically(r + "/tavo/pass", "changed\n");
    PrepareRoot(o);
    ASSERT_TRUE(ReadFile(r + "/tavo/pass", content));
    EXPECT_EQ(content, "changed\n");
}

TEST(DeviceClock, ParsesOnlyRealDatesAndFormatsIsoSeconds) {
    std::time_t t = 0;
    ASSERT_TRUE(ParseDateTime("2026-12-07 08:09:10", t));
    EXPECT_EQ(FormatIsoSeconds(t), "2026-12-07T08:09:10+00:00");
    EXPECT_FALSE(ParseDateTime("2026-02-30 08:09:10", t));
    EXPECT_FALSE(ParseDateTime("2026-12-07T08:09:10", t));
    EXPECT_FALSE(ParseDateTime("2026-12-07 24:00:00", t));
    EXPECT_FALSE(ParseDateTime("2026-12-07 08:09:10 extra", t));
}

// Runs a handler to its end with the given input, as a session would.
ExecContext RunHandler(ExecHandler& h, const std::string& input) {
    ExecContext c;
    c.input = input;
    c.inputEof = true;
    for (int i = 0; i < 10 && !c.done; ++i)
        h.Step(c);
    return c;
}

class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.options = QuietOptions(root.Path());
        state.password = state.options.password;
        PrepareRoot(state.options);
    }
    ExecContext Run(const std::string& command, const std::string& input) {
        auto h = CreateHandler(state, state.options.user, command);
        return RunHandler(*h, input);
    }
    TempDir root;
    DeviceSimulator::State state;
};

TEST_F(HandlerTest, CommandListsStopAtTheFirstFailure) {
    ExecContext c = Run("sync && /tavo/restart", "");
    EXPECT_EQ(c.exitStatus, 0);
    EXPECT_TRUE(c.restartAfter);
    c = Run("nosuch && /tavo/restart", "");
    EXPECT_EQ(c.exitStatus, 127);
    EXPECT_FALSE(c.restartAfter);
    EXPECT_EQ(c.errorOutput, "sh: nosuch: not found\n");
    c = Run("sync &&", "");
    EXPECT_NE(c.exitStatus, 0);
    EXPECT_FALSE(c.restartAfter);
    c = Run("/tavo/chpass somebody", "x\nx\n");
    EXPECT_EQ(c.exitStatus, 1);
    EXPECT_EQ(state.password, state.options.password);
}

TEST_F(HandlerTest, FaultsMakeCommandsFailOrLeaveSettingsOut) {
    state.faults.failCommand = "ls -p";
    state.faults.failStatus = 5;
    state.faults.failText = "ls: I/O error\n";
    ExecContext c = Run("ls -p /mnt/usbdrive", "");
    EXPECT_EQ(c.exitStatus, 5);
    EXPECT_EQ(c.errorOutput, "ls: I/O error\n");
    EXPECT_EQ(c.output, "");
    EXPECT_EQ(Run("date -u -Iseconds", "").exitStatus, 0); // other commands run

    state.faults = {};
    state.faults.hiddenSettings = {"netmask", "gateway"};
    c = Run("/tavo/ipconfig --show", "");
    EXPECT_EQ(c.exitStatus, 0);
    EXPECT_NE(c.output.find("ipaddr = "), std::string::npos);
    EXPECT_EQ(c.output.find("netmask ="), std::string::npos);
    EXPECT_EQ(c.output.find("gateway ="), std::string::npos);
}

TEST_F(HandlerTest, AQuietCommandSaysNothingUntilItsTimeThenAnswers) {
    state.faults.quietCommands_ms = 60000;
    auto quiet = CreateHandler(state, state.options.user, "date -u -Iseconds");
    ExecContext c;
    quiet->Step(c);
    EXPECT_FALSE(c.done);
    EXPECT_EQ(c.output, "");
    // A client that gives up ends it.
    c.inputEof = true;
    quiet->Step(c);
    EXPECT_TRUE(c.done);
    EXPECT_EQ(c.output, "");

    state.faults.quietCommands_ms = 1;
    auto brief = CreateHandler(state, state.options.user, "date -u -Iseconds");
    ExecContext d;
    EXPECT_TRUE(korvex::test::WaitUntil(
        [&] {
            if (!d.done)
                brief->Step(d);
            return d.done;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(d.exitStatus, 0);
    EXPECT_EQ(d.output.size(), std::string("2026-12-07T08:00:00+00:00\n").size());
}

TEST_F(HandlerTest, ScpSinkAcceptsAFileWithoutTheFinalZeroByte) {
    // As libssh2 sends it: quoted path, mode 0777, data, then EOF.
    ExecContext c = Run("scp -t '/etc/tavo/program.tdv'", "C0777 5 program.tdv\nhello");
    EXPECT_EQ(c.exitStatus, 0);
    EXPECT_EQ(c.output, std::string("\0\0\0", 3)); // start, file line, file written
    std::string content;
    ASSERT_TRUE(ReadFile(state.options.rootDir + "/etc/tavo/program.tdv", content));
    EXPECT_EQ(content, "hello");
    ASSERT_EQ(state.transfers.size(), 1u);
    EXPECT_TRUE(state.transfers[0].complete);
    EXPECT_EQ(state.transfers[0].mode, 0777u);
}

// The device's copy program writes a file where it is, as the bytes come:
// a copy cut off leaves what arrived over the old file's first bytes. A
// locked folder takes no new file, but its files are written in place.
TEST_F(HandlerTest, ScpSinkWritesInPlaceAndALockedFolderTakesNoNewFile) {
    std::string before;
    ASSERT_TRUE(ReadFile(state.options.rootDir + "/tavo/pass", before));
    ASSERT_EQ(before, "gate 1 pass\n");
    ExecContext c = Run("scp -t /tavo/pass", "C0644 100 pass\nonly a part");
    EXPECT_NE(c.exitStatus, 0);
    std::string after;
    ASSERT_TRUE(ReadFile(state.options.rootDir + "/tavo/pass", after));
    EXPECT_EQ(after, "only a part\n");
    ASSERT_EQ(state.transfers.size(), 1u);
    EXPECT_FALSE(state.transfers[0].complete);
    EXPECT_FALSE(state.transfers[0].error.empty());

    state.faults.lockedFolders = {"/tavo"};
    c = Run("scp -t /tavo/pass.new", std::string("C0644 3 pass.new\nnew") + '\0');
    EXPECT_NE(c.output.find("\x01scp: /tavo/pass.new: Permission denied"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(state.options.rootDir + "/tavo/pass.new"));
    c = Run("scp -t /tavo/pass", std::string("C0644 3 pass\nnew") + '\0');
    EXPECT_EQ(c.exitStatus, 0);
    ASSERT_TRUE(ReadFile(state.options.rootDir + "/tavo/pass", after));
    EXPECT_EQ(after, "new");
    EXPECT_NE(Run("mv -f /tavo/pass /tavo/pass2", "").exitStatus, 0);
    EXPECT_NE(Run("rm -f /tavo/pass", "").exitStatus, 0);
}

TEST_F(HandlerTest, ScpSinkRefusesBadFileLines) {
    for (const char* line : {"C0644 5 ../x\nhello", "C0644 5 a/b\nhello", "C06x4 5 x\nhello", "Cfoo\n",
                             "D0755 0 dir\n", "C0644 99999999999999999999999 x\n"}) {
        ExecContext c = Run("scp -t /tavo/", line);
        EXPECT_NE(c.output.find('\x01'), std::string::npos) << line;
        EXPECT_FALSE(std::filesystem::exists(state.options.rootDir + "/tavo/x")) << line;
    }
}

TEST_F(HandlerTest, ScpSourceSendsTimesFirstAndCountsACloseAsTheEnd) {
    std::string pass;
    ASSERT_TRUE(ReadFile(state.options.rootDir + "/tavo/pass", pass));
    // Client: start byte, acks for T line and C line; then it closes
    // without acknowledging the final zero, as libssh2 does.
    ExecContext c = Run("scp -pf /tavo/pass", std::string("\0\0\0", 3));
    EXPECT_EQ(c.exitStatus, 0);
    ASSERT_FALSE(c.output.empty());
    EXPECT_EQ(c.output[0], 'T');
    size_t cLine = c.output.find("\nC");
    ASSERT_NE(cLine, std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((state.options.rootDir + "/tavo/pass").c_str(), &st), 0);
    char header[64];
    std::snprintf(header, sizeof header, "C%04o %zu pass\n", unsigned(st.st_mode & 07777), pass.size());
    EXPECT_EQ(c.output.substr(cLine + 1, strlen(header)), header);
    EXPECT_EQ(c.output.substr(cLine + 1 + strlen(header)), pass + std::string("\0", 1));
    ASSERT_EQ(state.transfers.size(), 1u);
    EXPECT_TRUE(state.transfers[0].complete);
}

} // namespace
