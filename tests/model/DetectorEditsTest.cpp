#include "model/DetectorEdits.h"

#include "model/DetectorGeometry.h"
#include "support/EditState.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvex {
namespace {

// What a document looks like from outside: a refused edit must leave all of
// it as it was.
struct Snapshot {
    explicit Snapshot(const Document& d)
        : states(d.HistorySize()), index(d.CurrentIndex()), modified(d.Modified()), current(d.Current()) {}
    bool operator==(const Snapshot&) const = default;
    size_t states;
    int32_t index;
    bool modified;
    RenderState current;
};

// A new project (320 x 240, four cards) with one quadrilateral on card 0
// and one line on card 1; the quadrilateral is selected.
class DetectorEdits : public ::testing::Test {
protected:
    void SetUp() override {
        doc.New();
        DrawingSettings s;
        ASSERT_TRUE(AddDetector(doc, s, Point{100, 100}));
        s.card = 1;
        s.line = 1;
        ASSERT_TRUE(AddDetector(doc, s, Point{10, 10}));
        doc.SelectDetector(0);
    }
    const Detector& First() { return doc.Current().detectors[0]; }

    Document doc;
};

TEST_F(DetectorEdits, EveryRefusedEditSaysWhyAndChangesNothing) {
    struct Case {
        std::string name;
        std::function<EditResult(Document&)> edit;
        EditRefusal why;
    };
    DrawingSettings settings;
    settings.pen_width = 1;
    Detector clip = First();
    const std::vector<Case> cases = {
        {"add on a missing card",
         [](Document& d) {
             return AddDetector(d, DrawingSettings{9, 1, 1, 0, 0});
         },
         EditRefusal::NoSuchCard},
        {"corner 4", [](Document& d) { return MoveCorner(d, 4, 5, 5); }, EditRefusal::NoSuchCorner},
        {"corner by nothing", [](Document& d) { return MoveCorner(d, 1, 0, 0); }, EditRefusal::NoMovement},
        {"move by nothing", [](Document& d) { return MoveSelected(d, 0, 0); }, EditRefusal::NoMovement},
        {"card by nothing", [](Document& d) { return MoveCard(d, 0, 0); }, EditRefusal::NoMovement},
        {"paste on no card", [&clip](Document& d) { return PasteDetector(d, clip, -1); },
         EditRefusal::NoSuchCard},
        {"paste past the cards", [&clip](Document& d) { return PasteDetector(d, clip, 4); },
         EditRefusal::NoSuchCard},
        {"background of card 4", [](Document& d) { return SetBackground(d, 4, Bitmap(320, 240)); },
         EditRefusal::NoSuchCard},
        {"same number", [](Document& d) { return SetNumber(d, 1); }, EditRefusal::SameValue},
        {"same delay", [](Document& d) { return SetDelay(d, 0); }, EditRefusal::SameValue},
        {"same extend", [](Document& d) { return SetExtend(d, 0); }, EditRefusal::SameValue},
        {"same angle", [](Document& d) { return SetAngle(d, 0); }, EditRefusal::SameValue},
        {"same thresholds", [](Document& d) { return SetThresholds(d, 880, 3); }, EditRefusal::SameValue},
        {"same kind", [](Document& d) { return SetKind(d, DetectorKind::Plain); }, EditRefusal::SameValue},
        {"same pen", [settings](Document& d) mutable { return ApplyPenWidth(d, settings, 1); },
         EditRefusal::SameValue},
        {"same pattern", [settings](Document& d) mutable { return ApplyFillDivisions(d, settings, 0, 1); },
         EditRefusal::SameValue},
        {"redo at the newest", [](Document& d) { return Redo(d); }, EditRefusal::NothingToUndo},
    };
    for (const Case& c : cases) {
        Snapshot before(doc);
        EditResult r = c.edit(doc);
        EXPECT_FALSE(r) << c.name;
        EXPECT_EQ(r.refusal, c.why) << c.name;
        EXPECT_TRUE(Snapshot(doc) == before) << c.name << " changed the document";
    }

    // Without a selection every edit of the selected detector refuses.
    doc.SelectDetector(-1);
    const std::vector<std::function<EditResult(Document&)>> needSelection = {
        [](Document& d) { return MoveCorner(d, 0, 1, 1); },
        [](Document& d) { return MoveSelected(d, 1, 1); },
        [](Document& d) { return MoveCard(d, 1, 1); },
        [](Document& d) {
            return AimSelected(d, {0, 0}, {0, 10});
        },
        [](Document& d) {
            return EraseAround(d, {{10, 10}}, 1);
        },
        [](Document& d) { return DeleteSelected(d); },
        [](Document& d) { return SetNumber(d, 7); },
        [](Document& d) { return SetKind(d, DetectorKind::Contrast); },
    };
    for (size_t i = 0; i < needSelection.size(); ++i) {
        Snapshot before(doc);
        EXPECT_EQ(needSelection[i](doc).refusal, EditRefusal::NoSelection) << "edit " << i;
        EXPECT_TRUE(Snapshot(doc) == before) << "edit " << i;
    }
    // The presets then go to the settings for the next detector instead.
    Snapshot before(doc);
    EXPECT_EQ(ApplyPenWidth(doc, settings, 3).refusal, EditRefusal::NoSelection);
    EXPECT_EQ(ApplyFillDivisions(doc, settings, 20, 0).refusal, EditRefusal::NoSelection);
    EXPECT_TRUE(Snapshot(doc) == before);
    EXPECT_EQ(settings.pen_width, 3u);
    EXPECT_EQ(settings.fill, 20);
    EXPECT_EQ(settings.divisions, 0u);

    Document fresh;
    fresh.New();
    EXPECT_EQ(Undo(fresh).refusal, EditRefusal::NothingToUndo);
}

TEST_F(DetectorEdits, EachAcceptedEditIsOneUndoStep) {
    const std::vector<std::function<EditResult(Document&)>> edits = {
        [](Document& d) { return MoveCorner(d, 2, 3, 4); },
        [](Document& d) { return MoveSelected(d, -5, 0); },
        [](Document& d) { return MoveCard(d, 0, 7); },
        [](Document& d) {
            return AimSelected(d, {0, 0}, {10, 0});
        },
        [](Document& d) {
            return EraseAround(d, {{30, 30}}, 1);
        },
        [](Document& d) { return SetNumber(d, 5); },
        [](Document& d) { return SetThresholds(d, 100, 4); },
        [](Document& d) { return SetKind(d, DetectorKind::Directional); },
    };
    for (size_t i = 0; i < edits.size(); ++i) {
        RenderState before = doc.Current();
        int32_t position = doc.CurrentIndex();
        EXPECT_TRUE(edits[i](doc)) << "edit " << i;
        EXPECT_EQ(doc.CurrentIndex(), position + 1) << "edit " << i;
        EXPECT_EQ(doc.HistorySize(), size_t(position) + 2) << "edit " << i;
        EXPECT_FALSE(doc.Current() == before) << "edit " << i;
        Undo(doc);
        EXPECT_TRUE(doc.Current() == before) << "undo of edit " << i;
        Redo(doc);
        Undo(doc);
    }
}

TEST_F(DetectorEdits, AddTakesTheSettingsAndPlacesTheDetectorOnThePicture) {
    DrawingSettings s;
    s.card = 0;
    s.fill = 100;
    s.divisions = 0;
    s.pen_width = 3;
    EditResult r = AddDetector(doc, s, Point{310, 230});
    ASSERT_TRUE(r);
    const Detector& d = doc.Current().detectors[size_t(r.index)];
    EXPECT_EQ(doc.SelectedIndex(), r.index);
    EXPECT_EQ(d.fill, 100) << "the chosen fill reaches the new detector";
    EXPECT_EQ(d.pen_width, 3u);
    EXPECT_EQ(d.number, 2u);
    for (const Point& p : d.points) {
        EXPECT_LE(p.x, 319);
        EXPECT_LE(p.y, 239);
    }
}

TEST_F(DetectorEdits, ShapeEditsClampToThePictureAndClearTheExclusionMap) {
    test::PushEdited(doc, [](RenderState& s) { s.detectors[0].exclusion.PaintBlack(120, 120); });
    ASSERT_TRUE(MoveCorner(doc, 0, -500, 3));
    EXPECT_EQ(First().points[0], (Point{0, 103}));
    EXPECT_FALSE(First().exclusion.IsBlack(120, 120));

    // Moving the card moves every detector of that card, each corner clamped,
    // and leaves the other cards alone.
    DrawingSettings s;
    ASSERT_TRUE(AddDetector(doc, s, Point{200, 200}));
    doc.SelectDetector(0);
    Point line = doc.Current().detectors[1].points[0];
    ASSERT_TRUE(MoveCard(doc, 100, 100));
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{100, 203}));
    EXPECT_EQ(doc.Current().detectors[2].points[2], (Point{319, 239}));
    EXPECT_EQ(doc.Current().detectors[1].points[0], line);
}

