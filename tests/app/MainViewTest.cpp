#include "app/editor/MainView.h"

#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/composer/ComposerFrame.h"
#include "app/composer/ComposerView.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/TabView.h"
#include "app/widgets/PaneDock.h"
#include "framework/TextIds.h"
#include "model/DetectorEdits.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace korvex::test {
namespace {

using MainViewTest = FrameTest;

const std::array<Point, 4> kSquare{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};

TEST_F(MainViewTest, ClicksOnOverlappingDetectorsCycleThroughThem) {
    int a = AddQuad(0, {{{50, 50}, {150, 50}, {150, 150}, {50, 150}}});
    int b = AddQuad(0, {{{60, 60}, {160, 60}, {160, 160}, {60, 160}}});
    int c = AddQuad(0, {{{70, 70}, {170, 70}, {170, 170}, {70, 170}}});
    AddQuad(1, {{{70, 70}, {170, 70}, {170, 170}, {70, 170}}}); // same place, other card: never picked
    Doc().SelectDetector(-1);
    size_t states = Doc().HistorySize();
    QPoint spot = At(0, 100, 100);
    std::vector<int> picked;
    for (int i = 0; i < 4; ++i) {
        Click(spot);
        picked.push_back(Doc().SelectedIndex());
    }
    EXPECT_EQ(picked, (std::vector<int>{a, b, c, a}));
    EXPECT_EQ(Doc().HistorySize(), states); // selecting is not an edit

    Click(At(0, 300, 20)); // empty picture area deselects
    EXPECT_EQ(Doc().SelectedIndex(), -1);
    EXPECT_EQ(View().ActiveCard(), 0);
}

TEST_F(MainViewTest, ClickOutsideEveryPictureLeavesNoActiveCardAndAddDoesNothing) {
    Click(QPoint(View().width() - 3, 3)); // right margin, outside both columns
    EXPECT_EQ(View().ActiveCard(), -1);
    size_t states = Doc().HistorySize();
    frame->OnCommand(CmdAddQuad);
    frame->OnCommand(CmdAddLine);
    EXPECT_EQ(Doc().HistorySize(), states);
    RunIdle();
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdAddQuad)->isEnabled());
    EXPECT_FALSE(frame->Action(CmdLoadBackground)->isEnabled());
    Click(At(2, 10, 10));
    EXPECT_EQ(View().ActiveCard(), 2);
    frame->UpdateMenuStates();
    EXPECT_TRUE(frame->Action(CmdAddQuad)->isEnabled());
}

TEST_F(MainViewTest, AddedDetectorsAreNumberedPerCardAndSelected) {
    Click(At(1, 5, 5));
    frame->OnCommand(CmdAddQuad);
    frame->OnCommand(CmdAddLine);
    ASSERT_EQ(State().detectors.size(), 2u);
    EXPECT_EQ(State().detectors[0].card, 1u);
    EXPECT_EQ(State().detectors[0].number, 1u);
    EXPECT_EQ(State().detectors[1].number, 2u);
    EXPECT_EQ(State().detectors[1].line, 1u);
    EXPECT_EQ(Doc().SelectedIndex(), 1);
    EXPECT_EQ(State().detectors[0].divisions, 2u); // the view's setting for new detectors
}

TEST_F(MainViewTest, CornerDragCommitsOneStateOnReleaseOnly) {
    int d = AddQuad(0, kSquare);
    Click(At(0, 120, 120)); // select by its body
    ASSERT_EQ(Doc().SelectedIndex(), d);
    size_t states = Doc().HistorySize();
    Press(At(0, 100, 100)); // on corner P0
    EXPECT_TRUE(View().Dragging());
    EXPECT_EQ(View().ActiveHandle(), 0);
    MoveTo(At(0, 90, 95));
    MoveTo(At(0, 80, 90));
    EXPECT_EQ(Doc().HistorySize(), states); // moves only preview
    EXPECT_EQ(State().detectors[0].points[0], (Point{100, 100}));
    Release(At(0, 80, 90));
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[0].points[0], (Point{80, 90}));
    EXPECT_EQ(State().detectors[0].points[1], (Point{140, 100}));
    Doc().Undo();
    EXPECT_EQ(State().detectors[0].points[0], (Point{100, 100}));
}

