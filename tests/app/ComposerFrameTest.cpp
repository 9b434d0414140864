// The composer inside the main window: the frame lays it out after every
// kind of change, its edits are undo steps of the one document, and the keys
// it edits with do not reach the window's shortcuts.
#include "app/composer/ComposerFrame.h"

#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/composer/ComposerView.h"
#include "app/editor/ProblemsView.h"
#include "app/frame/TabView.h"
#include "app/widgets/PaneDock.h"
#include "composer/Composer.h"
#include "composer/Formula.h"
#include "files/Chunk.h"
#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "framework/BinaryFile.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>

namespace korvex::test {
namespace {

using ComposerInFrame = FrameTest;

QPoint Centre(const ComposerItem& item) {
    return QPoint((item.box.left + item.box.right) / 2, (item.box.top + item.box.bottom) / 2);
}

// The rows as the composer view last placed them.
const ComposerRows& Placed(MainFrame& frame) {
    return frame.Composer().View().Steps().placed;
}

TEST_F(ComposerInFrame, PaneShowsEveryRowAndFollowsThePage) {
    PaneDock& pane = frame->ComposerPane();
    EXPECT_TRUE(pane.isVisible());
    EXPECT_EQ(pane.windowTitle().toStdString(), "Output composer");
    EXPECT_EQ(pane.widget(), &frame->Composer());
    EXPECT_EQ(frame->Composer().View().Steps().rows, 24u + 64u + 4u);
    // On the live page the pane hides; edits there leave it stale until it
    // shows again, and then it catches up at once.
    frame->Tabs().setCurrentIndex(0);
    RunIdle();
    EXPECT_FALSE(pane.isVisible());
    int layouts = frame->Composer().View().LayoutCount();
    ASSERT_TRUE(SetRowExpression(Doc(), {'Y', 0}, *ParseFormula("A1 | B1", nullptr)));
    RunIdle();
    EXPECT_EQ(frame->Composer().View().LayoutCount(), layouts);
    frame->Tabs().setCurrentIndex(1);
    RunIdle();
    EXPECT_TRUE(pane.isVisible());
    EXPECT_EQ(frame->Composer().View().LayoutCount(), layouts + 1);
    EXPECT_GT(Placed(*frame).y[0].box.right, 0);
}

TEST_F(ComposerInFrame, TypedFormulaUndoRedoSaveAndProblems) {
    ComposerFrame& composer = frame->Composer();
    ComposerView& view = composer.View();
    QTest::mouseClick(&view, Qt::LeftButton, {}, Centre(Placed(*frame).y[0]));
    ASSERT_EQ(Doc().ComposerPath(), "Y0X");
    RunIdle();

    int layouts = view.LayoutCount();
    QLineEdit& field = composer.FormulaField();
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, "(A1 & B2) | Cblur");
    QTest::keyClick(&field, Qt::Key_Return);
    RunIdle();
    // One edit, one undo step, one layout, and the problems list follows.
    EXPECT_EQ(view.LayoutCount(), layouts + 1);
    EXPECT_EQ(Doc().HistorySize(), 2u);
    EXPECT_EQ(FormulaText(State().composer_y[0]), "((A1 & B2) | Cblur)");
    EXPECT_EQ(frame->Problems().Lines().size(), 1); // A1 does not exist

    frame->OnCommand(CmdUndo);
    RunIdle();
    EXPECT_EQ(FormulaText(State().composer_y[0]), "1");
    EXPECT_EQ(field.text().toStdString(), "1");
    EXPECT_EQ(frame->Problems().Lines().size(), 0);
    frame->OnCommand(CmdRedo);
    RunIdle();
    EXPECT_EQ(field.text().toStdString(), "((A1 & B2) | Cblur)");
    // The laid-out boxes are the current state's: a click hits the new tree.
    QTest::mouseClick(&view, Qt::LeftButton, {}, Centre(Placed(*frame).y[0].children[1]));
    EXPECT_EQ(Doc().ComposerPath(), "Y0BX");

