#include "files/ProjectDiff.h"

#include "composer/Formula.h"
#include "image/Placement.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace korvex;
using Kind = ProjectChange::Kind;

namespace {

RenderState Project() {
    RenderState s = RenderState::NewProject();
    for (uint32_t n : {1u, 2u, 3u}) {
        Detector d(1, 1, 0, 0, n, s.CanvasWidth(), s.CanvasHeight());
        for (Point& p : d.points)
            p.x += int32_t(n) * 60;
        s.detectors.push_back(d);
    }
    s.detectors.push_back(Detector(1, 1, 1, 1, 1, s.CanvasWidth(), s.CanvasHeight())); // B1, a line
    s.composer_y[0] = *ParseFormula("A1 | A2", nullptr);
    return s;
}

std::vector<ProjectChange> Of(const std::vector<ProjectChange>& all, Kind kind) {
    std::vector<ProjectChange> some;
    std::copy_if(all.begin(), all.end(), std::back_inserter(some),
                 [&](const ProjectChange& c) { return c.kind == kind; });
    return some;
}

} // namespace

TEST(ProjectDiffTest, EqualProjectsHaveNoChanges) {
    RenderState a = Project(), b = Project();
    EXPECT_TRUE(DiffProjects(a, b).empty());
}

TEST(ProjectDiffTest, RenumberedDetectorsArePairedNotAddedAndRemoved) {
    RenderState a = Project(), b = Project();
    b.detectors[2].number = 7; // A3 -> A7 in place
    b.detectors[1].number = 9; // A2 -> A9 and moved a little
    for (Point& p : b.detectors[1].points)
        p.x += 4;
    std::vector<ProjectChange> changes = DiffProjects(a, b);
    EXPECT_TRUE(Of(changes, Kind::DetectorAdded).empty());
    EXPECT_TRUE(Of(changes, Kind::DetectorRemoved).empty());
    std::vector<ProjectChange> renumbered = Of(changes, Kind::DetectorRenumbered);
    ASSERT_EQ(renumbered.size(), 2u);
    EXPECT_EQ(renumbered[0].text, "A2 renumbered to A9");
    EXPECT_EQ(renumbered[0].detector, 1);
    EXPECT_EQ(renumbered[1].text, "A3 renumbered to A7");
    std::vector<ProjectChange> moved = Of(changes, Kind::DetectorMoved);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].text, "A9 moved by (+4, +0)");

    // Far away on its camera it is another detector: one removed, one added.
    RenderState c = Project();
    c.detectors[2].number = 8;
    for (Point& p : c.detectors[2].points)
        p.y += 150;
    changes = DiffProjects(a, c);
    ASSERT_EQ(Of(changes, Kind::DetectorAdded).size(), 1u);
    EXPECT_EQ(Of(changes, Kind::DetectorAdded)[0].subject, "A8");
    ASSERT_EQ(Of(changes, Kind::DetectorRemoved).size(), 1u);
    EXPECT_EQ(Of(changes, Kind::DetectorRemoved)[0].text, "A3 removed");
    EXPECT_EQ(Of(changes, Kind::DetectorRemoved)[0].detectorBefore, 2);
}

TEST(ProjectDiffTest, CornersSayWhichMovedAndByHowMuchLinesIgnoreTheirSpareCorners) {
    RenderState a = Project(), b = Project();
    b.detectors[0].points[2].x -= 3;
    b.detectors[0].points[2].y += 1;
    b.detectors[0].points[0].y -= 12;
    b.detectors[3].points[3] = {5, 5}; // a line's fourth corner means nothing
    std::vector<ProjectChange> changes = DiffProjects(a, b);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].text, "A1: corners moved: corner 1 (+0, -12), corner 3 (-3, +1)");
    EXPECT_EQ(changes[0].before, "(110, 40) (130, 40) (140, 80) (100, 80)");
}

TEST(ProjectDiffTest, PropertiesListOldAndNewValues) {
    RenderState a = Project(), b = Project();
    Detector& d = b.detectors[1];
    d.delay = 1500;
    d.directional = true;
    d.angle = 90;
    d.feature_threshold = 700;
    d.threshold = 5;
    d.pen_width = 3;
    d.fill = 20;
    d.divisions = 0;
    std::vector<ProjectChange> changes = DiffProjects(a, b);
    std::vector<std::string> texts;
    for (const ProjectChange& c : changes) {
        EXPECT_EQ(c.kind, Kind::DetectorProperty);
        EXPECT_EQ(c.detector, 1);
        texts.push_back(c.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"A2: delay 0.0 s → 1.5 s", "A2: directional no → yes",
                                               "A2: angle 0° → 90°", "A2: feature threshold 880 → 700",
                                               "A2: threshold 3 → 5", "A2: pen width 1 → 3",
                                               "A2: fill 0% → 20%", "A2: divisions 1 → 0"}));
}

