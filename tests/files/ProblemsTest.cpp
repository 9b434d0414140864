#include "composer/Composer.h"
#include "files/Problems.h"
#include "framework/StringTable.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvex;

namespace {

class Problems : public ::testing::Test {
protected:
    void SetUp() override {
        StringTable::Install({{214, "%s refers to missing detector %s"},
                              {215, "Detector %c%u: number out of range"},
                              {216, "Detector %c%u: duplicate"}});
        state = RenderState::NewProject();
    }
    void TearDown() override { StringTable::Install(StringTable::English()); }
    void Add(uint32_t card, uint32_t number) {
        Detector d(1, 1, 0, card, number, 320, 240);
        state.detectors.push_back(d);
    }
    RenderState state;
};

ComposerItem Op(uint32_t kind, ComposerItem a, ComposerItem b) {
    ComposerItem item(kind);
    item.children = {std::move(a), std::move(b)};
    return item;
}

} // namespace

TEST_F(Problems, RangeAndDuplicates) {
    Add(0, 33);
    Add(1, 0);
    Add(0, 1);
    Add(0, 1);
    Add(1, 1);
    Add(2, 4);
    Add(2, 4);
    Add(2, 4);
    EXPECT_EQ(ProblemLines(state), (std::vector<std::string>{
                                       "Detector A1: duplicate",
                                       "Detector A33: number out of range",
                                       "Detector B0: number out of range",
                                       "Detector C4: duplicate",
                                       "Detector C4: duplicate",
                                       "Detector C4: duplicate",
                                   }));
}

TEST_F(Problems, FirstMissingReferencePerRow) {
    Add(0, 33);
    state.composer_y[1] = Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 5),
                             ComposerItem(ComposerItem::InputC, 7));
    // The parent is checked before its children; an existing detector is
    // fine even when its number is out of range.
    state.composer_z[9] = Op(ComposerItem::Or, ComposerItem(ComposerItem::InputA, 33),
                             Op(ComposerItem::Xor, ComposerItem(ComposerItem::InputH, 2), ComposerItem(ComposerItem::InputB, 1)));
    state.composer_a[2] = ComposerItem(ComposerItem::InputD, 1);
    state.composer_a[3] = ComposerItem(ComposerItem::Blur, 3);
    EXPECT_EQ(ProblemLines(state), (std::vector<std::string>{
                                       "Cc refers to missing detector D1",
                                       "Detector A33: number out of range",
                                       "Y2 refers to missing detector A5",
                                       "Z10 refers to missing detector H2",
                                   }));
    Add(0, 5);
    Add(7, 2);
    Add(3, 1);
    state.detectors.erase(state.detectors.begin());
    EXPECT_EQ(ProblemLines(state), (std::vector<std::string>{
                                       "Y2 refers to missing detector C7",
                                       "Z10 refers to missing detector A33",
                                   }));
}

TEST_F(Problems, ListedAlphabetically) {
    Add(0, 10);
    Add(0, 10);
    Add(0, 1);
    Add(0, 1);
    Add(1, 0);
    state.composer_y[9] = ComposerItem(ComposerItem::InputB, 1);
    state.composer_y[1] = ComposerItem(ComposerItem::InputA, 2);
    state.composer_y[0] = ComposerItem(ComposerItem::InputB, 2);
    // A1 before A10 (":" comes before "0"), Y1 before Y10 before Y2.
    EXPECT_EQ(ProblemLines(state), (std::vector<std::string>{
                                       "Detector A1: duplicate",
                                       "Detector A10: duplicate",
                                       "Detector B0: number out of range",
                                       "Y1 refers to missing detector B2",
                                       "Y10 refers to missing detector B1",
                                       "Y2 refers to missing detector A2",
                                   }));
}

TEST_F(Problems, CleanProjectHasNone) {
    Add(0, 1);
    Add(1, 1);
    state.composer_y[0] = Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 1), ComposerItem(ComposerItem::InputB, 1));
    EXPECT_TRUE(ProblemLines(state).empty());
}

TEST(FormatText, TypedPlaceholders) {
    EXPECT_EQ(FormatText("%s -> %s", {"Y1", "A5"}), "Y1 -> A5");
    EXPECT_EQ(FormatText("%c%u is 100%%", {"B", "3"}), "B3 is 100%");
    EXPECT_EQ(FormatText("%-5s|%n|%s", {"x"}), "x|%n|");
    EXPECT_EQ(FormatText("%s", {}), "");
    EXPECT_EQ(FormatText("trailing %", {"x"}), "trailing %");
}

TEST_F(Problems, DuplicateLinesPerPairStayWithinWhatAFullStateGives) {
    // Three of A1 give the pairs 1-2, 1-3, 2-3; a state of 300 equal
    // detectors (more than a file may hold) gives no more lines than a
    // full one of 256.
    Add(0, 1);
    Add(2, 9);
    Add(0, 1);
    Add(0, 1);
    std::vector<std::string> lines = ProblemLines(state);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Detector A1: duplicate"), 3);
    EXPECT_EQ(lines.size(), 3u);
    state.detectors.assign(300, state.detectors[0]);
    lines = ProblemLines(state);
    EXPECT_EQ(lines.size(), 256u * 255u / 2u);
}
