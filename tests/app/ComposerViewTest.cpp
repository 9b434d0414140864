// The composer window's widgets on the offscreen platform: real painting,
// simulated mouse and keys, the document changed through the core.
#include "app/composer/ComposerView.h"

#include "app/common/Commands.h"
#include "app/composer/ComposerFrame.h"
#include "composer/Composer.h"
#include "composer/Formula.h"
#include "model/Document.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace korvex;

namespace {

void EnsureApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "composer_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// A colour as the picture stores it (it keeps fewer bits per colour).
QColor Stored(const QColor& c) {
    QImage one(1, 1, QImage::Format_RGB16);
    one.setPixelColor(0, 0, c);
    return one.pixelColor(0, 0);
}

QPoint Centre(const ComposerItem& item) {
    return QPoint((item.box.left + item.box.right) / 2, (item.box.top + item.box.bottom) / 2);
}

class ComposerWidgets : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        document.New();
        frame = std::make_unique<ComposerFrame>();
        frame->Attach(&document, [this] { return activeCard; });
        frame->show();
        QApplication::processEvents();
    }
    ComposerView& View() { return frame->View(); }
    const RenderState& State() { return document.Current(); }
    // Starts the history over from the current state changed by `change`,
    // as if that project had been opened.
    template <typename Change> void Load(Change change) {
        RenderState s = document.Current();
        change(s);
        document.ReplaceWithLoaded(std::move(s), std::string());
    }
    // The rows as the view last placed them.
    const ComposerRows& Placed() { return View().Steps().placed; }
    void Set(const char* row, const char* formula) {
        ASSERT_FALSE(SetRowFormula(document, *ParseRowName(State(), row), formula));
        frame->Layout();
    }
    QStringList Texts(const QMenu& menu) {
        QStringList out;
        for (QAction* a : menu.actions())
            out << (a->menu() ? a->text() + "{" + Texts(*a->menu()).join(",") + "}" : a->text());
        return out;
    }
    QAction* Find(QMenu& menu, unsigned id) {
        for (QAction* a : menu.actions()) {
            if (a->menu())
                if (QAction* inner = Find(*a->menu(), id))
                    return inner;
            if (!a->menu() && a->data().toUInt() == id && !a->isSeparator())
                return a;
        }
        return nullptr;
    }

    Document document;
    uint32_t activeCard = 0;
    std::unique_ptr<ComposerFrame> frame;
};

} // namespace

