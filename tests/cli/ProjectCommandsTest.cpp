// Drives korvex-cli's project commands as a user's pipeline would, with the
// editing in between done through the model.
#include "composer/Composer.h"
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "files/Problems.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/DetectorTools.h"
#include "raster/DetectorRaster.h"
#include "support/CommandRun.h"
#include "support/EditState.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvex;
using korvex::test::PushEdited;
namespace fs = std::filesystem;

namespace {

using Result = korvex::test::CommandOutcome;

// Runs korvex-cli with `args` (already quoted), capturing stdout; stderr is
// dropped.
Result Cli(const std::string& args) {
    return korvex::test::RunCommand(std::string("'") + KORVEX_CLI_PATH + "' " + args + " 2>/dev/null");
}

class CliProject : public ::testing::Test {
protected:
    void SetUp() override {
        dir = korvex::test::MakeTempFolder("korvex-cli");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }
    std::string Q(const std::string& name) const { return "'" + Path(name) + "'"; }
    std::string dir;
};

std::vector<uint8_t> ChunkOf(const std::vector<uint8_t>& file, uint32_t type) {
    ChunkReader reader(file.data(), file.size());
    ChunkReader::Chunk c;
    while (reader.Next(c))
        if (c.type == type)
            return std::vector<uint8_t>(c.payload, c.payload + c.size);
    return {};
}

} // namespace