// Hovering and dragging are the view's own business: they repaint the view
// and refresh nothing else; the composer is laid out once, for the edit
// the release commits.
TEST_F(MainViewTest, HoverAndDragLayTheComposerOutOnlyForTheEdit) {
    int d = AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    ASSERT_EQ(Doc().SelectedIndex(), d);
    frame->ProcessChanges();
    ASSERT_TRUE(frame->ComposerPane().isVisible());
    const int layouts = frame->Composer().View().LayoutCount();
    const uint64_t edits = Doc().Edits();
    for (QPoint hover : {At(0, 110, 110), At(0, 100, 100), At(0, 110, 110), At(0, 100, 100)}) {
        MoveTo(hover);
        frame->ProcessChanges();
    }
    EXPECT_EQ(View().ActiveHandle(), 0);
    Press(At(0, 100, 100));
    ASSERT_TRUE(View().Dragging());
    for (int i = 1; i <= 40; ++i) {
        MoveTo(At(0, 100 - i, 100 - i / 2));
        frame->ProcessChanges();
    }
    EXPECT_EQ(frame->Composer().View().LayoutCount(), layouts);
    Release(At(0, 60, 80));
    frame->ProcessChanges();
    EXPECT_EQ(frame->Composer().View().LayoutCount(), layouts + 1);
    EXPECT_EQ(Doc().Edits(), edits + 1);
    EXPECT_EQ(State().detectors[static_cast<size_t>(d)].points[0], (Point{60, 80}));
}

TEST_F(MainViewTest, DragShorterThanOneZoomStepCommitsNothing) {
    frame->OnCommand(CmdZoomIn);
    frame->OnCommand(CmdZoomIn); // zoom 3
    RunIdle();
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    size_t states = Doc().HistorySize();
    QPoint corner = At(0, 100, 100);
    Drag(corner, corner + QPoint(2, -2));
    EXPECT_EQ(Doc().HistorySize(), states);
    Drag(corner, corner + QPoint(3, 7)); // one step right, two down
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[0].points[0], (Point{101, 102}));
}

TEST_F(MainViewTest, CornerDraggedFarLeftOnANarrowPictureStopsAtTheMargin) {
    RenderState narrow;
    narrow.width = 180;
    narrow.height = 144;
    narrow.EnsureBackgrounds(4);
    Detector d(1, 1, 0, 0, 1, 240, 144);
    d.points = {{{60, 40}, {100, 40}, {100, 80}, {60, 80}}};
    narrow.detectors.push_back(d);
    Doc().NewRenderState(narrow);
    RunIdle();
    Click(At(0, 80, 60));
    ASSERT_EQ(Doc().SelectedIndex(), 0);
    Drag(At(0, 60, 40), At(0, 60, 40) - QPoint(500, 0));
    EXPECT_EQ(State().detectors[0].points[0], (Point{30, 40}));
    Drag(At(0, 100, 80), At(0, 100, 80) + QPoint(900, 900));
    EXPECT_EQ(State().detectors[0].points[2], (Point{209, 143}));
}

TEST_F(MainViewTest, MoveDragShiftsTheDetectorAndClampsEachCorner) {
    int d = AddQuad(0, {{{10, 100}, {50, 100}, {50, 140}, {10, 140}}});
    frame->OnCommand(CmdModeMove);
    size_t states = Doc().HistorySize();
    Drag(At(0, 30, 120), At(0, 10, 130)); // 20 left, 10 down
    EXPECT_EQ(Doc().SelectedIndex(), d);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    const auto& p = State().detectors[0].points;
    EXPECT_EQ(p[0], (Point{0, 110})); // clamped at the left edge
    EXPECT_EQ(p[1], (Point{30, 110}));
    EXPECT_EQ(p[3], (Point{0, 150}));
}

TEST_F(MainViewTest, MoveCardShiftsEveryDetectorOfThatCardOnly) {
    AddQuad(0, kSquare);
    AddQuad(0, {{{200, 100}, {220, 100}, {220, 120}, {200, 120}}});
    AddQuad(1, kSquare);
    frame->OnCommand(CmdModeMoveCard);
    size_t states = Doc().HistorySize();
    Drag(At(0, 120, 120), At(0, 130, 115));
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[0].points[0], (Point{110, 95}));
    EXPECT_EQ(State().detectors[1].points[0], (Point{210, 95}));
    EXPECT_EQ(State().detectors[2].points[0], (Point{100, 100})); // the other card stays
}

