#include "model/CopyDetectors.h"
#include "model/DetectorSnap.h"
#include "model/KeyboardEdits.h"
#include "model/PictureCoordinates.h"
#include "support/EditState.h"

#include <gtest/gtest.h>

using namespace korvex;
using korvex::test::PushEdited;

namespace {

Detector Quad(const RenderState& s, uint32_t card, uint32_t number, std::array<Point, 4> points) {
    Detector d(1, 1, 0, card, number, s.CanvasWidth(), s.CanvasHeight());
    d.points = points;
    return d;
}

// A new 320 x 240 project with the given detectors, the first one selected.
Document WithDetectors(std::vector<Detector> detectors, uint32_t width = 320) {
    Document doc;
    doc.New();
    RenderState s = doc.Current();
    if (width == 180) {
        s.width = 180;
        s.height = 144;
        s.backgrounds.clear();
        s.EnsureBackgrounds(4);
    }
    s.detectors = std::move(detectors);
    const int32_t selected = s.detectors.empty() ? -1 : 0;
    doc.NewRenderState(s, Selection{selected, ""});
    return doc;
}

} // namespace

TEST(DetectorSnap, NearestCornerOfAnotherDetectorOnTheSameCard) {
    RenderState s = RenderState::NewProject();
    s.detectors.push_back(Quad(s, 0, 1, {{{10, 10}, {50, 10}, {50, 50}, {10, 50}}}));
    s.detectors.push_back(Quad(s, 0, 2, {{{100, 100}, {140, 100}, {140, 140}, {100, 140}}}));
    s.detectors.push_back(Quad(s, 1, 1, {{{53, 13}, {90, 10}, {90, 50}, {60, 50}}}));
    Detector line = Quad(s, 0, 3, {{{200, 200}, {220, 200}, {54, 12}, {54, 12}}});
    line.line = 1;
    s.detectors.push_back(line);

    auto t = FindSnapTarget(s, 0, 1, {52, 11}, 3);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->point, (Point{50, 10})) << "card 1's corner and the line's unused P2 do not count";
    EXPECT_EQ(t->detector, 0);
    EXPECT_EQ(t->corner, 1);
    EXPECT_FALSE(FindSnapTarget(s, 0, 1, {53, 12}, 3.5))
        << "sqrt(13) = 3.6 is beyond 3.5, and the line's unused P2 (at 1) does not count";
    EXPECT_FALSE(FindSnapTarget(s, 0, 0, {51, 11}, 3)) << "the edited detector itself is skipped";
    EXPECT_TRUE(FindSnapTarget(s, 0, -1, {50, 13}, 3)) << "exactly at the distance snaps";
    EXPECT_FALSE(FindSnapTarget(s, 0, -1, {0, 0}, -1));

    // A corner drag: clamped first, then snapped.
    CornerSnap c = SnapCorner(s, 1, 0, -48, -88, 3);
    EXPECT_EQ(c.point, (Point{50, 10}));
    ASSERT_TRUE(c.target);
    c = SnapCorner(s, 1, 0, -20, -20, 3);
    EXPECT_EQ(c.point, (Point{80, 80}));
    EXPECT_FALSE(c.target);
    c = SnapCorner(s, 1, 0, 500, 500, 3);
    EXPECT_EQ(c.point, (Point{319, 239})) << "no target: clamped like a drag";

    // A move: the detector's corner nearest to a target decides the offset.
    MoveSnap m = SnapMove(s, 1, -48, -89, 4);
    ASSERT_TRUE(m.target);
    EXPECT_EQ(m.corner, 0);
    EXPECT_EQ(m.dx, -50);
    EXPECT_EQ(m.dy, -90);
    m = SnapMove(s, 1, 7, 3, 4);
    EXPECT_FALSE(m.target);
    EXPECT_EQ(m.dx, 7);
    EXPECT_EQ(m.dy, 3);
}

TEST(KeyboardEdits, NudgeBurstIsOneUndoStep) {
    RenderState shape = RenderState::NewProject();
    Document doc = WithDetectors({Quad(shape, 0, 1, {{{10, 10}, {20, 10}, {20, 20}, {10, 20}}})});
    PushEdited(doc, [](RenderState& s) { s.detectors[0].exclusion.PaintBlack(12, 12); });
    size_t history = doc.HistorySize();
    NudgeBurst burst;

    EXPECT_EQ(NudgeSelected(doc, burst, 1, 0), NudgeOutcome::Moved);
    EXPECT_TRUE(doc.Current().detectors[0].exclusion == Bitmap(320, 240))
        << "a move resets the exclusion map";
    EXPECT_EQ(NudgeSelected(doc, burst, 10, 0), NudgeOutcome::Moved);
    EXPECT_EQ(NudgeSelected(doc, burst, 0, -1), NudgeOutcome::Moved);
    EXPECT_EQ(doc.HistorySize(), history + 1);
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{21, 9}));
    EXPECT_FALSE(doc.CanRedo());
    doc.Undo();
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{10, 10})) << "undo takes the whole run back";

    // After the undo the run cannot go on: the next nudge is a new step.
    doc.Redo();
    burst.End();
    EXPECT_EQ(NudgeSelected(doc, burst, 0, 1), NudgeOutcome::Moved);
    EXPECT_EQ(doc.HistorySize(), history + 2);
    doc.Undo();
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{21, 9}));
}

