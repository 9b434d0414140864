#include "app/editor/Inspector.h"

#include "AppTestSupport.h"
#include "app/common/Commands.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
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

TEST_F(InspectorTest, AFieldMakesOneUndoStepWhenCommitted) {
    struct Case {
        const char* what;
        int field;
        const char* typed;
        Qt::Key end; // Return commits, Escape restores, Tab leaves the field
        uint32_t Detector::*value;
        uint32_t expected;
        size_t steps;
        const char* shown;
    };
    const Case cases[] = {
        {"a number of two keys", Inspector::Number, "12", Qt::Key_Return, &Detector::number, 12, 1, "12"},
        {"a number left by Tab", Inspector::Number, "7", Qt::Key_Tab, &Detector::number, 7, 1, "7"},
        {"a number that does not read", Inspector::Number, "3x", Qt::Key_Return, &Detector::number, 4, 0,
         "4"},
        {"Escape restores the number", Inspector::Number, "15", Qt::Key_Escape, &Detector::number, 4, 0, "4"},
        {"delay with a comma", Inspector::Delay, "1,5", Qt::Key_Return, &Detector::delay, 1500, 1, "1.5"},
        {"Escape restores the delay", Inspector::Delay, "2.5", Qt::Key_Escape, &Detector::delay, 0, 0, "0.0"},
        {"extend of four keys", Inspector::Extend, "12.3", Qt::Key_Return, &Detector::extend, 12300, 1,
         "12.3"},
        {"the same delay again", Inspector::Delay, "0", Qt::Key_Return, &Detector::delay, 0, 0, "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case starts from the detector as the fixture made it.
        while (Doc().CurrentIndex() > 1)
            Doc().Undo();
        RunIdle();
        const int32_t before = Doc().CurrentIndex();
        Type(c.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(Doc().CurrentIndex(), before) << "a key on its way is not an undo step";
        QTest::keyClick(Edit(c.field), c.end);
        EXPECT_EQ(State().detectors[0].*c.value, c.expected);
        EXPECT_EQ(Doc().CurrentIndex(), before + int32_t(c.steps));
        RunIdle();
        EXPECT_EQ(Edit(c.field)->text(), QString::fromLatin1(c.shown));
    }
}

TEST_F(InspectorTest, SecondsFollowTheLocaleAndRefuseOtherText) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    Type(Inspector::Delay, QStringLiteral("1.5"));
    QTest::keyClick(Edit(Inspector::Delay), Qt::Key_Return);
    EXPECT_EQ(State().detectors[0].delay, 1500u);
    EXPECT_EQ(Edit(Inspector::Delay)->text(), QStringLiteral("1,5"));
    EXPECT_EQ(Edit(Inspector::Extend)->text(), QStringLiteral("0,0"));
    QLocale::setDefault(previous);

    Type(Inspector::Extend, QStringLiteral("12.3"));
    QTest::keyClick(Edit(Inspector::Extend), Qt::Key_4); // 12.34: refused
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(Edit(Inspector::Extend)->text(), QStringLiteral("12.3"));
    Type(Inspector::Delay, QStringLiteral("10"));
    QTest::keyClick(Edit(Inspector::Delay), Qt::Key_0); // 100: three integer digits
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_EQ(Edit(Inspector::Delay)->text(), QStringLiteral("10"));
    QTest::keyClick(Edit(Inspector::Delay), Qt::Key_Return);
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
    QTest::keyClick(Edit(Inspector::Angle), Qt::Key_Return);
    EXPECT_EQ(State().detectors[0].angle, 270u);
    size_t beforeWide = Doc().HistorySize();
    QTest::keyClick(Edit(Inspector::Angle), Qt::Key_0); // 2700: no such direction
    QTest::keyClick(Edit(Inspector::Angle), Qt::Key_Return);
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
