#include "app/common/UiText.h"
#include "model/ViewGeometry.h"
#include "app/widgets/SecondsEdit.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(ViewGeometry, CardsSitTwoPerRowAndTheViewFollowsTheCount) {
    RenderState s = RenderState::NewProject(); // 320 x 240, four cards
    ViewGeometry g(s, 2);
    EXPECT_EQ(g.CardArea(0), (Rect{1, 1, 641, 481}));
    EXPECT_EQ(g.CardArea(1), (Rect{657, 1, 1297, 481}));
    EXPECT_EQ(g.CardArea(3), (Rect{657, 497, 1297, 977}));
    EXPECT_EQ(g.ViewWidth(), 2 * 320 * 2 + 32);
    EXPECT_EQ(g.ViewHeight(), 2 * (240 * 2 + 16));
    EXPECT_EQ(g.CardAt(0, 0), -1);
    EXPECT_EQ(g.CardAt(1, 1), 0);
    EXPECT_EQ(g.CardAt(650, 100), -1); // the gap between the columns
    EXPECT_EQ(g.CardAt(700, 600), 3);

    s.backgrounds.resize(1);
    EXPECT_EQ(ViewGeometry(s, 1).ViewHeight(), 240 + 16); // one row
    s.backgrounds.resize(3);
    EXPECT_EQ(ViewGeometry(s, 1).ViewHeight(), 2 * (240 + 16)); // two rows
    s.backgrounds.clear();
    EXPECT_EQ(ViewGeometry(s, 1).CardAt(5, 5), -1);
}

TEST(ViewGeometry, NarrowPicturesMapIntoTheCanvasMargins) {
    RenderState s;
    s.width = 180;
    s.height = 144;
    s.EnsureBackgrounds(2);
    ViewGeometry g(s, 3);
    // Canvas x is 30 + (view x - left) / zoom, clamped to the picture.
    EXPECT_EQ(g.ToCanvas(0, 1, 1), (Point{30, 0}));
    EXPECT_EQ(g.ToCanvas(0, 1 + 3 * 10 + 2, 1 + 3 * 5), (Point{40, 5}));
    EXPECT_EQ(g.ToCanvas(0, -50, -50), (Point{30, 0}));
    EXPECT_EQ(g.ToCanvas(0, 5000, 5000), (Point{209, 143}));
    // The same rule puts a 192-wide picture at columns 24..215, where the
    // view shows it.
    s.width = 192;
    ViewGeometry wide(s, 1);
    EXPECT_EQ(wide.ToCanvas(0, 1, 1), (Point{24, 0}));
    EXPECT_EQ(wide.ToCanvas(0, 5000, 1), (Point{215, 0}));
}

TEST(SecondsEditParse, ReadsSecondsWithOneDecimal) {
    EXPECT_EQ(SecondsEdit::Parse("1,5"), 1500u);
    EXPECT_EQ(SecondsEdit::Parse("1.5"), 1500u);
    EXPECT_EQ(SecondsEdit::Parse(""), 0u);
    EXPECT_EQ(SecondsEdit::Parse("99.9"), 99900u);
    EXPECT_EQ(SecondsEdit::Parse("7"), 7000u);
    EXPECT_EQ(SecondsEdit::Parse(".5"), 500u);
    EXPECT_EQ(SecondsEdit::Parse("3."), 3000u);
    EXPECT_FALSE(SecondsEdit::Parse("12.34")); // two decimals
    EXPECT_FALSE(SecondsEdit::Parse("100"));   // three integer digits
    EXPECT_FALSE(SecondsEdit::Parse("1.2.3"));
    EXPECT_FALSE(SecondsEdit::Parse("1,,"));
    EXPECT_FALSE(SecondsEdit::Parse("-1"));
    EXPECT_FALSE(SecondsEdit::Parse("1 s"));
    EXPECT_FALSE(SecondsEdit::Parse("12345"));
}

TEST(FillText, FillsPlaceholdersInOrderWithoutPrintf) {
    EXPECT_EQ(FillText("%u pixels", {"42"}), "42 pixels");
    EXPECT_EQ(FillText("100%% of %s", {"A1"}), "100% of A1");
    EXPECT_EQ(FillText("%s %s %s", {"x"}), "x  "); // missing arguments give nothing
    EXPECT_EQ(FillText("%n%x", {"a"}), "%n%x");    // other conversions stay as text
}

} // namespace
} // namespace korvex
