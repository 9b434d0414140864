#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "support/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

using korvex::test::TempDir;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t EntriesIn(const std::string& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace

TEST(BinaryFile, ErrorsNameThePathWithTheStringTableText) {
    StringTable::Install({{256, "Cannot open '"}, {254, "Cannot read '"}});
    TempDir dir;
    std::string missing = dir.File("missing.bin");
    try {
        BinaryFile f(missing, "rb");
        FAIL() << "opened a missing file";
    } catch (const LocalException& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open '" + missing + "'.");
    }
    WriteBytes(dir.File("short.bin"), "abc");
    BinaryFile f(dir.File("short.bin"), "rb");
    EXPECT_EQ(f.Size(), 3u);
    char buf[4];
    try {
        f.Read(buf, 4);
        FAIL() << "short read succeeded";
    } catch (const LocalException& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read '" + dir.File("short.bin") + "'.");
    }
    StringTable::Install({});
}

TEST(BinaryFile, FoldersAndDevicesAreRefusedWithTheOpenError) {
    // fopen accepts a folder for reading and its size reads as 2^63; it must
    // be refused as a file that cannot be opened, naming the path.
    StringTable::Install({{256, "Cannot open '"}});
    TempDir dir;
    for (const std::string& path : {dir.Path(), std::string("/dev/null")}) {
        try {
            BinaryFile::ReadAll(path);
            ADD_FAILURE() << "read " << path;
        } catch (const LocalException& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open '" + path + "'.");
        }
    }
    StringTable::Install({});
}

TEST(BinaryFile, ReadAllReturnsTheWholeFile) {
    TempDir dir;
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    WriteBytes(dir.File("a.bin"), data);
    auto bytes = BinaryFile::ReadAll(dir.File("a.bin"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), data);
}

TEST(AtomicFile, CommitReplacesTheTargetWhole) {
    TempDir dir;
    std::string target = dir.File("project.kvx");
    WriteBytes(target, "old content");
    {
        AtomicFile f(target);
        f.Write("new", 3);
        EXPECT_EQ(ReadBytes(target), "old content"); // untouched until commit
        f.Commit();
    }
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u); // no temporary left behind
}

TEST(AtomicFile, ASaveKeepsPermissionsLinksAndTheUmask) {
    TempDir dir;
    std::string target = dir.File("p.kvx");
    WriteBytes(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    AtomicFile::WriteAll(target, "new", 3);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadBytes(target), "new");

    // Through a relative symbolic link: the link stays, its file changes.
    fs::create_directory(dir.File("real"));
    WriteBytes(dir.File("real/q.kvx"), "first");
    fs::create_symlink("real/q.kvx", dir.File("link.kvx"));
    AtomicFile::WriteAll(dir.File("link.kvx"), "second", 6);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.kvx")));
    EXPECT_EQ(ReadBytes(dir.File("real/q.kvx")), "second");
    EXPECT_EQ(EntriesIn(dir.File("real")), 1u);

    // A new file gets what the umask gives; the umask is left as it was.
    mode_t before = umask(027);
    for (bool unnamed : {true, false}) {
        std::string fresh = dir.File(unnamed ? "fresh1" : "fresh2");
        AtomicFile f(fresh, unnamed);
        f.Write("x", 1);
        f.Commit();
        ASSERT_EQ(stat(fresh.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
    EXPECT_EQ(umask(before), 027u);
}

TEST(AtomicFile, KilledSavesLeaveTheOldOrNewFileAndNoLitter) {
    TempDir dir;
    std::string target = dir.File("p.kvx");
    const std::string small(1000, 'a'), large(400000, 'b');
    WriteBytes(target, small);
    // Children save over and over, alternating contents, and are killed at
    // varying moments. Named temporaries a kill leaves are removed by the
    // next save; unnamed ones never appear.
    for (int round = 0; round < 24; ++round) {
        const bool unnamed = round % 2 == 0;
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                const std::string& content = i % 2 ? small : large;
                AtomicFile f(target, unnamed);
                f.Write(content.data(), content.size());
                f.Commit();
            }
        }
        usleep(useconds_t(2000 + round * 1700));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = ReadBytes(target);
        ASSERT_TRUE(now == small || now == large) << "round " << round << ": " << now.size() << " bytes";
    }
    AtomicFile f(target, false);
    f.Write("done", 4);
    f.Commit();
    EXPECT_EQ(ReadBytes(target), "done");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, AnUncommittedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    std::string target = dir.File("project.kvx");
    WriteBytes(target, "precious");
    {
        AtomicFile f(target);
        f.Write("half", 4);
        // destroyed without Commit, as when an exception ends the save
    }
    EXPECT_EQ(ReadBytes(target), "precious");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, AMissingFolderIsRefusedWithTheReason) {
    StringTable::Install({{3200, "Refused '%s': %s."}, {3207, "no folder"}});
    try {
        AtomicFile("/nonexistent-folder/x.kvx");
        ADD_FAILURE() << "no error";
    } catch (const LocalException& e) {
        EXPECT_STREQ(e.what(), "Refused '/nonexistent-folder/x.kvx': no folder.");
    }
    StringTable::Install({});
}

// Links are followed to what they name: a link to a pipe or a folder is
// refused like the pipe or folder itself, and neither changes.
TEST(AtomicFile, SpecialFilesBehindLinksAreRefusedAndKept) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    fs::create_directory(dir.File("folder"));
    fs::create_symlink("fifo", dir.File("to-fifo"));
    fs::create_symlink("folder", dir.File("to-folder"));
    for (const char* name : {"fifo", "to-fifo", "folder", "to-folder"}) {
        EXPECT_NE(WriteTargetProblem(dir.File(name)), 0u) << name;
        EXPECT_THROW(AtomicFile::WriteAll(dir.File(name), "x", 1), LocalException) << name;
    }
    EXPECT_EQ(fs::status(dir.File("fifo")).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_empty(dir.File("folder")));
    EXPECT_EQ(EntriesIn(dir.Path()), 4u);
    // A dangling link names the file it would point to, which is made.
    fs::create_symlink("later", dir.File("to-later"));
    EXPECT_EQ(WriteTargetProblem(dir.File("to-later")), 0u);
}

