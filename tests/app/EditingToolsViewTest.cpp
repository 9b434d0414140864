// The editor's tools as a user meets them: snapping while dragging, corner
// numbers, nudging with the arrow keys, typed corner positions, the
// camera-size conversion and copying a camera's detectors.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/editor/CornerFields.h"
#include "app/editor/Inspector.h"
#include "app/editor/MainView.h"
#include "app/widgets/StatusBar.h"

#include <QAction>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

namespace korvex::test {
namespace {

const std::array<Point, 4> kLeft{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};
const std::array<Point, 4> kRight{{{150, 100}, {190, 100}, {190, 140}, {150, 140}}};

class EditingToolsTest : public FrameTest {
protected:
    // Mouse events carrying the Shift state, as QTest's helpers cannot.
    void Send(QEvent::Type type, QPoint p, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
        QMouseEvent e(type, QPointF(p), View().mapToGlobal(QPointF(p)), Qt::LeftButton, buttons, modifiers);
        QApplication::sendEvent(&View(), &e);
    }
    void DragWith(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers) {
        Send(QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
        Send(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
        Send(QEvent::MouseButtonRelease, to, Qt::NoButton, modifiers);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&View(), Qt::Key(key), modifiers);
    }
    // Whether the view shows the corner-number label colour anywhere.
    bool ShowsCornerNumbers() {
        View().repaint();
        QImage shot = View().grab().toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixelColor(x, y) == QColor(255, 255, 224))
                    return true;
        return false;
    }
};

TEST_F(EditingToolsTest, DraggedCornerSnapsToANeighboursCornerUnlessShiftIsHeld) {
    int left = AddQuad(0, kLeft);
    AddQuad(0, kRight);
    AddQuad(1, {{{147, 100}, {160, 100}, {160, 120}, {147, 120}}}); // other camera: never a target
    Click(At(0, 120, 120));
    ASSERT_EQ(Doc().SelectedIndex(), left);
    size_t states = Doc().HistorySize();

    // P1 (140, 100) dragged to (147, 102): 3.6 pixels from the right square's P0.
    Press(At(0, 140, 100));
    MoveTo(At(0, 147, 102));
    ASSERT_TRUE(View().SnapTargetShown());
    EXPECT_EQ(View().SnapTargetShown()->point, (Point{150, 100}));
    Release(At(0, 147, 102));
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[size_t(left)].points[1], (Point{150, 100}));
    EXPECT_FALSE(View().SnapTargetShown()) << "the mark goes with the drag";

    // With Shift the corner goes exactly where it is dropped.
    DragWith(At(0, 150, 100), At(0, 146, 103), Qt::ShiftModifier);
    EXPECT_EQ(Doc().HistorySize(), states + 2);
    EXPECT_EQ(State().detectors[size_t(left)].points[1], (Point{146, 103}));

    // Six screen pixels are two canvas pixels at zoom 3: (147, 102) is too far.
    frame->OnCommand(CmdZoomIn);
    frame->OnCommand(CmdZoomIn);
    RunIdle();
    Drag(At(0, 146, 103), At(0, 147, 102));
    EXPECT_EQ(State().detectors[size_t(left)].points[1], (Point{147, 102}));
    Drag(At(0, 147, 102), At(0, 149, 101));
    EXPECT_EQ(State().detectors[size_t(left)].points[1], (Point{150, 100}));
}

TEST_F(EditingToolsTest, MovedDetectorSnapsItsNearestCorner) {
    int left = AddQuad(0, kLeft);
    AddQuad(0, kRight);
    frame->OnCommand(CmdModeMove);
    Click(At(0, 120, 120));
    ASSERT_EQ(Doc().SelectedIndex(), left);
    // Moved by (8, 3): P1 lands at (148, 103), 3.6 from (150, 100).
    Drag(At(0, 120, 120), At(0, 128, 123));
    EXPECT_EQ(State().detectors[size_t(left)].points,
              (std::array<Point, 4>{{{110, 100}, {150, 100}, {150, 140}, {110, 140}}}));
    DragWith(At(0, 130, 120), At(0, 122, 123), Qt::ShiftModifier);
    EXPECT_EQ(State().detectors[size_t(left)].points[0], (Point{102, 103}));
}

TEST_F(EditingToolsTest, CornerNumbersFromZoomTwo) {
    AddQuad(0, kLeft);
    Click(At(0, 120, 120));
    EXPECT_FALSE(ShowsCornerNumbers());
    frame->OnCommand(CmdZoomIn);
    RunIdle();
    EXPECT_TRUE(ShowsCornerNumbers());
    Click(At(0, 300, 200)); // nothing selected: no numbers
    RunIdle();
    EXPECT_FALSE(ShowsCornerNumbers());
}

TEST_F(EditingToolsTest, ArrowBurstIsOneUndoStepAndClampsAtTheEdge) {
    int d = AddQuad(0, {{{5, 100}, {40, 100}, {40, 140}, {5, 140}}});
    Click(At(0, 20, 120));
    ASSERT_EQ(Doc().SelectedIndex(), d);
    size_t states = Doc().HistorySize();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier); // x 7 -> 0 for P0, 42 -> 32 for P1
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[size_t(d)].points,
              (std::array<Point, 4>{{{0, 110}, {32, 110}, {32, 150}, {0, 150}}}));
    frame->OnCommand(CmdUndo);
    EXPECT_EQ(State().detectors[size_t(d)].points[0], (Point{5, 100})) << "one undo takes the burst back";

    // A click ends the burst: the next arrow is a step of its own.
    frame->OnCommand(CmdRedo);
    Click(At(0, 20, 120));
    size_t before = Doc().HistorySize();
    Key(Qt::Key_Up);
    EXPECT_EQ(Doc().HistorySize(), before + 1);
    EXPECT_EQ(State().detectors[size_t(d)].points[0], (Point{0, 109}));
    frame->OnCommand(CmdUndo);
    EXPECT_EQ(State().detectors[size_t(d)].points[0], (Point{0, 110}));
}