TEST_F(CliProject, NewEditPackageRereadGivesTheSameMasksAndTexts) {
    ASSERT_EQ(Cli("new " + Q("gate.kvx")).status, 0);

    // A small program edits the new project through the model.
    Document doc;
    doc.New();
    OpenProject(doc, Path("gate.kvx"));
    DrawingSettings settings;
    settings.card = 0;
    settings.fill = 0;
    settings.divisions = 2;
    AddDetector(doc, settings, Point{100, 60}); // A1: outline + 2 dividing lines
    ApplyPenWidth(doc, settings, 3);
    settings.card = 1;
    AddDetector(doc, settings, Point{10, 10}); // B1
    ApplyFillDivisions(doc, settings, 50, 0);  // half-toned fill
    PushEdited(doc,
               [](RenderState& s) { s.detectors[1].exclusion.PaintBlack(12, 12); }); // paint one pixel out
    PushEdited(doc, [](RenderState& edit) {
        edit.detectors[0].contrast = true;
        edit.detectors[1].directional = true;
        edit.detectors[1].angle = 90;
    });
    doc.SelectComposerItem("Y0X");
    ASSERT_TRUE(ApplyComposerOp(doc, {ComposerOpKind::And}));
    doc.SelectComposerItem("Y0AX");
    ASSERT_TRUE(ApplyComposerOp(doc, {ComposerOpKind::Input, 0, 1})); // A1
    doc.SelectComposerItem("Y0BX");
    ASSERT_TRUE(ApplyComposerOp(doc, {ComposerOpKind::Input, 1, 1})); // B1
    SaveProject(doc, Path("gate.kvx"));

    Result check = Cli("check " + Q("gate.kvx"));
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(check.out, "");
    Result script = Cli("script " + Q("gate.kvx"));
    ASSERT_EQ(script.status, 0);
    EXPECT_EQ(script.out.substr(0, 18), "Y1 = (A1 & B1)\nY2 ");

    Result package = Cli("package " + Q("gate.kvx") + " " + Q("out"));
    ASSERT_EQ(package.status, 0);
    EXPECT_EQ(package.out, "det1.bmp\ndet2.bmp\nconfig.txt\ncompose.txt\n");

    // Re-read: the files are byte for byte the entries of chunk 11 of the
    // saved project, and the masks are the rasterised detectors.
    std::vector<uint8_t> chunk11 = ChunkOf(BinaryFile::ReadAll(Path("gate.kvx")), 11);
    std::vector<PackageEntry> entries;
    ASSERT_TRUE(ReadPackageEntries(chunk11.data(), chunk11.size(), entries));
    ASSERT_EQ(entries.size(), 4u);
    for (const PackageEntry& e : entries)
        EXPECT_EQ(BinaryFile::ReadAll(Path("out/" + e.name)), e.content) << e.name;
    RenderState state = LoadProject(Path("gate.kvx"));
    EXPECT_EQ(std::string(entries[3].content.begin(), entries[3].content.end()), script.out);
    std::string config(entries[2].content.begin(), entries[2].content.end());
    EXPECT_NE(config.find("alias = gate\n"), std::string::npos);
    EXPECT_NE(config.find("det1_contrast = 1\n"), std::string::npos);
    EXPECT_NE(config.find("det2_card = 1\ndet2_number = 1\n"), std::string::npos);
    EXPECT_NE(config.find("det2_directional = 1\ndet2_angle = 90\n"), std::string::npos);
    for (size_t k = 0; k < 2; ++k) {
        const std::vector<uint8_t>& bmp = entries[k].content;
        ASSERT_EQ(bmp.size(), 9654u);
        DetectorMask mask = ComputeDetectorMask(state.detectors[k], 320, 240);
        uint32_t bits = 0;
        for (uint32_t y = 0; y < 240; ++y)
            for (uint32_t x = 0; x < 320; ++x) {
                bool bit = (bmp[54 + (239 - y) * 40 + x / 8] >> (7 - x % 8)) & 1;
                ASSERT_EQ(bit, mask.At(x, y)) << k << ": " << x << "," << y;
                bits += bit;
            }
        EXPECT_GT(bits, 0u);
    }
    // The painted-out pixel is in the drawing but not in the mask.
    EXPECT_EQ(DetectorMask(ComputeDetectorMask(state.detectors[1], 320, 240)).At(12, 12), false);

    // info --json reports the counts the inspector shows.
    Result info = Cli("info --json " + Q("gate.kvx"));
    ASSERT_EQ(info.status, 0);
    std::string pixels = "\"pixels\": ";
    pixels += std::to_string(DetectorPixelCount(state.detectors[0], 320, 240));
    pixels += ",";
    EXPECT_NE(info.out.find(pixels), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("{\"row\": \"Y1\", \"text\": \"(A1 & B1)\"}"), std::string::npos);
    EXPECT_NE(info.out.find("\"excluded_pixels\": 1}"), std::string::npos);

    // resave reproduces the state; render draws card 1's detector in dark green.
    ASSERT_EQ(Cli("resave " + Q("gate.kvx") + " " + Q("copy.kvx")).status, 0);
    EXPECT_TRUE(LoadProject(Path("copy.kvx")) == state);
    ASSERT_EQ(Cli("render " + Q("gate.kvx") + " " + Q("card1.bmp") + " --card 1").status, 0);
    std::vector<uint8_t> picture = BinaryFile::ReadAll(Path("card1.bmp"));
    Bitmap drawn(320, 240);
    drawn.LoadBmp(picture.data(), picture.size());
    // B1 is directional: its arrow goes over the drawing, yellow with a
    // black outline, inside the polygon's bounds; elsewhere the detector's
    // mask pixels are exactly the dark green ones.
    std::array<Point, 7> arrow = DirectionArrowPolygon(state.detectors[1].points, false, 90, 1);
    Rect box{1000, 1000, -1000, -1000};
    for (const Point& p : arrow)
        box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
               std::max(box.bottom, p.y)};
    auto inArrowBox = [&](uint32_t x, uint32_t y) {
        return int32_t(x) >= box.left && int32_t(x) <= box.right && int32_t(y) >= box.top &&
               int32_t(y) <= box.bottom;
    };
    DetectorMask mask1 = ComputeDetectorMask(state.detectors[1], 320, 240);
    uint32_t yellow = 0, black = 0;
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x) {
            uint32_t c = drawn.GetPixelColour(x, y);
            if (c == kArrowFill || c == kArrowOutline) {
                ASSERT_TRUE(inArrowBox(x, y)) << x << "," << y;
                (c == kArrowFill ? yellow : black) += 1;
            } else if (!inArrowBox(x, y)) {
                ASSERT_EQ(c == kRasterDarkGreen, mask1.At(x, y)) << x << "," << y;
            }
        }
    EXPECT_GT(yellow, 40u);
    EXPECT_GT(black, 30u);
    // The corners of the arrow are on its outline.
    for (const Point& p : arrow) {
        if (p.x >= 0 && p.y >= 0) {
            EXPECT_EQ(drawn.GetPixelColour(uint32_t(p.x), uint32_t(p.y)), kArrowOutline) << p.x << "," << p.y;
        }
    }
    // Card 0's detector is not directional: no arrow there.
    ASSERT_EQ(Cli("render " + Q("gate.kvx") + " " + Q("card0.bmp")).status, 0);
    picture = BinaryFile::ReadAll(Path("card0.bmp"));
    drawn.LoadBmp(picture.data(), picture.size());
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            ASSERT_NE(drawn.GetPixelColour(x, y), kArrowFill) << x << "," << y;
}

