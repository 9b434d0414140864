// Replacing a package folder: a failure at any file leaves the old folder
// as it was and nothing beside it.
#include "files/PackageFolder.h"

#include "framework/LocalException.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Content(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = korvex::test::ReadWholeFile(e.path());
    return files;
}

std::vector<PackageEntry> Entries(size_t masks, char fill) {
    std::vector<PackageEntry> entries;
    for (size_t k = 1; k <= masks; ++k)
        entries.push_back({"det" + std::to_string(k) + ".bmp", std::vector<uint8_t>(100, uint8_t(fill))});
    entries.push_back({"config.txt", {uint8_t(fill)}});
    entries.push_back({"compose.txt", {uint8_t(fill)}});
    return entries;
}

} // namespace

TEST(PackageFolder, AFailureAtAnyFileKeepsTheOldPackage) {
    const korvex::test::TempDir temp{"korvex-pkg"};
    const fs::path root = temp.Path();
    const fs::path out = root / "out";
    WritePackageFolder(Entries(6, 'a'), out.string());
    ::chmod(out.c_str(), 0750);
    const auto before = Content(out);
    ASSERT_EQ(before.size(), 8u);

    const std::vector<PackageEntry> fresh = Entries(3, 'b');
    for (size_t failAt = 0; failAt < fresh.size(); ++failAt) {
        size_t written = 0;
        auto failing = [&](const std::string& path, const std::vector<uint8_t>& content) {
            if (written++ == failAt)
                throw LocalException("disk full");
            WritePackageFile(path, content);
        };
        EXPECT_THROW(WritePackageFolder(fresh, out.string(), failing), LocalException);
        EXPECT_EQ(Content(out), before) << "failing at file " << failAt;
        EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1) << failAt;
    }

    // Through a link, the folder it points to is replaced and keeps its
    // permissions; the link stays a link.
    fs::create_directory_symlink(out, root / "link");
    WritePackageFolder(fresh, (root / "link/").string());
    EXPECT_TRUE(fs::is_symlink(root / "link"));
    EXPECT_EQ(Content(out).size(), fresh.size());
    EXPECT_EQ(Content(out).at("det1.bmp"), std::string(100, 'b'));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(PackageFolder, NamesThatAreNotPlainFileNamesAreRefused) {
    EXPECT_TRUE(IsPackageFileName("det12.bmp"));
    EXPECT_FALSE(IsPackageFileName("det.bmp"));
    EXPECT_FALSE(IsPackageFileName("detx.bmp"));
    const korvex::test::TempDir temp{"korvex-pkg"};
    const fs::path root = temp.Path();
    for (const char* name : {"../evil.txt", "", "..", "a/b"}) {
        std::vector<PackageEntry> entries = {{name, {1}}};
        EXPECT_THROW(WritePackageFolder(entries, (root / "out").string()), LocalException) << name;
    }
    EXPECT_FALSE(fs::exists(root / "out"));
    EXPECT_FALSE(fs::exists(root / "evil.txt"));
}