TEST_F(DetectorEdits, AnEraserStrokeIsOneStateAndMatchesItsPreview) {
    Detector preview = First();
    std::vector<Point> stroke = {{110, 110}, {120, 110}};
    for (Point p : stroke)
        EXPECT_TRUE(EraseAroundOn(preview, doc.Current(), p, 1));
    EXPECT_FALSE(EraseAroundOn(preview, doc.Current(), {110, 110}, 1)) << "already black";
    size_t states = doc.HistorySize();
    ASSERT_TRUE(EraseAround(doc, stroke, 1));
    EXPECT_EQ(doc.HistorySize(), states + 1);
    EXPECT_EQ(First().exclusion, preview.exclusion);
    EXPECT_TRUE(First().exclusion.IsBlack(106, 114));
    EXPECT_FALSE(First().exclusion.IsBlack(105, 110));
    // At zoom 3 the same 9 x 9 view square covers three canvas pixels.
    ASSERT_TRUE(EraseAround(doc, {{30, 30}}, 3));
    EXPECT_TRUE(First().exclusion.IsBlack(11, 11));
    EXPECT_FALSE(First().exclusion.IsBlack(12, 10));
}

TEST_F(DetectorEdits, PasteFromAnotherPictureSizeStaysSavable) {
    Detector wide(1, 1, 0, 0, 3, 320, 240);
    wide.points = {{{300, 200}, {310, 200}, {310, 230}, {300, 230}}};
    Document narrow;
    narrow.New();
    RenderState small = narrow.Current();
    small.width = 180;
    small.height = 144;
    small.backgrounds.assign(2, Bitmap(240, 144));
    narrow.NewRenderState(small);
    EditResult r = PasteDetector(narrow, wide, 1);
    ASSERT_TRUE(r);
    const Detector& d = narrow.Current().detectors[size_t(r.index)];
    EXPECT_EQ(d.card, 1u);
    EXPECT_EQ(d.exclusion.Width(), 240u);
    EXPECT_EQ(d.points[0], (Point{209, 143}));
}