TEST_F(CliProject, ExitCodesAndProblems) {
    ASSERT_EQ(Cli("new " + Q("p.kvx") + " --size 180x144").status, 0);
    EXPECT_EQ(Cli("new " + Q("p.kvx")).status, 1); // exists
    EXPECT_EQ(Cli("new " + Q("p.kvx") + " --force --size=180x144").status, 0);
    EXPECT_EQ(Cli("new " + Q("q.kvx") + " --size 640x480").status, 2);
    EXPECT_EQ(Cli("info").status, 2);
    EXPECT_EQ(Cli("info " + Q("p.kvx") + " --bogus").status, 2);
    EXPECT_EQ(Cli("render " + Q("p.kvx") + " " + Q("x.bmp") + " --card 9").status, 2);
    EXPECT_EQ(Cli("render " + Q("p.kvx") + " " + Q("x.bmp") + " --card 5").status, 1);
    EXPECT_EQ(Cli("info " + Q("missing.kvx")).status, 1);
    for (const char* command : {"new", "info", "check", "script", "package", "resave", "render"}) {
        Result help = Cli(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: korvex-cli ") + command, 0), 0u) << command;
    }

    // A broken file is a failure, not a crash.
    std::vector<uint8_t> junk = {2, 0, 0, 0, 20, 0, 0, 0, 6, 0, 0, 0, 12, 0, 0, 0, 100, 0, 0, 0};
    AtomicFile::WriteAll(Path("junk.kvx"), junk.data(), junk.size());
    EXPECT_EQ(Cli("script " + Q("junk.kvx")).status, 1);

    Document doc;
    doc.New();
    OpenProject(doc, Path("p.kvx"));
    EXPECT_EQ(doc.Current().width, 180u);
    PushEdited(doc, [](RenderState& s) {
        s.detectors.push_back(Detector(1, 1, 0, 0, 40, 240, 144));
        s.detectors.push_back(Detector(1, 1, 0, 0, 40, 240, 144));
        s.composer_y[0] = ComposerItem(ComposerItem::InputC, 3);
    });
    SaveProject(doc, Path("p.kvx"));
    Result check = Cli("check " + Q("p.kvx"));
    EXPECT_EQ(check.status, 3);
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 4); // 2 range, 1 duplicate, 1 missing
}