TEST_F(MainViewTest, ErasingMakesOneStatePerPress) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    frame->OnCommand(CmdModeErase);
    EXPECT_EQ(View().Mode(), ModeErase);
    size_t states = Doc().HistorySize();
    Press(At(0, 110, 110));
    MoveTo(At(0, 120, 110));
    MoveTo(At(0, 130, 110));
    Release(At(0, 130, 110));
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    const Bitmap& ex = State().detectors[0].exclusion;
    EXPECT_TRUE(ex.IsBlack(110, 110));
    EXPECT_TRUE(ex.IsBlack(124, 114)); // around the second position
    EXPECT_TRUE(ex.IsBlack(134, 106)); // around the third
    EXPECT_TRUE(ex.IsBlack(106, 106)); // the 9 x 9 square around the press
    EXPECT_FALSE(ex.IsBlack(105, 110));
    EXPECT_FALSE(ex.IsBlack(110, 120));
    // Reshaping the detector brings its whole area back.
    frame->OnCommand(CmdModeReshape);
    Drag(At(0, 140, 140), At(0, 150, 150));
    EXPECT_FALSE(State().detectors[0].exclusion.IsBlack(110, 110));
}

// A stroke ended by Escape (or a command) keeps what it erased, still as
// one state; the document does not change while the stroke is under way.
TEST_F(MainViewTest, AnEraserStrokeCutShortKeepsWhatItErased) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    frame->OnCommand(CmdModeErase);
    size_t states = Doc().HistorySize();
    Press(At(0, 110, 110));
    MoveTo(At(0, 130, 110));
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_FALSE(State().detectors[0].exclusion.IsBlack(110, 110));
    QTest::keyClick(&View(), Qt::Key_Escape);
    EXPECT_FALSE(View().Dragging());
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_TRUE(State().detectors[0].exclusion.IsBlack(110, 110));
    EXPECT_TRUE(State().detectors[0].exclusion.IsBlack(134, 106));
    Release(At(0, 130, 110)); // the release after the stroke ended adds nothing
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    frame->OnCommand(CmdUndo);
    EXPECT_FALSE(State().detectors[0].exclusion.IsBlack(110, 110));
}

TEST_F(MainViewTest, AimingSetsTheAngleFromTheDragDirection) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    test::PushEdited(Doc(), [](RenderState& s) { s.detectors[0].directional = true; });
    RunIdle();
    frame->OnCommand(CmdModeAim);
    ASSERT_EQ(View().Mode(), ModeAim);
    QPoint o = At(0, 120, 120);
    struct Case {
        QPoint delta;
        uint32_t angle;
    } cases[] = {{{0, 40}, 0}, {{40, 0}, 90}, {{0, -40}, 180}, {{-40, 0}, 270}};
    for (const Case& c : cases) {
        Drag(o, o + c.delta);
        EXPECT_EQ(State().detectors[0].angle, c.angle);
    }
    size_t states = Doc().HistorySize();
    Click(o); // no movement: a new state, the angle as it was
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[0].angle, 270u);
}

TEST_F(MainViewTest, ModesThatNeedASuitableSelectionFallBackToReshape) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    frame->OnCommand(CmdModeAim); // not directional
    RunIdle();
    EXPECT_EQ(View().Mode(), ModeReshape);
    EXPECT_FALSE(frame->Action(CmdModeAim)->isEnabled());
    frame->OnCommand(CmdModeErase);
    EXPECT_EQ(View().Mode(), ModeErase);
    frame->OnCommand(CmdDelete); // no selection any more
    RunIdle();
    EXPECT_EQ(View().Mode(), ModeReshape);
    EXPECT_TRUE(frame->Action(CmdModeReshape)->isChecked());
    EXPECT_FALSE(frame->Action(CmdModeErase)->isEnabled());
}

TEST_F(MainViewTest, ZoomStopsAtItsLimitsWithoutMarkingAnything) {
    for (int i = 0; i < 5; ++i)
        frame->OnCommand(CmdZoomIn);
    EXPECT_EQ(View().Zoom(), 6);
    RunIdle();
    EXPECT_EQ(View().width(), 2 * 320 * 6 + 32);
    View().Command(CmdZoomIn);
    EXPECT_EQ(View().Zoom(), 6);
    EXPECT_EQ(Doc().PendingChanges(), 0u);
    for (int i = 0; i < 5; ++i)
        View().Command(CmdZoomOut);
    EXPECT_EQ(View().Zoom(), 1);
    RunIdle();
    View().Command(CmdZoomOut);
    EXPECT_EQ(Doc().PendingChanges(), 0u);
}

