// korvex-cli package into a folder that already holds a package: the
// folder ends up holding the new package or the old one, never a mixture.
#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "support/CommandRun.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

Files FolderContent(const fs::path& folder) {
    Files files;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = korvex::test::ReadWholeFile(e.path());
    return files;
}

// File names and sizes, for messages that stay readable.
std::string Names(const Files& files) {
    std::string names;
    for (const auto& [name, content] : files)
        names += name + "(" + std::to_string(content.size()) + ") ";
    return names;
}

#define EXPECT_SAME_FILES(a, b) EXPECT_TRUE((a) == (b)) << Names(a) << "\n  vs " << Names(b)

Files PackageFiles(const RenderState& state, const std::string& path) {
    std::vector<uint8_t> package = BuildConfigPackage(state, path);
    std::vector<PackageEntry> entries;
    EXPECT_TRUE(ReadPackageEntries(package.data(), package.size(), entries));
    Files files;
    for (const PackageEntry& e : entries)
        files[e.name] = std::string(e.content.begin(), e.content.end());
    return files;
}

// An Or tree over `leaves` detector inputs, for a long script line.
ComposerItem OrTree(int leaves, int& next) {
    if (leaves == 1) {
        ++next;
        return ComposerItem(ComposerItem::InputA + uint32_t(next % 2), 1 + next % 32);
    }
    ComposerItem item(ComposerItem::Or);
    item.children.push_back(OrTree(leaves / 2, next));
    item.children.push_back(OrTree(leaves - leaves / 2, next));
    return item;
}

// A 320 x 240 project with `detectors` detectors; `longScript` fills every
// Z row so that the script is longer than any mask.
RenderState Project(uint32_t detectors, bool longScript) {
    RenderState state = RenderState::NewProject();
    for (uint32_t i = 0; i < detectors; ++i) {
        Detector d(0, 1, 0, i % 2, i / 2 + 1, 320, 240);
        d.points = {Point{10, 10}, Point{int32_t(40 + 10 * i), 10}, Point{int32_t(40 + 10 * i), 60},
                    Point{10, 60}};
        state.detectors.push_back(d);
    }
    if (longScript) {
        int next = 0;
        for (ComposerItem& row : state.composer_z)
            row = OrTree(24, next);
    }
    return state;
}

class CliPackage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = korvex::test::MakeTempFolder("korvex-package");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Save(const std::string& name, const RenderState& state) {
        const std::string path = (fs::path(dir) / name).string();
        std::vector<uint8_t> bytes = ProjectFileBytes(state, path);
        AtomicFile::WriteAll(path, bytes.data(), bytes.size());
        return path;
    }
    // korvex-cli package PROJECT OUT, with `limits` shell commands run first.
    int Package(const std::string& project, const std::string& limits = "") {
        const std::string command = "sh -c \"" + limits + "exec '" + KORVEX_CLI_PATH + "' package '" +
                                    project + "' '" + Out().string() + "'\" >/dev/null 2>&1";
        return korvex::test::RunCommand(command).status;
    }
    fs::path Out() const { return fs::path(dir) / "out"; }

    std::string dir;
};

} // namespace

TEST_F(CliPackage, ASecondPackageReplacesTheFirstWhole) {
    const std::string older = Save("gate.kvx", Project(11, false));
    ASSERT_EQ(Package(older), 0);
    EXPECT_EQ(FolderContent(Out()).size(), 13u);

    const RenderState newer = Project(7, false);
    const std::string newerPath = Save("gate2.kvx", newer);
    ASSERT_EQ(Package(newerPath), 0);
    // det8.bmp .. det11.bmp of the older package are gone.
    EXPECT_SAME_FILES(FolderContent(Out()), PackageFiles(newer, newerPath));
    // Nothing is left beside the folder either.
    size_t siblings = 0;
    for ([[maybe_unused]] const fs::directory_entry& e : fs::directory_iterator(dir))
        ++siblings;
    EXPECT_EQ(siblings, 3u); // gate.kvx, gate2.kvx, out
}

TEST_F(CliPackage, AFailurePartWayLeavesTheOldPackageIntact) {
    const std::string older = Save("gate.kvx", Project(11, false));
    ASSERT_EQ(Package(older), 0);
    const Files before = FolderContent(Out());

    // The new package's masks fit under the file size limit, its script
    // does not: writing fails after the masks and config.txt, as on a disk
    // that fills up part-way.
    const RenderState newer = Project(7, true);
    const std::string newerPath = Save("gate2.kvx", newer);
    const Files files = PackageFiles(newer, newerPath);
    const size_t limitBlocks = (files.at("det1.bmp").size() + 511) / 512;
    ASSERT_GT(files.at("compose.txt").size(), limitBlocks * 512);
    EXPECT_EQ(Package(newerPath, "trap '' XFSZ; ulimit -f " + std::to_string(limitBlocks) + "; "), 1);

    EXPECT_SAME_FILES(FolderContent(Out()), before);
    size_t siblings = 0;
    for ([[maybe_unused]] const fs::directory_entry& e : fs::directory_iterator(dir))
        ++siblings;
    EXPECT_EQ(siblings, 3u); // no half-written folder beside it

    // Without the limit the same package goes in whole.
    ASSERT_EQ(Package(newerPath), 0);
    EXPECT_SAME_FILES(FolderContent(Out()), files);
}

TEST_F(CliPackage, AFolderHoldingOtherFilesIsRefusedUntouched) {
    fs::create_directories(Out());
    AtomicFile::WriteAll((Out() / "notes.txt").string(), "keep", 4);
    AtomicFile::WriteAll((Out() / "det1.bmp").string(), "old", 3);
    const Files before = FolderContent(Out());
    EXPECT_EQ(Package(Save("gate.kvx", Project(2, false))), 1);
    EXPECT_SAME_FILES(FolderContent(Out()), before);
}
