#include "model/ProjectConvert.h"

#include "model/PictureCoordinates.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace korvex;

namespace {

RenderState Narrow() {
    RenderState s;
    s.width = 180;
    s.height = 144;
    s.EnsureBackgrounds(4);
    s.composer_y.resize(8);
    return s;
}

Detector Quad(const RenderState& s, uint32_t card, uint32_t number, std::array<Point, 4> points) {
    Detector d(1, 1, 0, card, number, s.CanvasWidth(), s.CanvasHeight());
    d.points = points;
    return d;
}

} // namespace

TEST(ProjectConvert, RoundHalfAwayFromZero) {
    EXPECT_EQ(RoundHalfAway(2.5), 3);
    EXPECT_EQ(RoundHalfAway(2.4999), 2);
    EXPECT_EQ(RoundHalfAway(-2.5), -3);
    EXPECT_EQ(RoundHalfAway(-0.4), 0);
}

TEST(ProjectConvert, PointsScaleByThePictureRatioAndLandOnTheNewCanvas) {
    RenderState wide = RenderState::NewProject();
    // 160 * 180 / 320 = 90 -> canvas 120; 120 * 144 / 240 = 72.
    EXPECT_EQ(ConvertPoint(wide, {160, 120}, 180, 144), (Point{120, 72}));
    // 4 * 0.5625 = 2.25 -> 2; 5 * 0.5625 = 2.8125 -> 3; 1 * 0.6 = 0.6 -> 1.
    EXPECT_EQ(ConvertPoint(wide, {4, 1}, 180, 144), (Point{32, 1}));
    EXPECT_EQ(ConvertPoint(wide, {5, 0}, 180, 144), (Point{33, 0}));
    // 8 * 0.5625 = 4.5 exactly: half away from zero gives 5 (not the even 4).
    EXPECT_EQ(ConvertPoint(wide, {8, 0}, 180, 144), (Point{35, 0}));
    // The picture corners map onto the picture corners: columns 30..209.
    EXPECT_EQ(ConvertPoint(wide, {0, 0}, 180, 144), (Point{30, 0}));
    EXPECT_EQ(ConvertPoint(wide, {319, 239}, 180, 144), (Point{209, 143}));

    RenderState narrow = Narrow();
    EXPECT_EQ(ConvertPoint(narrow, {30, 0}, 320, 240), (Point{0, 0}));
    EXPECT_EQ(ConvertPoint(narrow, {209, 143}, 320, 240), (Point{318, 238}));
    // A point in the canvas margin (left of the picture) is kept inside.
    EXPECT_EQ(ConvertPoint(narrow, {0, 200}, 320, 240), (Point{0, 239}));

    // An older 192-wide project: its picture is centred on the canvas
    // (columns 24..215), and that is where its picture coordinates start.
    RenderState older = Narrow();
    older.width = 192;
    EXPECT_EQ(ConvertPoint(older, {24, 0}, 320, 240), (Point{0, 0}));
    EXPECT_EQ(ConvertPoint(older, {215, 143}, 320, 240), (Point{318, 238}));
    EXPECT_EQ(ConvertPoint(older, {120, 72}, 180, 144), (Point{30 + 90, 72}));
}

TEST(ProjectConvert, RoundTripKeepsEveryCornerWithinOnePixel) {
    RenderState wide = RenderState::NewProject();
    int worst = 0;
    for (int32_t x = 0; x < 320; ++x)
        for (int32_t y = 0; y < 240; y += 7) {
            Point there = ConvertPoint(wide, {x, y}, 180, 144);
            RenderState narrow = Narrow();
            Point back = ConvertPoint(narrow, there, 320, 240);
            worst = std::max({worst, std::abs(back.x - x), std::abs(back.y - y)});
        }
    EXPECT_LE(worst, 1);
    EXPECT_GE(worst, 1) << "a 320-wide picture cannot survive 180 columns exactly";
}

TEST(ProjectConvert, WholeStateToTheSmallerPicture) {
    Document doc;
    doc.New();
    RenderState s = doc.Current();
    s.detectors.push_back(Quad(s, 1, 4, {{{0, 0}, {319, 0}, {319, 239}, {0, 239}}}));
    s.detectors[0].exclusion.PaintBlack(100, 100);
    s.detectors[0].exclusion.PaintBlack(101, 100);
    s.backgrounds[0].SetPixelColour(160, 120, 0x0000FF); // pure red
    doc.NewRenderState(s, Selection{0, "Y2X"});
    size_t history = doc.HistorySize();

    ConvertOutcome outcome = ConvertProject(doc, 180, 144, false);
    ASSERT_TRUE(outcome.changed);
    EXPECT_EQ(doc.HistorySize(), history + 1);
    const RenderState& c = doc.Current();
    EXPECT_EQ(c.width, 180u);
    EXPECT_EQ(c.height, 144u);
    EXPECT_EQ(doc.SelectedIndex(), 0);
    EXPECT_EQ(c.composer_y.size(), 8u);
    EXPECT_EQ(doc.ComposerPath(), "Y2X");
    const Detector& d = c.detectors[0];
    EXPECT_EQ(d.points, (std::array<Point, 4>{{{30, 0}, {209, 0}, {209, 143}, {30, 143}}}));
    EXPECT_EQ(d.card, 1u);
    EXPECT_EQ(d.number, 4u);

    ASSERT_EQ(d.exclusion.Width(), 240u);
    ASSERT_EQ(d.exclusion.Height(), 144u);
    // Canvas pixel (30 + 56, 60) samples picture pixel (100, 100) of the old map.
    EXPECT_TRUE(d.exclusion.IsBlack(86, 60));
    size_t black = 0;
    for (uint32_t y = 0; y < 144; ++y)
        for (uint32_t x = 0; x < 240; ++x)
            black += d.exclusion.IsBlack(x, y);
    EXPECT_GE(black, 1u);
    EXPECT_LE(black, 2u);

    ASSERT_EQ(c.backgrounds.size(), 4u);
    const Bitmap& bg = c.backgrounds[0];
    ASSERT_EQ(bg.Width(), 240u);
    // Red turned grey: (183*0 + 53*255 + 19*0) / 255 = 53 in every channel.
    EXPECT_EQ(bg.GetPixelColour(30 + 90, 72), 0x353535u);
    EXPECT_EQ(bg.GetPixelColour(5, 72), 0xFFFFFFu) << "the canvas margin stays white";

    doc.Undo();
    EXPECT_EQ(doc.Current().width, 320u) << "one undo step takes it back";
}