TEST_F(MainViewTest, ZoomOnTheLivePageLeavesTheEditorAlone) {
    frame->Tabs().setCurrentIndex(0);
    frame->OnCommand(CmdZoomIn);
    EXPECT_EQ(View().Zoom(), 1);
}

TEST_F(MainViewTest, CopyPasteAndDeleteWorkOnTheActiveCard) {
    AddQuad(0, kSquare, 5);
    Click(At(0, 120, 120));
    frame->OnCommand(CmdCopy);
    EXPECT_TRUE(frame->Action(CmdPaste)->isEnabled());
    Click(At(3, 10, 10));
    frame->OnCommand(CmdPaste);
    ASSERT_EQ(State().detectors.size(), 2u);
    EXPECT_EQ(State().detectors[1].card, 3u);
    EXPECT_EQ(State().detectors[1].number, 5u);
    EXPECT_EQ(State().detectors[1].points, kSquare);
    EXPECT_EQ(Doc().SelectedIndex(), 1);
    size_t states = Doc().HistorySize();
    QTest::keyClick(frame.get(), Qt::Key_Delete);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors.size(), 1u);
    EXPECT_EQ(Doc().SelectedIndex(), -1);
    frame->OnCommand(CmdDelete); // nothing selected: nothing happens
    EXPECT_EQ(Doc().HistorySize(), states + 1);
}

TEST_F(MainViewTest, PastingIntoAProjectOfAnotherPictureSizeKeepsItSavable) {
    AddQuad(0, {{{250, 200}, {300, 200}, {300, 230}, {250, 230}}}, 2);
    Click(At(0, 270, 210));
    frame->OnCommand(CmdCopy);
    RenderState narrow;
    narrow.width = 180;
    narrow.height = 144;
    narrow.EnsureBackgrounds(2);
    Doc().NewRenderState(narrow);
    RunIdle();
    Click(At(1, 40, 10));
    frame->OnCommand(CmdPaste);
    ASSERT_EQ(State().detectors.size(), 1u);
    const Detector& d = State().detectors[0];
    EXPECT_EQ(d.card, 1u);
    EXPECT_EQ(d.exclusion.Width(), 240u);
    EXPECT_EQ(d.exclusion.Height(), 144u);
    EXPECT_EQ(d.points[2], (Point{209, 143}));
}

TEST_F(MainViewTest, PresetsChangeTheSelectionOrTheNextDetector) {
    size_t states = Doc().HistorySize();
    frame->OnCommand(CmdPenWidth3);
    frame->OnCommand(CmdFill20);
    EXPECT_EQ(Doc().HistorySize(), states); // no selection: settings only
    EXPECT_EQ(View().PenWidth(), 3);
    EXPECT_TRUE(frame->Action(CmdPenWidth3)->isChecked());
    EXPECT_TRUE(frame->Action(CmdFill20)->isChecked());
    frame->OnCommand(CmdAddQuad);
    EXPECT_EQ(State().detectors[0].pen_width, 3u);
    states = Doc().HistorySize();
    frame->OnCommand(CmdPenWidth3); // already so
    EXPECT_EQ(Doc().HistorySize(), states);
    frame->OnCommand(CmdDivisions4);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[0].divisions, 4u);
    EXPECT_EQ(State().detectors[0].fill, 0);
    EXPECT_TRUE(frame->Action(CmdDivisions4)->isChecked());
    EXPECT_FALSE(frame->Action(CmdFill20)->isChecked());
}

TEST_F(MainViewTest, LoadBackgroundShowsBitmapErrorsAndChangesNothing) {
    TempDir dir;
    std::string bad = dir.Path() + "/bad.bmp";
    FILE* f = fopen(bad.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs("not a bitmap", f);
    fclose(f);
    prompts.openAnswer = QString::fromStdString(bad);
    size_t states = Doc().HistorySize();
    frame->OnCommand(CmdLoadBackground);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], Text(text::bitmap_invalid_file));
    EXPECT_EQ(Doc().HistorySize(), states);

    Bitmap picture(320, 240);
    picture.SetPixelColour(5, 6, 0x0000FF);
    std::vector<uint8_t> bytes = EncodeBmp24(picture);
    std::string good = dir.Path() + "/good.bmp";
    f = fopen(good.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    prompts.openAnswer = QString::fromStdString(good);
    Click(At(2, 1, 1));
    frame->OnCommand(CmdLoadBackground);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().backgrounds[2].GetPixelColour(5, 6), 0x0000FFu); // colour kept at full width
    EXPECT_EQ(State().backgrounds[0].GetPixelColour(5, 6), 0xFFFFFFu);
}