TEST(KeyboardEdits, NudgeRunEndsWhenAnotherEditComesBetween) {
    RenderState shape = RenderState::NewProject();
    Document doc = WithDetectors({Quad(shape, 0, 1, {{{10, 10}, {20, 10}, {20, 20}, {10, 20}}})});
    size_t history = doc.HistorySize();
    NudgeBurst burst;
    NudgeSelected(doc, burst, 1, 0);
    // Another edit the view did not tell the run about.
    PushEdited(doc, [](RenderState& s) { s.detectors[0].threshold = 9; });
    NudgeSelected(doc, burst, 1, 0);
    EXPECT_EQ(doc.HistorySize(), history + 3) << "the threshold edit is not swallowed";
    doc.Undo();
    EXPECT_EQ(doc.Current().detectors[0].threshold, 9u);

    // An undo in the middle of a run: the undone state is not replaced.
    burst.End();
    NudgeSelected(doc, burst, 0, 1);
    doc.Undo();
    size_t before = doc.HistorySize();
    NudgeSelected(doc, burst, 0, 1);
    EXPECT_EQ(doc.HistorySize(), before) << "the redo part is dropped and one step added";
    doc.Undo();
    EXPECT_EQ(doc.Current().detectors[0].threshold, 9u);
}

TEST(KeyboardEdits, NudgeRunClampsLikeOneMouseMove) {
    RenderState narrow;
    narrow.width = 180;
    narrow.height = 144;
    Document doc = WithDetectors({Quad(narrow, 0, 1, {{{31, 5}, {60, 5}, {60, 20}, {35, 20}}})}, 180);
    size_t history = doc.HistorySize();
    int32_t index = doc.CurrentIndex();
    NudgeBurst burst;
    EXPECT_EQ(NudgeSelected(doc, burst, -10, 0), NudgeOutcome::Moved);
    EXPECT_EQ(doc.Current().detectors[0].points,
              (std::array<Point, 4>{{{30, 5}, {50, 5}, {50, 20}, {30, 20}}}))
        << "each corner stops at column 30 on its own";
    EXPECT_EQ(NudgeSelected(doc, burst, -1, 0), NudgeOutcome::Moved) << "P1 and P2 can still go";
    // Turning round: the run is one move by -6 from where it began, so the
    // corners held at the edge come back into shape.
    EXPECT_EQ(NudgeSelected(doc, burst, 5, 0), NudgeOutcome::Moved);
    EXPECT_EQ(doc.Current().detectors[0].points,
              (std::array<Point, 4>{{{30, 5}, {54, 5}, {54, 20}, {30, 20}}}));
    EXPECT_EQ(doc.HistorySize(), history + 1);
    // Back at the start: the run is undone (and could be redone).
    EXPECT_EQ(NudgeSelected(doc, burst, 6, 0), NudgeOutcome::Moved);
    EXPECT_EQ(doc.CurrentIndex(), index);
    EXPECT_TRUE(doc.CanRedo());
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{31, 5}));
    EXPECT_FALSE(burst.Active());

    // A line whose two used points sit on the edge does not move, although its
    // unused P2 and P3 could.
    PushEdited(doc, [](RenderState& s) {
        s.detectors[0].line = 1;
        s.detectors[0].points = {{{30, 0}, {30, 40}, {100, 100}, {100, 100}}};
    });
    history = doc.HistorySize();
    EXPECT_EQ(NudgeSelected(doc, burst, -1, 0), NudgeOutcome::AtEdge);
    EXPECT_EQ(NudgeSelected(doc, burst, -1, 0), NudgeOutcome::AtEdge);
    EXPECT_EQ(doc.HistorySize(), history);
    EXPECT_EQ(NudgeSelected(doc, burst, 1, 0), NudgeOutcome::Moved) << "presses against the edge add nothing";
    EXPECT_EQ(doc.Current().detectors[0].points[0], (Point{31, 0}));

    doc.SelectDetector(-1);
    EXPECT_EQ(NudgeSelected(doc, burst, 1, 0), NudgeOutcome::NoSelection);
}