// Something other than a file that takes the target's name while the file
// is written is left as it is, and the temporary goes.
TEST(AtomicFile, ATargetThatBecomesAPipeMeanwhileIsNotReplaced) {
    TempDir dir;
    const std::string target = dir.File("out");
    for (bool unnamed : {true, false}) {
        AtomicFile f(target, unnamed);
        f.Write("new", 3);
        ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
        EXPECT_THROW(f.Commit(), LocalException);
        EXPECT_EQ(fs::status(target).type(), fs::file_type::fifo);
        EXPECT_EQ(EntriesIn(dir.Path()), 1u);
        fs::remove(target);
    }
}

TEST(Language, ReadLanguageRules) {
    TempDir dir;
    std::string path = dir.File("lang.txt");
    EXPECT_EQ(ReadLanguageFrom(path), "auto"); // missing
    WriteBytes(path, "auto\r\n");
    EXPECT_EQ(ReadLanguageFrom(path), "auto");
    WriteBytes(path, "pl\n");
    EXPECT_EQ(ReadLanguageFrom(path), "pl");
    WriteBytes(path, "Auto");
    EXPECT_EQ(ReadLanguageFrom(path), "Auto"); // case matters: a language name
    WriteBytes(path, "de\tsecond");
    EXPECT_EQ(ReadLanguageFrom(path), "de");
    WriteBytes(path, "pl\vx");
    EXPECT_EQ(ReadLanguageFrom(path), "pl");
    WriteBytes(path, "abcdefghijklmno"); // 15 bytes: still a name
    EXPECT_EQ(ReadLanguageFrom(path), "abcdefghijklmno");
    WriteBytes(path, "abcdefghijklmnop"); // 16 bytes: too long
    EXPECT_EQ(ReadLanguageFrom(path), "auto");
    WriteBytes(path, "");
    EXPECT_EQ(ReadLanguageFrom(path), "");
}

TEST(Language, WriteThenReadRoundTripsWithoutLineEnd) {
    TempDir dir;
    std::string path = dir.File("lang.txt");
    WriteLanguageTo(path, "pl");
    EXPECT_EQ(ReadBytes(path), "pl");
    EXPECT_EQ(ReadLanguageFrom(path), "pl");
    EXPECT_THROW(WriteLanguageTo(dir.File("no/such/dir/lang.txt"), "en"), LocalException);
}

TEST(Language, ADeviceAsTheFileIsRefusedAndStaysADevice) {
    // /dev/full took the open before, and a flush error was all that kept
    // the setting from being reported as saved; now nothing is opened.
    struct stat before {};
    if (stat("/dev/full", &before) != 0)
        GTEST_SKIP() << "no /dev/full";
    StringTable::Install({{3200, "Refused '%s': %s."}, {3202, "a device"}});
    try {
        WriteLanguageTo("/dev/full", "pl");
        ADD_FAILURE() << "no error";
    } catch (const LocalException& e) {
        EXPECT_STREQ(e.what(), "Refused '/dev/full': a device.");
    }
    StringTable::Install({});
    struct stat after {};
    ASSERT_EQ(stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
}