    TempDir dir;
    std::string path = dir.Path() + "/composed.kvx";
    SaveProject(Doc(), path);
    std::string script = ComposeScript(LoadProject(path));
    EXPECT_EQ(script.substr(0, script.find('\n')), "Y1 = ((A1 & B2) | Cblur)");
}

TEST_F(ComposerInFrame, DetectorSelectionRedrawsAndKeysStayInTheComposer) {
    int a1 = AddQuad(0, {{{100, 100}, {140, 100}, {140, 140}, {100, 140}}}, 1);
    ASSERT_TRUE(SetRowExpression(Doc(), {'Y', 1}, *ParseFormula("A1 & B2", nullptr)));
    View().Select(a1);
    RunIdle();
    ComposerView& view = frame->Composer().View();
    const ComposerBox leaf = Placed(*frame).y[1].children[0].box;
    // The selected detector's leaf is red.
    ASSERT_EQ(Doc().SelectedIndex(), a1);
    EXPECT_EQ(view.Picture().pixelColor(leaf.left + 2, leaf.top + 2), QColor(255, 0, 0));
    // Clicking empty canvas clears the detector selection: the leaf turns white.
    Click(At(0, 10, 10));
    RunIdle();
    ASSERT_EQ(Doc().SelectedIndex(), -1);
    EXPECT_EQ(view.Picture().pixelColor(leaf.left + 2, leaf.top + 2), QColor(Qt::white));

    // Delete in the composer resets the node; the detector stays.
    View().Select(a1);
    RunIdle();
    frame->Composer().activateWindow();
    view.setFocus();
    QTest::mouseClick(&view, Qt::LeftButton, {}, Centre(Placed(*frame).y[1].children[1]));
    ASSERT_EQ(Doc().ComposerPath(), "Y1BX");
    size_t detectors = State().detectors.size();
    QTest::keyClick(&view, Qt::Key_Delete);
    RunIdle();
    EXPECT_EQ(State().detectors.size(), detectors);
    EXPECT_EQ(FormulaText(State().composer_y[1]), "(A1 & 0)");
    // The double click puts the selected detector into the node.
    QTest::mouseDClick(&view, Qt::LeftButton, {}, Centre(Placed(*frame).y[1].children[1]));
    RunIdle();
    EXPECT_EQ(FormulaText(State().composer_y[1]), "(A1 & A1)");
    // ... which the problems list reports as both sides being the same.
    EXPECT_EQ(frame->Problems().Lines().size(), 1);
}

// Y1 = (A1 & B2) | Cblur built with the mouse from the row's "1": every menu
// choice one undo step that undo and redo walk exactly; the saved file's
// script and its package's compose.txt hold the result.
TEST_F(ComposerInFrame, FormulaByClicksUndoRedoAndSavedPackage) {
    AddQuad(0, {{{100, 100}, {140, 100}, {140, 140}, {100, 140}}}, 1);
    AddQuad(1, {{{100, 100}, {140, 100}, {140, 140}, {100, 140}}}, 2);
    RunIdle();
    ComposerView& view = frame->Composer().View();
    auto choose = [&](const ComposerItem& node, unsigned id) {
        QTest::mouseClick(&view, Qt::LeftButton, {}, Centre(node));
        std::unique_ptr<QMenu> menu = view.BuildContextMenu();
        ASSERT_TRUE(menu);
        std::function<QAction*(QMenu&)> find = [&](QMenu& m) -> QAction* {
            for (QAction* a : m.actions()) {
                if (a->menu()) {
                    if (QAction* inner = find(*a->menu()))
                        return inner;
                } else if (!a->isSeparator() && a->data().toUInt() == id) {
                    return a;
                }
            }
            return nullptr;
        };
        QAction* action = find(*menu);
        ASSERT_TRUE(action) << id;
        action->trigger();
        RunIdle();
    };
    size_t start = Doc().HistorySize();
    const auto& y1 = [&]() -> const ComposerItem& { return State().composer_y[0]; };
    // Row Y1 where the view placed it, for the clicks.
    const auto placed = [&] { return Placed(*frame).y[0]; };
    choose(placed(), CmdOr);                                          // (1 | 0)
    choose(placed().children[0], CmdAnd);                             // ((1 & 1) | 0)
    choose(placed().children[0].children[0], CmdInputFirst + 0);      // A1
    choose(placed().children[0].children[1], CmdInputFirst + 32 + 1); // B2, from the B... submenu
    choose(placed().children[1], CmdBlurFirst + 2);                   // Cblur
    std::vector<std::string> steps = {
        "1", "(1 | 0)", "((1 & 1) | 0)", "((A1 & 1) | 0)", "((A1 & B2) | 0)", "((A1 & B2) | Cblur)"};
    ASSERT_EQ(Doc().HistorySize(), start + 5);
    for (size_t i = steps.size() - 1; i-- > 0;) {
        frame->OnCommand(CmdUndo);
        RunIdle();
        EXPECT_EQ(FormulaText(y1()), steps[i]);
    }
    for (size_t i = 1; i < steps.size(); ++i) {
        frame->OnCommand(CmdRedo);
        RunIdle();
        EXPECT_EQ(FormulaText(y1()), steps[i]);
    }

    TempDir dir;
    std::string path = dir.Path() + "/clicked.kvx";
    SaveProject(Doc(), path);
    std::vector<uint8_t> file = BinaryFile::ReadAll(path);
    ChunkReader reader(file.data(), file.size());
    ChunkReader::Chunk chunk;
    std::vector<PackageEntry> entries;
    while (reader.Next(chunk)) {
        if (chunk.type == 11) {
            ASSERT_TRUE(ReadPackageEntries(chunk.payload, chunk.size, entries));
        }
    }
    std::string compose;
    for (const PackageEntry& e : entries)
        if (e.name == "compose.txt")
            compose.assign(e.content.begin(), e.content.end());
    EXPECT_EQ(compose.substr(0, compose.find('\n')), "Y1 = ((A1 & B2) | Cblur)");
    EXPECT_EQ(compose, ComposeScript(LoadProject(path)));
}

} // namespace
} // namespace korvex::test
