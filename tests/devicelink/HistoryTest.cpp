// The program history folder and the known-hosts edits the device windows
// make (no device needed).

#include "devicelink/Connection.h"
#include "devicelink/KnownHosts.h"
#include "devicelink/ProgramHistory.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx-history-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
};

using ProgramHistoryTest = TempFolder;

TEST_F(ProgramHistoryTest, KeepsNewestFirstAndPrunesBeyondTheLimit) {
    ProgramHistory history((folder / "history").string(), 3);
    const uint64_t t0 = UtcTo100ns(2026, 12, 7, 11, 27, 28);
    EXPECT_TRUE(history.List("10.0.0.7").empty());
    for (int i = 0; i < 5; ++i) {
        const std::string content = "program " + std::to_string(i);
        history.Keep("10.0.0.7", content.data(), content.size(), t0 + static_cast<uint64_t>(i) * 10000000ULL);
    }
    const auto kept = history.List("10.0.0.7");
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].name, "20261207T112732.000Z.kvx");
    EXPECT_EQ(ReadFile(kept[0].path), "program 4");
    EXPECT_EQ(ReadFile(kept[2].path), "program 2");
    EXPECT_EQ(kept[0].size, 9u);
    // Each device has its own folder; stray files there are not entries.
    std::ofstream(folder / "history/10.0.0.7/notes.txt") << "mine";
    EXPECT_EQ(history.List("10.0.0.7").size(), 3u);
    EXPECT_TRUE(history.List("10.0.0.8").empty());
    EXPECT_TRUE(fs::exists(folder / "history/10.0.0.7/notes.txt"));
}

TEST_F(ProgramHistoryTest, SameMillisecondOrAClockGoneBackStillMakesANewestEntry) {
    ProgramHistory history((folder / "history").string());
    const uint64_t t = UtcTo100ns(2026, 12, 7, 12, 0, 0);
    history.Keep("10.0.0.7", "a", 1, t);
    history.Keep("10.0.0.7", "b", 1, t);
    history.Keep("10.0.0.7", "c", 1, t - 3600ULL * 10000000ULL);
    const auto kept = history.List("10.0.0.7");
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(ReadFile(kept[0].path), "c");
    EXPECT_EQ(ReadFile(kept[1].path), "b");
    EXPECT_EQ(kept[1].name, "20261207T120000.001Z.kvx");
    EXPECT_EQ(kept[0].name, "20261207T120000.002Z.kvx");
}

// A program the same as the newest kept one is not kept again; one that
// differs is, even when an older entry holds the same bytes.
TEST_F(ProgramHistoryTest, KeepsAProgramOnlyWhenItDiffersFromTheNewest) {
    ProgramHistory history((folder / "history").string());
    const uint64_t t = UtcTo100ns(2026, 12, 7, 12, 0, 0);
    const std::string first = history.Keep("10.0.0.7", "abc", 3, t);
    EXPECT_EQ(history.Keep("10.0.0.7", "abc", 3, t + 10000000ULL), first);
    history.Keep("10.0.0.7", "abd", 3, t + 20000000ULL);
    history.Keep("10.0.0.7", "abc", 3, t + 30000000ULL);
    const auto kept = history.List("10.0.0.7");
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(ReadFile(kept[0].path), "abc");
    EXPECT_EQ(ReadFile(kept[1].path), "abd");
    EXPECT_EQ(ProgramHistory::EntryTimeText(kept[0].name), "2026-12-07 12:00:03");
    EXPECT_EQ(ProgramHistory::EntryTimeText("notes.txt"), "");
}

// Several sessions of one process keeping the programs of devices behind
// one address at the same moment: every program is kept, none over another.
TEST_F(ProgramHistoryTest, SessionsKeepingAtOnceEachGetTheirOwnEntry) {
    const uint64_t t = UtcTo100ns(2026, 12, 7, 12, 0, 0);
    std::vector<std::thread> sessions;
    for (int n = 0; n < 8; ++n)
        sessions.emplace_back([&, n] {
            ProgramHistory history((folder / "history").string(), 20);
            const std::string content = "program " + std::to_string(n);
            history.Keep("10.0.0.7", content.data(), content.size(), t);
        });
    for (auto& s : sessions)
        s.join();
    std::set<std::string> contents;
    for (const auto& entry : ProgramHistory((folder / "history").string()).List("10.0.0.7"))
        contents.insert(ReadFile(entry.path));
    EXPECT_EQ(contents.size(), 8u);
}

