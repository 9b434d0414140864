#include "app/editor/CornerFields.h"

#include "AppTestSupport.h"

#include <QLineEdit>
#include <QTest>

namespace korvex::test {
namespace {

// The corner fields on their own, applying through the core edit to a
// 180 x 144 project with one quadrilateral and one line.
class CornerFieldsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        document.New();
        RenderState s;
        s.width = 180;
        s.height = 144;
        s.EnsureBackgrounds(4);
        Detector quad(1, 1, 0, 0, 1, 240, 144);
        quad.points = {{{40, 10}, {80, 10}, {80, 50}, {40, 50}}};
        Detector line(1, 1, 1, 0, 2, 240, 144);
        line.points = {{{30, 0}, {209, 143}, {0, 0}, {0, 0}}};
        s.detectors = {quad, line};
        document.NewRenderState(s, Selection{0, ""});
        fields = std::make_unique<CornerFields>([this](int32_t corner, Point p) {
            ++applied;
            return SetCornerAt(document, corner, p);
        });
        fields->show();
        fields->Show(document.Current(), 0);
    }
    void Type(int corner, int axis, const QString& text) {
        QLineEdit* e = fields->Field(corner, axis);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    Document document;
    std::unique_ptr<CornerFields> fields;
    int applied = 0;
};

TEST_F(CornerFieldsTest, ShowsPictureCoordinatesAndHidesUnusedRows) {
    EXPECT_EQ(fields->Field(0, 0)->text(), QStringLiteral("10")) << "canvas column 40 is picture column 10";
    EXPECT_EQ(fields->Field(2, 1)->text(), QStringLiteral("50"));
    EXPECT_TRUE(fields->Field(3, 0)->isVisible());

    fields->Show(document.Current(), 1);
    EXPECT_EQ(fields->Field(0, 0)->text(), QStringLiteral("0"));
    EXPECT_EQ(fields->Field(1, 0)->text(), QStringLiteral("179"));
    EXPECT_EQ(fields->Field(1, 1)->text(), QStringLiteral("143"));
    EXPECT_FALSE(fields->Field(2, 0)->isVisible()) << "a line has two corners";

    fields->Show(document.Current(), -1);
    EXPECT_FALSE(fields->isEnabled());
    EXPECT_TRUE(fields->Field(0, 0)->text().isEmpty());
    EXPECT_EQ(applied, 0) << "showing applies nothing";
}

TEST_F(CornerFieldsTest, TypedValueMakesOneEditAndRefusalsAreMarked) {
    size_t states = document.HistorySize();
    Type(1, 0, QStringLiteral("179"));
    EXPECT_EQ(document.HistorySize(), states + 1);
    EXPECT_EQ(document.Current().detectors[0].points[1], (Point{209, 10}));
    fields->Show(document.Current(), 0);
    EXPECT_FALSE(fields->Marked(1, 0));

    Type(1, 0, QStringLiteral("180"));
    EXPECT_EQ(document.HistorySize(), states + 1) << "column 180 is outside a 180-wide picture";
    EXPECT_TRUE(fields->Marked(1, 0));
    EXPECT_FALSE(fields->Marked(1, 1));
    EXPECT_FALSE(fields->Field(1, 0)->toolTip().isEmpty());
    // A refresh of the unchanged corner keeps the refused text and its mark.
    fields->Show(document.Current(), 0);
    EXPECT_TRUE(fields->Marked(1, 0));
    EXPECT_EQ(fields->Field(1, 0)->text(), QStringLiteral("180"));

    Type(1, 1, QStringLiteral("-1"));
    EXPECT_TRUE(fields->Marked(1, 1));
    Type(2, 1, QStringLiteral("abc"));
    EXPECT_TRUE(fields->Marked(2, 1));
    EXPECT_EQ(document.HistorySize(), states + 1);

    // Typing again clears the mark; a valid value goes through.
    QTest::keyClick(fields->Field(2, 1), Qt::Key_Backspace);
    EXPECT_FALSE(fields->Marked(2, 1));
    Type(2, 1, QStringLiteral("143"));
    EXPECT_EQ(document.HistorySize(), states + 2);
    EXPECT_EQ(document.Current().detectors[0].points[2], (Point{80, 143}));

    // Another detector shown: the marks go with the old values.
    fields->Show(document.Current(), 1);
    EXPECT_FALSE(fields->Marked(1, 0));
    EXPECT_EQ(fields->Field(1, 0)->text(), QStringLiteral("179"));
}

} // namespace
} // namespace korvex::test