TEST_F(MainViewTest, LivePicturesSayTheyAreNotAvailableYet) {
    size_t states = Doc().HistorySize();
    frame->OnCommand(CmdLiveBackgrounds);
    EXPECT_EQ(prompts.infos.size(), 1u);
    EXPECT_EQ(Doc().HistorySize(), states);
}

TEST_F(MainViewTest, CardCommandsFollowTheActiveCardWithoutOpeningAMenu) {
    Click(QPoint(View().width() - 3, 3)); // outside every picture
    frame->OnCommand(CmdZoomOut);         // any command brings the menu states up to date
    RunIdle();
    EXPECT_FALSE(frame->Action(CmdAddQuad)->isEnabled());
    Click(At(2, 10, 10));
    RunIdle();
    EXPECT_TRUE(frame->Action(CmdAddQuad)->isEnabled());
    EXPECT_TRUE(frame->Action(CmdAddLine)->isEnabled());
    QTest::keyClick(frame.get(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(State().detectors.size(), 1u);
    EXPECT_EQ(State().detectors[0].card, 2u);
}

TEST_F(MainViewTest, FillChosenWithoutSelectionGoesToTheNextDetector) {
    frame->OnCommand(CmdFill100);
    Click(At(0, 5, 5));
    frame->OnCommand(CmdAddQuad);
    ASSERT_EQ(State().detectors.size(), 1u);
    EXPECT_EQ(State().detectors[0].fill, 100);
    EXPECT_EQ(State().detectors[0].divisions, 0u);
    EXPECT_EQ(View().Fill(), 100); // selecting the new detector keeps the choice
    EXPECT_TRUE(frame->Action(CmdFill100)->isChecked());
}

TEST_F(MainViewTest, EditsOnAFullHistoryStillRefreshProblemsAndToolbar) {
    Click(At(0, 5, 5));
    frame->OnCommand(CmdAddQuad); // A1, selected
    for (uint32_t i = 0; i < 110; ++i)
        SetDelay(Doc(), i % 2 ? 100 : 200);
    ASSERT_EQ(Doc().HistorySize(), Document::MaxHistory);
    RunIdle();
    frame->OnCommand(CmdAddQuad); // A2
    SetNumber(Doc(), 1);          // now two detectors A1
    RunIdle();
    EXPECT_EQ(frame->Problems().Lines().size(), 1);
    frame->OnCommand(CmdPenWidth4);
    EXPECT_EQ(Doc().SelectedDetector()->pen_width, 4u);
    EXPECT_EQ(View().PenWidth(), 4);
    EXPECT_TRUE(frame->Action(CmdPenWidth4)->isChecked());
    frame->OnCommand(CmdDelete);
    RunIdle();
    EXPECT_TRUE(frame->Problems().Lines().isEmpty());
}

TEST_F(MainViewTest, ADragWhoseReleaseWentElsewhereOrThatOutlivesItsZoomCommitsNothing) {
    AddQuad(0, kSquare);
    Click(At(0, 120, 120));
    size_t states = Doc().HistorySize();
    // The release went to a box that opened meanwhile: the next move comes
    // without the button, and the drag is dropped.
    Press(At(0, 100, 100));
    ASSERT_TRUE(View().Dragging());
    QMouseEvent move(QEvent::MouseMove, QPointF(At(0, 60, 60)), QPointF(View().mapToGlobal(At(0, 60, 60))),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&View(), &move);
    EXPECT_FALSE(View().Dragging());
    Click(At(0, 50, 50));
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_EQ(State().detectors[0].points[0], (Point{100, 100}));

    // Zooming while a corner is held drops the drag too: its screen
    // distances belong to the old zoom.
    Click(At(0, 120, 120));
    Press(At(0, 100, 100));
    ASSERT_TRUE(View().Dragging());
    frame->OnCommand(CmdZoomIn);
    EXPECT_FALSE(View().Dragging());
    Release(At(0, 40, 40));
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_EQ(State().detectors[0].points[0], (Point{100, 100}));
}

} // namespace
} // namespace korvex::test
