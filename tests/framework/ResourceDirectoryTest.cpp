// Where an installed program and a program in its build tree find their
// language folders and Help.pdf.
#include "framework/Language.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace korvex {
namespace {

namespace fs = std::filesystem;

class ResourceDirectory : public ::testing::Test {
protected:
    const korvex::test::TempDir temp{"kx-resources"};
    const fs::path root{temp.Path()};
};

TEST_F(ResourceDirectory, InstalledProgramUsesTheShareFolderOfItsPrefix) {
    fs::create_directories(root / "usr/bin");
    fs::create_directories(root / "usr/share/korvex/pl");
    const std::string found = ResourceDirectoryFor((root / "usr/bin").string());
    EXPECT_EQ(fs::path(found), fs::canonical(root / "usr/share/korvex"));
    // Reached through a link to the bin folder, the result is the same real folder.
    fs::create_directory_symlink(root / "usr/bin", root / "linked-bin");
    EXPECT_EQ(fs::path(ResourceDirectoryFor((root / "linked-bin").string())),
              fs::canonical(root / "usr/share/korvex"));
}

TEST_F(ResourceDirectory, BuildTreeAndLookalikesKeepEverythingBesideTheProgram) {
    // A build tree: no share folder at all.
    fs::create_directories(root / "build/bin");
    EXPECT_EQ(ResourceDirectoryFor((root / "build/bin").string()), (root / "build/bin").string());
    // share/korvex that is a file, not a folder, is not an installation.
    fs::create_directories(root / "odd/bin");
    fs::create_directories(root / "odd/share");
    std::ofstream(root / "odd/share/korvex") << "not a folder";
    EXPECT_EQ(ResourceDirectoryFor((root / "odd/bin").string()), (root / "odd/bin").string());
    // Another program's share folder does not count.
    fs::create_directories(root / "other/bin");
    fs::create_directories(root / "other/share/something-else");
    EXPECT_EQ(ResourceDirectoryFor((root / "other/bin").string()), (root / "other/bin").string());
}

} // namespace
} // namespace korvex
