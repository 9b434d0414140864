// korvex-cli convert, run as a site would when its cameras are replaced.
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "framework/BinaryFile.h"
#include "model/PictureCoordinates.h"
#include "model/ProjectConvert.h"
#include "raster/DetectorRaster.h"

#include "support/CommandRun.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvex;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string err;
};

Result Cli(const std::string& args, const std::string& errFile) {
    std::string command =
        std::string("'") + KORVEX_CLI_PATH + "' " + args + " >/dev/null 2>'" + errFile + "'";
    int status = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::vector<uint8_t> err = BinaryFile::ReadAll(errFile);
    r.err.assign(err.begin(), err.end());
    return r;
}

class CliConvert : public ::testing::Test {
protected:
    void SetUp() override {
        dir = korvex::test::MakeTempFolder("korvex-convert");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }
    std::string Q(const std::string& name) const { return "'" + Path(name) + "'"; }
    Result Run(const std::string& args) const { return Cli(args, Path("stderr.txt")); }
    std::string dir;
};

// A 320 x 240 project: a filled square on A with a painted-out block, a
// three-division quadrilateral on A, a line on B.
RenderState Site() {
    RenderState s = RenderState::NewProject();
    Detector square(0, 1, 0, 0, 1, 320, 240);
    square.points = {{{40, 40}, {120, 40}, {120, 120}, {40, 120}}};
    square.fill = 100;
    for (uint32_t y = 60; y < 80; ++y)
        for (uint32_t x = 60; x < 80; ++x)
            square.exclusion.PaintBlack(x, y);
    s.detectors.push_back(square);
    Detector quad(3, 2, 0, 0, 2, 320, 240);
    quad.points = {{{201, 13}, {317, 9}, {311, 237}, {187, 201}}};
    s.detectors.push_back(quad);
    Detector line(1, 1, 1, 1, 1, 320, 240);
    line.points = {{{3, 233}, {157, 7}, {0, 0}, {0, 0}}};
    s.detectors.push_back(line);
    return s;
}

std::vector<PackageEntry> Package(const std::string& path) {
    std::vector<uint8_t> file = BinaryFile::ReadAll(path);
    ChunkReader reader(file.data(), file.size());
    ChunkReader::Chunk c;
    std::vector<PackageEntry> entries;
    while (reader.Next(c))
        if (c.type == 11)
            ReadPackageEntries(c.payload, c.size, entries);
    return entries;
}

} // namespace

TEST_F(CliConvert, ToTheSmallerPictureAndBack) {
    Document doc;
    doc.New();
    doc.NewRenderState(Site());
    SaveProject(doc, Path("site.kvx"));
    std::vector<uint8_t> original = BinaryFile::ReadAll(Path("site.kvx"));
    RenderState before = LoadProject(Path("site.kvx"));

    Result r = Run("convert " + Q("site.kvx") + " " + Q("small.kvx") + " --size 180x144");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(BinaryFile::ReadAll(Path("site.kvx")), original) << "IN is never written";
    RenderState small = LoadProject(Path("small.kvx"));
    EXPECT_EQ(small.width, 180u);
    EXPECT_EQ(small.composer_y.size(), 8u);
    ASSERT_EQ(small.detectors.size(), 3u);
    for (size_t k = 0; k < 3; ++k)
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(small.detectors[k].points[i],
                      ConvertPoint(before, before.detectors[k].points[i], 180, 144));
    // Square corners: 40 * 0.5625 = 22.5 -> 23 (half away from zero), 120 -> 67.5 -> 68.
    EXPECT_EQ(small.detectors[0].points[0], (Point{30 + 23, 24}));
    EXPECT_EQ(small.detectors[0].points[2], (Point{30 + 68, 72}));

    // The package masks are the rasteriser's masks of the converted detectors,
    // and the painted-out block is still out.
    std::vector<PackageEntry> entries = Package(Path("small.kvx"));
    ASSERT_GE(entries.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        const std::vector<uint8_t>& bmp = entries[k].content;
        ASSERT_EQ(bmp.size(), 54u + 23 * 144);
        DetectorMask mask = ComputeDetectorMask(small.detectors[k], 240, 144);
        for (uint32_t y = 0; y < 144; ++y)
            for (uint32_t x = 0; x < 180; ++x) {
                bool bit = (bmp[54 + (143 - y) * 23 + x / 8] >> (7 - x % 8)) & 1;
                ASSERT_EQ(bit, mask.At(x + 30, y)) << k << ": " << x << "," << y;
            }
    }
    DetectorMask square = ComputeDetectorMask(small.detectors[0], 240, 144);
    EXPECT_FALSE(square.At(30 + 39, 42)) << "inside the painted-out block (picture 70, 70 before)";
    EXPECT_TRUE(square.At(30 + 28, 30)) << "outside the block (picture 50, 50 before)";
    EXPECT_TRUE(square.At(30 + 60, 60));

    r = Run("convert " + Q("small.kvx") + " " + Q("back.kvx") + " --size=320x240");
    ASSERT_EQ(r.status, 0) << r.err;
    RenderState back = LoadProject(Path("back.kvx"));
    EXPECT_EQ(back.width, 320u);
    EXPECT_EQ(back.composer_y.size(), 24u);
    for (size_t k = 0; k < 3; ++k)
        for (size_t i = 0; i < size_t(CornerCount(back.detectors[k])); ++i) {
            EXPECT_LE(std::abs(back.detectors[k].points[i].x - before.detectors[k].points[i].x), 1) << k << i;
            EXPECT_LE(std::abs(back.detectors[k].points[i].y - before.detectors[k].points[i].y), 1) << k << i;
        }
}

TEST_F(CliConvert, RefusalsWriteNothing) {
    Document doc;
    doc.New();
    RenderState s = Site();
    s.composer_y[10] = ComposerItem(ComposerItem::InputA, 1);
    s.composer_y[15] = ComposerItem(ComposerItem::Zero);
    doc.NewRenderState(s);
    SaveProject(doc, Path("site.kvx"));

    Result r = Run("convert " + Q("site.kvx") + " " + Q("small.kvx") + " --size 180x144");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Y11, Y16"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("small.kvx")));

    EXPECT_EQ(Run("convert " + Q("site.kvx") + " " + Q("same.kvx") + " --size 320x240").status, 1);
    EXPECT_FALSE(fs::exists(Path("same.kvx")));
    EXPECT_EQ(Run("convert " + Q("site.kvx") + " " + Q("x.kvx") + " --size 240x144").status, 2);
    EXPECT_EQ(Run("convert " + Q("site.kvx") + " " + Q("x.kvx")).status, 2) << "--size is required";
    EXPECT_EQ(Run("convert " + Q("site.kvx") + " " + Q("site.kvx") + " --size 180x144 --force").status, 2);
    EXPECT_EQ(Run("convert " + Q("missing.kvx") + " " + Q("x.kvx") + " --size 180x144").status, 1);
    EXPECT_FALSE(fs::exists(Path("x.kvx")));

    r = Run("convert " + Q("site.kvx") + " " + Q("small.kvx") + " --size 180x144 --force");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("dropped outputs Y11, Y16"), std::string::npos) << r.err;
    EXPECT_EQ(LoadProject(Path("small.kvx")).composer_y.size(), 8u);
}