// The expression checks are warnings: marked as such, after the problems,
// and only problems give exit status 3.
TEST_F(CliProject, CheckMarksWarningsAndExitsZeroForThemAlone) {
    RenderState state = RenderState::NewProject();
    state.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240)); // A1
    ComposerItem constant(ComposerItem::Or);                      // (1 | 0)
    constant.children = {ComposerItem(ComposerItem::One), ComposerItem(ComposerItem::Zero)};
    state.composer_y[0] = constant;
    state.composer_y[1] = ComposerItem(ComposerItem::Blur, 6); // Gblur: no seventh camera
    std::vector<uint8_t> bytes = ProjectFileBytes(state, Path("w.kvx"));
    AtomicFile::WriteAll(Path("w.kvx"), bytes.data(), bytes.size());
    Result warned = Cli("check " + Q("w.kvx"));
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.out, "warning: " + FormatText(LoadTextA(text::composer_check_constant), {"Y1", "1"}) +
                              "\nwarning: " +
                              FormatText(LoadTextA(text::composer_check_missing_camera), {"Y2", "Gblur"}) +
                              "\n");

    state.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240)); // a second A1
    bytes = ProjectFileBytes(state, Path("w.kvx"));
    AtomicFile::WriteAll(Path("w.kvx"), bytes.data(), bytes.size());
    Result blocked = Cli("check " + Q("w.kvx"));
    EXPECT_EQ(blocked.status, 3);
    EXPECT_EQ(
        blocked.out.rfind(FormatText(LoadTextA(text::problems_number_taken), {"A", "1"}) + "\nwarning: ", 0),
        0u)
        << blocked.out;
}

// A file cut inside its output expressions still reads, but no command
// passes it off as whole: info and check say what was not read, resave and
// convert refuse to make the loss permanent unless told to.
TEST_F(CliProject, ACutFileIsReportedAndNotSavedOverWithoutForce) {
    RenderState state = RenderState::NewProject();
    state.detectors.push_back(Detector(1, 1, 0, 0, 1, 320, 240)); // A1
    state.composer_y[0] = ComposerItem(ComposerItem::InputA, 1);
    const std::vector<uint8_t> whole = ProjectFileBytes(state, Path("cut.kvx"));
    const size_t expressions = 8 + RenderStatePayload(state).size() + 12; // inside chunk 7
    AtomicFile::WriteAll(Path("cut.kvx"), whole.data(), expressions);
    const std::string parts = LoadTextA(text::file_part_expressions);

    Result info = Cli("info " + Q("cut.kvx"));
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.out.find("incomplete: " + parts + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("detectors: 1\n"), std::string::npos); // what was read is described
    Result json = Cli("info --json " + Q("cut.kvx"));
    EXPECT_NE(json.out.find("\"incomplete\": \"" + parts + "\""), std::string::npos) << json.out;

    EXPECT_EQ(Cli("script " + Q("cut.kvx")).status, 1);
    Result check = Cli("check " + Q("cut.kvx"));
    EXPECT_EQ(check.status, 3);
    EXPECT_EQ(check.out, FormatText(LoadTextA(text::file_incomplete), {Path("cut.kvx"), parts}) + "\n");

    EXPECT_EQ(Cli("resave " + Q("cut.kvx") + " " + Q("cut.kvx")).status, 1);
    EXPECT_EQ(BinaryFile::ReadAll(Path("cut.kvx")).size(), expressions); // untouched
    EXPECT_EQ(Cli("resave " + Q("cut.kvx") + " " + Q("other.kvx")).status, 1);
    EXPECT_FALSE(fs::exists(Path("other.kvx")));
    EXPECT_EQ(Cli("convert " + Q("cut.kvx") + " " + Q("small.kvx") + " --size 180x144").status, 1);
    EXPECT_FALSE(fs::exists(Path("small.kvx")));

    // --force saves what was read, which then reads whole.
    EXPECT_EQ(Cli("resave --force " + Q("cut.kvx") + " " + Q("other.kvx")).status, 0);
    EXPECT_EQ(Cli("info " + Q("other.kvx")).status, 0);
    EXPECT_EQ(Cli("convert --force " + Q("cut.kvx") + " " + Q("small.kvx") + " --size 180x144").status, 0);
    EXPECT_EQ(Cli("check " + Q("other.kvx")).status, 0);
}