TEST_F(EditingToolsTest, InspectorCornerFieldsTypeExactPositions) {
    RenderState narrow = Doc().Current(); // a 180 x 144 project, as opened
    narrow.width = 180;
    narrow.height = 144;
    narrow.backgrounds.clear();
    narrow.EnsureBackgrounds(4);
    Doc().ReplaceWithLoaded(std::move(narrow), std::string());
    View().Relayout();
    int d = AddQuad(0, {{{40, 10}, {80, 10}, {80, 50}, {40, 50}}});
    Click(At(0, 60, 30));
    ASSERT_EQ(Doc().SelectedIndex(), d);
    RunIdle();
    CornerFields& corners = frame->GetInspector().Corners();
    EXPECT_EQ(corners.Field(0, 0)->text(), QStringLiteral("10"));
    size_t states = Doc().HistorySize();

    QLineEdit* x = corners.Field(1, 0);
    x->setFocus();
    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("179"));
    QTest::keyClick(x, Qt::Key_Return);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().detectors[size_t(d)].points[1], (Point{209, 10}));
    RunIdle();
    EXPECT_EQ(x->text(), QStringLiteral("179"));

    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("200"));
    QTest::keyClick(x, Qt::Key_Return);
    RunIdle();
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_TRUE(corners.Marked(1, 0));
    EXPECT_EQ(x->text(), QStringLiteral("200")) << "the refused text stays to be corrected";

    // A drag moves the corner: the fields follow.
    Drag(At(0, 40, 50), At(0, 45, 52));
    RunIdle();
    EXPECT_EQ(corners.Field(3, 0)->text(), QStringLiteral("15"));
    EXPECT_EQ(corners.Field(3, 1)->text(), QStringLiteral("52"));
}

TEST_F(EditingToolsTest, ConvertingAsksBeforeDroppingOutputs) {
    AddQuad(0, kLeft);
    test::PushEdited(Doc(), [](RenderState& s) { s.composer_y[11] = ComposerItem(ComposerItem::InputA, 1); });
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdConvertTo320)->isEnabled());
    EXPECT_TRUE(frame->Action(CmdConvertTo180)->isEnabled());
    size_t states = Doc().HistorySize();

    prompts.warningAnswer = false;
    frame->OnCommand(CmdConvertTo180);
    ASSERT_EQ(prompts.warnings.size(), 1u);
    EXPECT_TRUE(prompts.warnings[0].contains(QStringLiteral("Y12"))) << prompts.warnings[0].toStdString();
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_EQ(State().width, 320u);

    prompts.warningAnswer = true;
    frame->OnCommand(CmdConvertTo180);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_EQ(State().width, 180u);
    EXPECT_EQ(State().detectors[0].points[0], (Point{30 + 56, 60}));
    EXPECT_TRUE(frame->Status().Text().contains(QStringLiteral("180")))
        << frame->Status().Text().toStdString();
    RunIdle();
    EXPECT_EQ(View().width(), View().Geometry().ViewWidth()) << "the view takes the new picture size";

    frame->OnCommand(CmdConvertTo320);
    EXPECT_EQ(State().width, 320u);
    EXPECT_EQ(State().detectors[0].points[0], (Point{100, 100}));
    frame->OnCommand(CmdUndo);
    frame->OnCommand(CmdUndo);
    EXPECT_EQ(State().composer_y[11].kind, uint32_t(ComposerItem::InputA));
}

TEST_F(EditingToolsTest, CopyDetectorsToAnotherCamera) {
    AddQuad(0, kLeft, 1);
    AddQuad(0, kRight, 2);
    AddQuad(3, kLeft, 2);
    Click(At(0, 120, 120));
    frame->UpdateMenuStates();
    EXPECT_TRUE(frame->Action(CmdCopyDetectorsToCamera)->isEnabled());
    size_t states = Doc().HistorySize();

    prompts.chooseAnswer = QString(); // cancelled
    frame->OnCommand(CmdCopyDetectorsToCamera);
    ASSERT_EQ(prompts.choices.size(), 1u);
    EXPECT_TRUE(prompts.choices[0].endsWith(QStringLiteral("| B,C,D"))) << prompts.choices[0].toStdString();
    EXPECT_EQ(Doc().HistorySize(), states);

    prompts.chooseAnswer = QStringLiteral("D");
    frame->OnCommand(CmdCopyDetectorsToCamera);
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    ASSERT_EQ(State().detectors.size(), 5u);
    EXPECT_EQ(State().detectors[3].card, 3u);
    EXPECT_EQ(State().detectors[3].number, 1u);
    EXPECT_EQ(State().detectors[4].number, 3u) << "D2 exists: the copy of A2 becomes D3";
    EXPECT_TRUE(frame->Status().Text().contains(QStringLiteral("A2→D3")))
        << frame->Status().Text().toStdString();

    Click(At(2, 10, 10)); // camera C has no detectors
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdCopyDetectorsToCamera)->isEnabled());
}

} // namespace
} // namespace korvex::test