TEST_F(DetectorEdits, KindsSwitchAsTheBoxesSay) {
    ASSERT_TRUE(SetKind(doc, DetectorKind::Contrast));
    EXPECT_TRUE(First().contrast);
    ASSERT_TRUE(SetKind(doc, DetectorKind::Directional));
    EXPECT_FALSE(First().contrast);
    EXPECT_TRUE(First().directional);
    test::PushEdited(
        doc, [](RenderState& s) { s.detectors[0].contrast = true; }); // both flags, as an old file may hold
    EXPECT_EQ(SetKind(doc, DetectorKind::Contrast).refusal, EditRefusal::SameValue);
    ASSERT_TRUE(SetKind(doc, DetectorKind::Plain));
    EXPECT_FALSE(First().contrast || First().directional);
}

// Subscribers hear of an edit only once the new state is complete: one
// that reads the document when told sees the edit in place, and a refused
// edit announces nothing.
TEST_F(DetectorEdits, SubscribersHearOfAnEditOnlyWhenTheStateIsComplete) {
    std::vector<Point> seen;
    auto subscription = doc.Subscribe([&](uint32_t) {
        const Detector* d = doc.SelectedDetector();
        seen.push_back(d ? d->points[0] : Point{-1, -1});
    });
    doc.DeliverChanges();
    seen.clear();
    ASSERT_TRUE(MoveCorner(doc, 0, 4, 0));
    doc.DeliverChanges();
    ASSERT_TRUE(AddDetector(doc, DrawingSettings{2, 1, 1, 0, 0}, Point{150, 60}));
    doc.DeliverChanges();
    EXPECT_FALSE(MoveCorner(doc, 0, 0, 0));
    EXPECT_EQ(doc.PendingChanges(), 0u);
    doc.DeliverChanges();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (Point{114, 100}));
    EXPECT_EQ(seen[1], (Point{160, 60}));
}