TEST_F(ProgramHistoryTest, RefusesAddressesThatAreNotPlainDottedText) {
    ProgramHistory history((folder / "history").string());
    for (const char* bad : {"..", "../etc", "10.0.0", "10.0.0.256", "a.b.c.d", "10.0.0.7/x", ""})
        EXPECT_THROW(history.FolderOf(bad), std::exception) << bad;
    EXPECT_EQ(history.FolderOf("192.168.0.20"), (folder / "history/192.168.0.20").string());
}

TEST(ProgramHistoryRoot, FollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(ProgramHistory::DefaultRoot(), "/data/home/korvex/history");
    ::setenv("XDG_DATA_HOME", "relative", 1); // not absolute: ignored
    EXPECT_NE(ProgramHistory::DefaultRoot(), "relative/korvex/history");
    if (saved)
        ::setenv("XDG_DATA_HOME", before.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

using KnownHostsEdit = TempFolder;

std::string Blob(const std::string& type, const std::string& body) {
    std::string blob(4, '\0');
    blob[3] = static_cast<char>(type.size());
    return blob + type + body;
}

TEST_F(KnownHostsEdit, RecordThenForgetOnlyThatHostAndPort) {
    const std::string path = (folder / "config/korvex/known_hosts").string();
    RecordHostKey(path, "10.0.0.7", 22, Blob("ssh-ed25519", "first"));
    RecordHostKey(path, "10.0.0.7", 2222, Blob("ssh-ed25519", "second"));
    RecordHostKey(path, "10.0.0.8", 22, Blob("ssh-rsa", "third"));
    const std::string recorded = ReadFile(path);
    EXPECT_EQ(recorded.find("10.0.0.7 ssh-ed25519 "), 0u) << recorded;
    EXPECT_NE(recorded.find("\n[10.0.0.7]:2222 ssh-ed25519 "), std::string::npos) << recorded;

    // A shared line keeps its other names; comments stay.
    std::ofstream(path, std::ios::app) << "# a comment\n10.0.0.9,[10.0.0.7]:2222 ssh-rsa AAAA\n";
    EXPECT_EQ(ForgetHostKey(path, "10.0.0.7", 2222), 2u);
    const std::string after = ReadFile(path);
    EXPECT_EQ(after.find("[10.0.0.7]:2222"), std::string::npos) << after;
    EXPECT_NE(after.find("10.0.0.7 ssh-ed25519 "), std::string::npos);
    EXPECT_NE(after.find("10.0.0.8 ssh-rsa "), std::string::npos);
    EXPECT_NE(after.find("# a comment\n10.0.0.9 ssh-rsa AAAA\n"), std::string::npos) << after;
    EXPECT_EQ(ForgetHostKey(path, "10.0.0.7", 2222), 0u);
    EXPECT_EQ(ForgetHostKey((folder / "none").string(), "10.0.0.7", 22), 0u);
}

TEST_F(KnownHostsEdit, BlobsThatDoNotNameTheirTypeAreNotRecorded) {
    EXPECT_EQ(KeyTypeOfBlob(Blob("ssh-ed25519", "x")), "ssh-ed25519");
    EXPECT_EQ(KeyTypeOfBlob(std::string("\0\0\0\x40", 4) + "short"), ""); // length beyond the blob
    EXPECT_EQ(KeyTypeOfBlob(Blob("bad type\n", "")), "");
    EXPECT_EQ(KeyTypeOfBlob("ab"), "");
    const std::string path = (folder / "known_hosts").string();
    EXPECT_THROW(RecordHostKey(path, "10.0.0.7", 22, "ab"), std::exception);
    EXPECT_FALSE(fs::exists(path));
}

} // namespace
} // namespace korvex