TEST(KeyboardEdits, TypedCornerInPictureCoordinates) {
    RenderState narrow;
    narrow.width = 180;
    narrow.height = 144;
    Detector line = Quad(narrow, 0, 1, {{{40, 40}, {60, 40}, {0, 0}, {0, 0}}});
    line.line = 1;
    Document doc = WithDetectors({Quad(narrow, 0, 1, {{{40, 40}, {60, 40}, {60, 60}, {40, 60}}}), line}, 180);
    PushEdited(doc, [](RenderState& s) { s.detectors[0].exclusion.PaintBlack(45, 45); });
    size_t history = doc.HistorySize();

    EXPECT_EQ(SetCornerAt(doc, 2, {179, 143}), CornerOutcome::Set);
    EXPECT_EQ(doc.Current().detectors[0].points[2], (Point{209, 143})) << "picture column 179 is canvas 209";
    EXPECT_FALSE(doc.Current().detectors[0].exclusion.IsBlack(45, 45));
    EXPECT_EQ(doc.HistorySize(), history + 1);

    EXPECT_EQ(SetCornerAt(doc, 2, {179, 143}), CornerOutcome::Unchanged);
    EXPECT_EQ(SetCornerAt(doc, 0, {180, 0}), CornerOutcome::OutsidePicture);
    EXPECT_EQ(SetCornerAt(doc, 0, {-1, 0}), CornerOutcome::OutsidePicture);
    EXPECT_EQ(SetCornerAt(doc, 0, {0, 144}), CornerOutcome::OutsidePicture);
    EXPECT_EQ(SetCornerAt(doc, 4, {5, 5}), CornerOutcome::NoSuchCorner);
    EXPECT_EQ(SetCornerAt(doc, -1, {5, 5}), CornerOutcome::NoSuchCorner);
    doc.SelectDetector(1);
    EXPECT_EQ(SetCornerAt(doc, 2, {5, 5}), CornerOutcome::NoSuchCorner) << "a line has two corners";
    doc.SelectDetector(-1);
    EXPECT_EQ(SetCornerAt(doc, 0, {5, 5}), CornerOutcome::NoDetector);
    EXPECT_EQ(doc.HistorySize(), history + 1) << "refusals change nothing";

    doc.SelectDetector(1);
    EXPECT_EQ(SetCornerAt(doc, 1, {0, 0}), CornerOutcome::Set);
    EXPECT_EQ(doc.Current().detectors[1].points[1], (Point{30, 0}));
}

TEST(CopyDetectors, NumbersKeptWhereFreeElseTheNextFree) {
    RenderState s = RenderState::NewProject();
    Document doc = WithDetectors({
        Quad(s, 0, 1, {{{10, 10}, {20, 10}, {20, 20}, {10, 20}}}),
        Quad(s, 0, 2, {{{30, 10}, {40, 10}, {40, 20}, {30, 20}}}),
        Quad(s, 1, 9, {}),
        Quad(s, 0, 3, {{{50, 10}, {60, 10}, {60, 20}, {50, 20}}}),
        Quad(s, 3, 2, {}),
        Quad(s, 3, 3, {}),
    });
    PushEdited(doc, [](RenderState& state) {
        state.detectors[1].exclusion.PaintBlack(35, 15);
        state.detectors[1].threshold = 7;
    });
    size_t history = doc.HistorySize();

    CopyOutcome out = CopyDetectorsToCard(doc, 0, 3);
    ASSERT_TRUE(out.changed);
    EXPECT_EQ(out.copied, 3u);
    EXPECT_EQ(doc.HistorySize(), history + 1);
    EXPECT_EQ(out.renumbered, (std::vector<Renumbered>{{2, 4}, {3, 5}}));
    const auto& d = doc.Current().detectors;
    ASSERT_EQ(d.size(), 9u);
    EXPECT_EQ(d[6].card, 3u);
    EXPECT_EQ(d[6].number, 1u);
    EXPECT_EQ(d[7].number, 4u);
    EXPECT_EQ(d[8].number, 5u);
    EXPECT_EQ(d[7].points, d[1].points);
    EXPECT_EQ(d[7].threshold, 7u);
    EXPECT_TRUE(d[7].exclusion.IsBlack(35, 15));
    EXPECT_EQ(doc.SelectedIndex(), 0) << "the selection is kept";
    EXPECT_EQ(d[1].card, 0u) << "the originals stay";
}

TEST(CopyDetectors, FullCardAndRefusals) {
    RenderState s = RenderState::NewProject();
    std::vector<Detector> many;
    for (uint32_t n = 1; n <= 32; ++n)
        if (n != 7)
            many.push_back(Quad(s, 1, n, {}));
    many.push_back(Quad(s, 0, 5, {}));
    many.push_back(Quad(s, 0, 6, {}));
    Document doc = WithDetectors(many);
    size_t history = doc.HistorySize();

    EXPECT_EQ(CopyDetectorsToCard(doc, 0, 0).refusal, CopyRefusal::SameCard);
    EXPECT_EQ(CopyDetectorsToCard(doc, 0, 4).refusal, CopyRefusal::NoSuchCard) << "the project has cards A-D";
    EXPECT_EQ(CopyDetectorsToCard(doc, 0, 9).refusal, CopyRefusal::NoSuchCard);
    EXPECT_EQ(CopyDetectorsToCard(doc, 2, 0).refusal, CopyRefusal::NothingToCopy);
    EXPECT_EQ(doc.HistorySize(), history);

    CopyOutcome out = CopyDetectorsToCard(doc, 0, 1);
    ASSERT_TRUE(out.changed);
    // 5 is taken: counting up from it, 7 is the only free number; then 33.
    EXPECT_EQ(out.renumbered, (std::vector<Renumbered>{{5, 7}, {6, 33}}));
}