TEST(DetectorGeometry, ThePictureSitsOnTheCanvasByOneRule) {
    RenderState s;
    s.width = 180;
    s.height = 144;
    EXPECT_EQ(ClampToPicture(s, {0, -3}), (Point{30, 0}));
    EXPECT_EQ(ClampToPicture(s, {500, 500}), (Point{209, 143}));
    EXPECT_EQ(PictureToCanvas(s, 0, 0, 2), (Point{30, 0}));
    EXPECT_EQ(PictureToCanvas(s, 21, 9, 2), (Point{40, 4}));
    EXPECT_EQ(PictureToCanvas(s, -1, -1, 2), (Point{30, 0})) << "truncation towards zero, then the clamp";
    s.width = 192;
    EXPECT_EQ(PictureOnCanvas(s).left, 24);
    EXPECT_EQ(PictureOnCanvas(s).right, 215);
    s.width = 320;
    s.height = 240;
    EXPECT_EQ(PictureOnCanvas(s).left, 0);
    EXPECT_EQ(PictureOnCanvas(s).right, 319);
}

TEST(DetectorGeometry, BackgroundsOfAnotherSizeSitAtTheCanvasOrigin) {
    RenderState s;
    s.backgrounds.assign(2, Bitmap(240, 144));
    s.backgrounds[0].PaintBlack(5, 5);
    EXPECT_EQ(BackgroundOnCanvas(s, 0), s.backgrounds[0]);
    s.backgrounds[1] = Bitmap(300, 10);
    s.backgrounds[1].PaintBlack(239, 9);
    s.backgrounds[1].PaintBlack(250, 9);
    Bitmap placed = BackgroundOnCanvas(s, 1);
    EXPECT_EQ(placed.Width(), 240u);
    EXPECT_EQ(placed.Height(), 144u);
    EXPECT_TRUE(placed.IsBlack(239, 9));
    EXPECT_FALSE(placed.IsBlack(0, 10)) << "below the picture the canvas stays white";
    EXPECT_EQ(BackgroundOnCanvas(s, 7), Bitmap(240, 144)) << "a missing card is white";
}

TEST(DetectorGeometry, CardNumbersSetOneBitPerValidDetector) {
    RenderState s;
    for (auto [card, number] : {std::pair{0u, 1u}, {0u, 32u}, {2u, 3u}, {2u, 33u}, {9u, 1u}, {1u, 0u}})
        s.detectors.push_back(Detector(1, 1, 0, card, number, 240, 144));
    auto words = CardNumbers(s);
    EXPECT_EQ(words[0], 0x80000001u);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(words[2], 0x4u);
}

TEST(AngleOf, PointsTheWayOfTheDrag) {
    Point o{100, 100};
    EXPECT_EQ(AngleOf(o, {100, 140}, 7), 0u);  // down
    EXPECT_EQ(AngleOf(o, {140, 100}, 7), 90u); // right
    EXPECT_EQ(AngleOf(o, {100, 60}, 7), 180u); // up
    EXPECT_EQ(AngleOf(o, {60, 100}, 7), 270u); // left
    EXPECT_EQ(AngleOf(o, {140, 140}, 7), 45u); // down and right
    EXPECT_EQ(AngleOf(o, {60, 140}, 7), 315u); // down and left: never 360
    EXPECT_EQ(AngleOf(o, o, 123), 123u);       // no movement keeps the old angle
}

TEST(CycleHit, RepeatedClicksCycleThroughTheDetectorsUnderThePoint) {
    std::vector<int32_t> hits{2, 5, 7};
    EXPECT_EQ(CycleHit(hits, -1), 2);
    EXPECT_EQ(CycleHit(hits, 2), 5);
    EXPECT_EQ(CycleHit(hits, 5), 7);
    EXPECT_EQ(CycleHit(hits, 7), 2);
    EXPECT_EQ(CycleHit(hits, 4), 2); // selection elsewhere: the first
    EXPECT_EQ(CycleHit({}, 2), -1);
    EXPECT_EQ(CycleHit({9}, 9), 9);
}

TEST(CornerAt, HandleSquaresAreSixPixelsAndLinesHaveTwo) {
    Detector d;
    d.points = {{{50, 40}, {70, 40}, {80, 80}, {40, 80}}};
    EXPECT_EQ(CornerAt(d, {47, 37}), 0);
    EXPECT_EQ(CornerAt(d, {52, 42}), 0);
    EXPECT_EQ(CornerAt(d, {53, 40}), -1); // right edge exclusive
    EXPECT_EQ(CornerAt(d, {80, 80}), 2);
    d.line = 1;
    EXPECT_EQ(CornerAt(d, {80, 80}), -1); // a line has no P2
    EXPECT_EQ(CornerAt(d, {70, 40}), 1);
}

} // namespace
} // namespace korvex