TEST(ProjectConvert, WholeStateToTheLargerPictureAddsOutputs) {
    Document doc;
    doc.New();
    RenderState s = Narrow();
    s.detectors.push_back(Quad(s, 0, 1, {{{30, 0}, {120, 72}, {209, 143}, {40, 10}}}));
    s.backgrounds[2].SetPixelColour(30, 0, 0x404040);
    s.composer_y[3] = ComposerItem(ComposerItem::InputA, 1);
    doc.NewRenderState(s);

    ASSERT_TRUE(ConvertProject(doc, 320, 240, false).changed);
    const RenderState& c = doc.Current();
    EXPECT_EQ(c.CanvasWidth(), 320u);
    EXPECT_EQ(c.detectors[0].points, (std::array<Point, 4>{{{0, 0}, {160, 120}, {318, 238}, {18, 17}}}));
    EXPECT_EQ(c.detectors[0].exclusion.Width(), 320u);
    EXPECT_EQ(c.backgrounds[2].Width(), 320u);
    EXPECT_EQ(c.backgrounds[2].GetPixelColour(0, 0), 0x404040u);
    ASSERT_EQ(c.composer_y.size(), 24u);
    EXPECT_EQ(c.composer_y[3].kind, uint32_t(ComposerItem::InputA)) << "existing outputs are kept";
    EXPECT_EQ(c.composer_y[20].kind, uint32_t(ComposerItem::One));
}

TEST(ProjectConvert, RefusalsChangeNothing) {
    Document doc;
    doc.New();
    RenderState s = doc.Current();
    s.composer_y[8] = ComposerItem(ComposerItem::InputB, 2);
    s.composer_y[23] = ComposerItem(ComposerItem::Zero);
    s.composer_y[12] = ComposerItem(ComposerItem::One); // the constant 1 may go
    doc.NewRenderState(s, Selection{-1, "Y;X"});
    size_t history = doc.HistorySize();

    ConvertOutcome same = ConvertProject(doc, 320, 240, false);
    EXPECT_FALSE(same.changed);
    EXPECT_EQ(same.refusal, ConvertRefusal::SameSize);
    EXPECT_EQ(ConvertProject(doc, 240, 144, true).refusal, ConvertRefusal::UnsupportedSize);
    EXPECT_EQ(ConvertProject(doc, 180, 240, true).refusal, ConvertRefusal::UnsupportedSize);

    ConvertOutcome asked = ConvertProject(doc, 180, 144, false);
    EXPECT_FALSE(asked.changed);
    EXPECT_EQ(asked.refusal, ConvertRefusal::OutputsInUse);
    EXPECT_EQ(asked.outputsInUse, (std::vector<uint32_t>{9, 24}));
    EXPECT_EQ(doc.HistorySize(), history);
    EXPECT_EQ(doc.Current().width, 320u);

    ConvertOutcome forced = ConvertProject(doc, 180, 144, true);
    EXPECT_TRUE(forced.changed);
    EXPECT_EQ(forced.outputsInUse, (std::vector<uint32_t>{9, 24}));
    EXPECT_EQ(doc.Current().composer_y.size(), 8u);
    EXPECT_EQ(doc.ComposerPath(), "") << "the selected row Y12 no longer exists";
}

TEST(ProjectConvert, ExclusionMapSmallerThanTheCanvasReadsAsWhite) {
    RenderState s = Narrow();
    Detector d = Quad(s, 0, 1, {{{40, 40}, {60, 40}, {60, 60}, {40, 60}}});
    d.exclusion = Bitmap();
    s.detectors.push_back(d);
    s.backgrounds[1] = Bitmap();
    RenderState c = ConvertedState(s, 320, 240);
    ASSERT_EQ(c.detectors[0].exclusion.Width(), 320u);
    EXPECT_EQ(c.detectors[0].exclusion, Bitmap(320, 240));
    EXPECT_TRUE(c.backgrounds[1].Empty()) << "a missing background stays missing";
}
