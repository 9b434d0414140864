#include "app/editor/Inspector.h"

#include "AppTestSupport.h"
#include "app/common/Commands.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace korvex::test {
namespace {

const std::array<Point, 4> kSquare{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};

class InspectorTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        AddQuad(1, kSquare, 4);
        Click(At(1, 120, 120));
        RunIdle();
    }
    Inspector& Pane() { return frame->GetInspector(); }
    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(Pane().Control(id)); }
    QCheckBox* Check(int id) { return qobject_cast<QCheckBox*>(Pane().Control(id)); }
    QLabel* Label(int id) { return qobject_cast<QLabel*>(Pane().Control(id)); }
    // Replaces the field's text as a user would: select all, then type.
    void Type(int id, const QString& text) {
        QLineEdit* e = Edit(id);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
};

TEST_F(InspectorTest, ShowsTheSelectedDetectorWithoutMakingUndoStates) {
    EXPECT_EQ(Label(Inspector::CardLetter)->text(), QStringLiteral("B"));
    EXPECT_EQ(Edit(Inspector::Number)->text(), QStringLiteral("4"));
    EXPECT_TRUE(Check(Inspector::Plain)->isChecked());
    EXPECT_TRUE(Edit(Inspector::Delay)->isEnabled());
    EXPECT_FALSE(Edit(Inspector::Angle)->isEnabled());
    EXPECT_EQ(Edit(Inspector::Delay)->text(), QStringLiteral("0.0"));
    size_t states = Doc().HistorySize();
    // Showing other detectors and coming back writes texts but edits nothing.
    AddQuad(1, {{{200, 10}, {240, 10}, {240, 50}, {200, 50}}}, 9);
    states = Doc().HistorySize();
    Click(At(1, 220, 30));
    RunIdle();
    EXPECT_EQ(Edit(Inspector::Number)->text(), QStringLiteral("9"));
    Click(At(1, 120, 120));
    RunIdle();
    Click(At(1, 300, 200)); // nothing selected
    RunIdle();
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_FALSE(Edit(Inspector::Number)->isEnabled());
    EXPECT_TRUE(Edit(Inspector::Number)->text().isEmpty());
    EXPECT_TRUE(Edit(Inspector::Delay)->text().isEmpty());
    EXPECT_FALSE(Check(Inspector::Plain)->isChecked());
}

TEST_F(InspectorTest, TypingANumberMakesOneStatePerChangedValue) {
    size_t states = Doc().HistorySize();
    QLineEdit* e = Edit(Inspector::Number);
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace); // empty: not a number, nothing
    EXPECT_EQ(Doc().HistorySize(), states);
    QTest::keyClick(e, Qt::Key_1); // 1
    QTest::keyClick(e, Qt::Key_2); // 12
    QTest::keyClick(e, Qt::Key_X); // "12x" does not read: nothing
    EXPECT_EQ(Doc().HistorySize(), states + 2);
    EXPECT_EQ(State().detectors[0].number, 12u);
    RunIdle();
    EXPECT_EQ(Doc().HistorySize(), states + 2); // the refresh writes nothing back
}

TEST_F(InspectorTest, DelayFieldTakesSecondsAndRefusesOtherText) {
    size_t states = Doc().HistorySize();
    Type(Inspector::Delay, QStringLiteral("1,5"));
    EXPECT_EQ(State().detectors[0].delay, 1500u);
    EXPECT_EQ(prompts.beeps, 0);
    RunIdle();
    EXPECT_EQ(Edit(Inspector::Delay)->text(), QStringLiteral("1,5")); // the user's text stays
    size_t afterDelay = Doc().HistorySize();
    EXPECT_GT(afterDelay, states);

    Type(Inspector::Extend, QStringLiteral("12.3"));
    EXPECT_EQ(State().detectors[0].extend, 12300u);
    QTest::keyClick(Edit(Inspector::Extend), Qt::Key_4); // 12.34: refused
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(Edit(Inspector::Extend)->text(), QStringLiteral("12.3"));
    EXPECT_EQ(State().detectors[0].extend, 12300u);

    Type(Inspector::Delay, QStringLiteral("10"));
    QTest::keyClick(Edit(Inspector::Delay), Qt::Key_0); // 100: three integer digits
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_EQ(Edit(Inspector::Delay)->text(), QStringLiteral("10"));
    EXPECT_EQ(State().detectors[0].delay, 10000u);
}

TEST_F(InspectorTest, KindBoxesSwitchTheKindAndItsFields) {
    size_t states = Doc().HistorySize();
    Check(Inspector::Directional)->click();
    EXPECT_EQ(Doc().HistorySize(), states + 1);
    EXPECT_TRUE(State().detectors[0].directional);
    RunIdle();
    EXPECT_TRUE(Edit(Inspector::Angle)->isEnabled());
    EXPECT_FALSE(Edit(Inspector::Delay)->isEnabled());
    EXPECT_TRUE(frame->Action(CmdModeAim)->isEnabled());
    EXPECT_FALSE(Check(Inspector::Plain)->isChecked());
    Type(Inspector::Angle, QStringLiteral("270"));
    EXPECT_EQ(State().detectors[0].angle, 270u);
    size_t beforeWide = Doc().HistorySize();
    QTest::keyClick(Edit(Inspector::Angle), Qt::Key_0); // 2700: no such direction
    EXPECT_EQ(State().detectors[0].angle, 270u);
    EXPECT_EQ(Doc().HistorySize(), beforeWide);

    Check(Inspector::Contrast)->click();
    EXPECT_TRUE(State().detectors[0].contrast);
    EXPECT_FALSE(State().detectors[0].directional);
    size_t now = Doc().HistorySize();
    Check(Inspector::Contrast)->click(); // already contrast
    EXPECT_EQ(Doc().HistorySize(), now);
    EXPECT_TRUE(Check(Inspector::Contrast)->isChecked());
    Check(Inspector::Plain)->click();
    EXPECT_FALSE(State().detectors[0].contrast);
    RunIdle();
    EXPECT_TRUE(Edit(Inspector::Delay)->isEnabled());
}

TEST_F(InspectorTest, AreaShowsThePaintedPixelCount) {
    View().repaint();
    QString text = Label(Inspector::Area)->text();
    ASSERT_FALSE(text.isEmpty());
    // A 40 x 40 outline of pen width 1 covers 160 pixels.
    EXPECT_TRUE(text.startsWith(QStringLiteral("160"))) << text.toStdString();
    Click(At(1, 300, 200));
    RunIdle();
    EXPECT_TRUE(Label(Inspector::Area)->text().isEmpty());
}

} // namespace
} // namespace korvex::test