// Times read in seconds and corners in picture pixels, as the inspector
// shows them, also where the picture sits inside a wider canvas.
TEST(ProjectDiffTest, TimesAndCornersReadAsTheInspectorShowsThem) {
    const std::pair<uint32_t, const char*> times[] = {
        {0, "0.0 s"},     {1500, "1.5 s"},   {60000, "60.0 s"},
        {2510, "2.51 s"}, {1005, "1.005 s"}, {4294967295u, "4294967.295 s"},
    };
    for (const auto& [ms, text] : times)
        EXPECT_EQ(SecondsText(ms), text) << ms;

    RenderState a = RenderState::NewProject();
    a.width = 180;
    a.height = 144;
    a.detectors.push_back(Detector(1, 1, 0, 0, 1, a.CanvasWidth(), a.CanvasHeight()));
    RenderState b = a;
    b.detectors[0].points[1].x += 4;
    b.detectors[0].extend = 200;
    const std::vector<ProjectChange> changes = DiffProjects(a, b);
    ASSERT_EQ(changes.size(), 2u);
    const int32_t left = int32_t(PictureLeft(a.width));
    ASSERT_GT(left, 0);
    const Point p = a.detectors[0].points[0], q = a.detectors[0].points[1];
    EXPECT_EQ(changes[0].before.substr(0, changes[0].before.find(") (") + 1),
              "(" + std::to_string(p.x - left) + ", " + std::to_string(p.y) + ")");
    EXPECT_EQ(changes[0].text, "A1: corners moved: corner 2 (+4, +0)");
    EXPECT_NE(changes[0].after.find("(" + std::to_string(q.x + 4 - left) + ", "), std::string::npos);
    EXPECT_EQ(changes[1].text, "A1: extend 0.0 s → 0.2 s");
}

TEST(ProjectDiffTest, PicturesCountTheirChangedPixels) {
    RenderState a = Project(), b = Project();
    for (uint32_t x = 0; x < 5; ++x)
        b.detectors[0].exclusion.PaintBlack(x, 7);
    for (uint32_t y = 0; y < 7; ++y)
        b.backgrounds[2].SetPixelColour(1, y, 0x123456);
    b.backgrounds.pop_back(); // camera D goes
    std::vector<ProjectChange> changes = DiffProjects(a, b);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].kind, Kind::ExclusionChanged);
    EXPECT_EQ(changes[0].pixels, 5u);
    EXPECT_EQ(changes[1].text, "Camera C background, pixels changed: 7");
    EXPECT_EQ(changes[1].card, 2);
    EXPECT_EQ(changes[2].text, "Camera D background removed");

    // A map of another size (a converted project) compares pixel by pixel
    // where both have them: white maps of two sizes do not differ.
    RenderState c = Project();
    c.detectors[1].exclusion = Bitmap(240, 144);
    c.detectors[1].exclusion.PaintBlack(3, 3);
    changes = DiffProjects(a, c);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].text, "A2: exclusion map, pixels changed: 1");
}

TEST(ProjectDiffTest, OutputsShowOldAndNewFormulasAndSizeComesFirst) {
    RenderState a = Project(), b = Project();
    b.composer_y[0] = *ParseFormula("A1 & A2", nullptr);
    b.composer_z[3] = *ParseFormula("B1", nullptr);
    std::vector<ProjectChange> changes = DiffProjects(a, b);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].subject, "Y1");
    EXPECT_EQ(changes[0].before, "A1 | A2");
    EXPECT_EQ(changes[0].text, "Y1: A1 | A2 → A1 & A2");
    EXPECT_EQ(changes[1].text, "Z4: (empty) → B1");

    RenderState narrow = a;
    narrow.width = 180;
    narrow.height = 144;
    changes = DiffProjects(a, narrow);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes[0].text, "Picture size 320 × 240 → 180 × 144");
}

TEST(ProjectDiffTest, TypedFormulasDropOnlyParenthesesAroundTheWhole) {
    for (const char* typed : {"A1 | A2", "(A1 | A2) & (B1 | B2)", "A1 ^ (B2 & C3)", "Ablur", "0"}) {
        const ComposerItem item = *ParseFormula(typed, nullptr);
        const std::string text = TypedFormula(item);
        EXPECT_EQ(text, typed);
        // What is shown reads back as the same expression.
        EXPECT_EQ(FormulaText(*ParseFormula(text, nullptr)), FormulaText(item)) << typed;
    }
}