TEST_F(ComposerWidgets, PictureIsDrawnOnceAndClicksSelect) {
    EXPECT_EQ(frame->windowTitle().toStdString(), "Output composer");
    const QImage& picture = View().Picture();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(View().size(), picture.size());
    // Sign font: a desktop font with the four signs (DejaVu Sans on Debian).
    EXPECT_FALSE(View().GlyphFamily().isEmpty());

    // Clicking the "1" of row Y3 selects Y2X without an undo step and frames it blue.
    int layouts = View().LayoutCount();
    QTest::mouseClick(&View(), Qt::LeftButton, {}, Centre(Placed().y[2]));
    EXPECT_EQ(document.ComposerPath(), "Y2X");
    EXPECT_EQ(document.HistorySize(), 1u);
    EXPECT_EQ(View().LayoutCount(), layouts + 1);
    const ComposerBox box = Placed().y[2].box;
    EXPECT_EQ(View().Picture().pixelColor(box.left, (box.top + box.bottom) / 2), QColor(0, 0, 255));
    EXPECT_EQ(View().Picture().pixelColor(box.left + 1, box.top + 1), QColor(Qt::white));
    const ComposerBox other = Placed().y[3].box;
    EXPECT_EQ(View().Picture().pixelColor(other.left, other.top), Stored(QColor(128, 128, 128)));
    // The formula field follows the selected row.
    EXPECT_EQ(frame->FormulaField().text().toStdString(), "1");
    EXPECT_EQ(frame->RowLabel().text().toStdString(), "Y3 =");
    // Empty space clears the selection.
    QTest::mouseClick(&View(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(document.ComposerPath(), "");
    EXPECT_FALSE(frame->FormulaField().isEnabled());
    EXPECT_EQ(document.HistorySize(), 1u);
}

TEST_F(ComposerWidgets, RedLeafForTheSelectedDetector) {
    Load([](RenderState& s) { s.detectors.emplace_back(1, 1, 0, 0, 3, 320, 240); }); // A3
    document.SelectDetector(0);
    Set("Y1", "A3 & B1");
    const ComposerBox a3 = Placed().y[0].children[0].box;
    EXPECT_EQ(View().Picture().pixelColor(a3.left + 2, a3.top + 2), QColor(255, 0, 0));
    const ComposerBox b1 = Placed().y[0].children[1].box;
    EXPECT_EQ(View().Picture().pixelColor(b1.left + 2, b1.top + 2), QColor(Qt::white));
    // The text inside the red leaf is white: the box holds nothing darker than red.
    bool white = false;
    for (int y = a3.top + 1; y < a3.bottom - 1; ++y)
        for (int x = a3.left + 1; x < a3.right - 1; ++x)
            white = white || View().Picture().pixelColor(x, y) == QColor(Qt::white);
    EXPECT_TRUE(white);
}

TEST_F(ComposerWidgets, ContextMenuOfDetectorsConditionsAndEmpty) {
    Load([](RenderState& s) {
        for (uint32_t n : {4u, 1u})
            s.detectors.emplace_back(1, 1, 0, 1, n, 320, 240); // B4, B1
        s.detectors.emplace_back(1, 1, 0, 0, 2, 320, 240);     // A2
        s.detectors.emplace_back(1, 1, 0, 0, 40, 320, 240);    // out of range: not offered
    });
    document.SelectDetector(1); // B1
    activeCard = 1;
    Set("Y1", "B4 | 0");
    View().Select(Centre(Placed().y[0].children[0]).x(), Centre(Placed().y[0].children[0]).y());
    ASSERT_EQ(document.ComposerPath(), "Y0AX");
    std::unique_ptr<QMenu> menu = View().BuildContextMenu();
    ASSERT_TRUE(menu);
    QStringList texts = Texts(*menu);
    // A... holds card A's items; B1 and B4 are in the menu itself, before the
    // blur and blank submenus and the menu's own items.
    ASSERT_GE(texts.size(), 6);
    EXPECT_EQ(texts.mid(0, 5).join(";").toStdString(),
              "A...{A2};B1;B4;Blurred picture{A,B,C,D};Blank picture{A,B,C,D}");
    EXPECT_TRUE(Find(*menu, CmdInputFirst + 32 + 3)->isChecked()); // B4 is the node
    EXPECT_FALSE(Find(*menu, CmdInputFirst + 32 + 0)->isChecked());
    EXPECT_EQ(menu->defaultAction(), Find(*menu, CmdInputFirst + 32 + 0)); // B1 is the selected detector
    EXPECT_EQ(Find(*menu, CmdEmpty), nullptr);                             // not a whole Z row
    EXPECT_FALSE(Find(*menu, CmdOr)->isChecked());

    // Choosing an item is one undo step and lays out again.
    size_t history = document.HistorySize();
    Find(*menu, CmdBlankFirst + 2)->trigger();
    EXPECT_EQ(document.HistorySize(), history + 1);
    EXPECT_EQ(FormulaText(State().composer_y[0]), "(Cblank | 0)");
    EXPECT_EQ(frame->FormulaField().text().toStdString(), "(Cblank | 0)");
    document.Undo();
    EXPECT_EQ(FormulaText(State().composer_y[0]), "(B4 | 0)");

    // A whole Z row offers the unused item, checked while it is unused.
    frame->Layout();
    View().Select(Centre(Placed().z[2]).x(), Centre(Placed().z[2]).y());
    ASSERT_EQ(document.ComposerPath(), "Z2X");
    menu = View().BuildContextMenu();
    ASSERT_TRUE(Find(*menu, CmdEmpty));
    EXPECT_TRUE(Find(*menu, CmdEmpty)->isChecked());
    // Nothing selected, no menu.
    View().Select(1, 1);
    EXPECT_EQ(View().BuildContextMenu(), nullptr);
}

TEST_F(ComposerWidgets, DoubleClickAndKeysEdit) {
    Load([](RenderState& s) { s.detectors.emplace_back(1, 1, 0, 2, 7, 320, 240); }); // C7
    document.SelectDetector(0);
    frame->Layout();
    QTest::mouseDClick(&View(), Qt::LeftButton, {}, Centre(Placed().y[1]));
    EXPECT_EQ(FormulaText(State().composer_y[1]), "C7");
    EXPECT_EQ(document.HistorySize(), 2u);

    // & wraps the node; the arrows walk it; Delete resets to 0.
    View().setFocus();
    QTest::keyClick(&View(), '&');
    EXPECT_EQ(FormulaText(State().composer_y[1]), "(C7 & 1)");
    EXPECT_EQ(document.HistorySize(), 3u);
    QTest::keyClick(&View(), Qt::Key_Left);
    EXPECT_EQ(document.ComposerPath(), "Y1AX");
    QTest::keyClick(&View(), Qt::Key_Right);
    QTest::keyClick(&View(), Qt::Key_Right);
    EXPECT_EQ(document.ComposerPath(), "Y1BX");
    QTest::keyClick(&View(), Qt::Key_Delete);
    EXPECT_EQ(FormulaText(State().composer_y[1]), "(C7 & 0)");
    QTest::keyClick(&View(), Qt::Key_Up);
    EXPECT_EQ(document.ComposerPath(), "Y0X");
    EXPECT_EQ(document.HistorySize(), 4u);

    // A letter starts the formula field with that letter.
    QTest::keyClick(&View(), Qt::Key_B, Qt::NoModifier);
    EXPECT_EQ(frame->FormulaField().text().toStdString(), "b");
    EXPECT_TRUE(frame->FormulaField().hasFocus() || QApplication::focusWidget() == nullptr);
}

TEST_F(ComposerWidgets, TypedFormulaIsOneStepAndErrorsChangeNothing) {
    View().Select(Centre(Placed().y[0]).x(), Centre(Placed().y[0]).y());
    QLineEdit& field = frame->FormulaField();
    int layouts = View().LayoutCount();
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, "(a1 & b2) | cblur");
    EXPECT_EQ(View().LayoutCount(), layouts); // typing lays nothing out
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(View().LayoutCount(), layouts + 1);
    EXPECT_EQ(FormulaText(State().composer_y[0]), "((A1 & B2) | Cblur)");
    EXPECT_EQ(document.HistorySize(), 2u);
    EXPECT_EQ(field.text().toStdString(), "((A1 & B2) | Cblur)");
    EXPECT_TRUE(frame->ErrorLabel().isHidden());

    // A typing error: shown with its column, the field keeps the text, no step.
    field.setText("A1 & (B2 | Q9)");
    layouts = View().LayoutCount();
    EXPECT_FALSE(frame->ApplyFormula());
    EXPECT_FALSE(frame->ErrorLabel().isHidden());
    EXPECT_NE(frame->ErrorLabel().text().indexOf("Column 12"), -1)
        << frame->ErrorLabel().text().toStdString();
    EXPECT_EQ(field.cursorPosition(), 11);
    EXPECT_EQ(field.text().toStdString(), "A1 & (B2 | Q9)");
    EXPECT_EQ(document.HistorySize(), 2u);
    EXPECT_EQ(View().LayoutCount(), layouts);
    // Escape brings the row's formula back.
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(field.text().toStdString(), "((A1 & B2) | Cblur)");
}

TEST_F(ComposerWidgets, DeferredLayoutAndTextBeingTyped) {
    frame->SetLayoutDeferred(true);
    View().Select(Centre(Placed().y[4]).x(), Centre(Placed().y[4]).y());
    QSignalSpy edited(frame.get(), &ComposerFrame::DocumentEdited);
    QLineEdit& field = frame->FormulaField();
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, "A1 &");
    // Something else lays the composer out: the half-typed formula stays.
    frame->Layout();
    EXPECT_EQ(field.text().toStdString(), "A1 &");
    QTest::keyClicks(&field, " B2");
    int layouts = View().LayoutCount();
    QTest::keyClick(&field, Qt::Key_Return);
    // The edit is reported; the layout is left to the frame's one pass.
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(View().LayoutCount(), layouts);
    EXPECT_EQ(FormulaText(State().composer_y[4]), "(A1 & B2)");
    frame->Layout();
    EXPECT_EQ(View().LayoutCount(), layouts + 1);
    // After the edit the field follows the document again (undo shows the old row).
    document.Undo();
    frame->Layout();
    EXPECT_EQ(field.text().toStdString(), "1");
}

TEST_F(ComposerWidgets, RowWiderThanAnyPictureIsCutNotFatal) {
    // A tree from a file: 4096 leaves side by side, far wider than the
    // painter's range. The picture is cut; the boxes are whole.
    std::vector<ComposerItem> level(4096, ComposerItem(ComposerItem::InputA, 1));
    while (level.size() > 1) {
        std::vector<ComposerItem> next;
        for (size_t i = 0; i + 1 < level.size(); i += 2) {
            ComposerItem op(ComposerItem::Or);
            op.children = {level[i], level[i + 1]};
            next.push_back(std::move(op));
        }
        level = std::move(next);
    }
    Load([&](RenderState& s) { s.composer_z[0] = level[0]; });
    frame->Layout();
    EXPECT_EQ(View().Picture().width(), 32767);
    EXPECT_GT(View().Steps().width, 100000);
    const ComposerItem* last = &Placed().z[0];
    std::string path;
    while (!last->children.empty()) {
        last = &last->children[1];
        path += 'B';
    }
    EXPECT_EQ(SelectionAt(Placed(), last->box.left + 2, last->box.top + 2), "Z0" + path + "X");
}
