// The composer picture's arithmetic with fixed text sizes: no screen needed.
#include "composer/ComposerLayout.h"

#include "composer/Composer.h"
#include "composer/Formula.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

// Every character of a main text is 8 x 13, of a note 5 x 9; signs 14 x 20.
struct FixedMeasure : TextMeasure {
    LayoutSize MainText(const std::string& text) const override { return {8 * int32_t(text.size()), 13}; }
    LayoutSize NoteText(const std::string& text) const override { return {5 * int32_t(text.size()), 9}; }
    LayoutSize Glyph(uint32_t) const override { return {14, 20}; }
};
constexpr int32_t CharW = 8, TextH = 13, SignW = 14, SignH = 20;
const ComposerTexts Texts{"(unused)", "blur", "blank"};

ComposerItem Formula(const char* text) {
    auto item = ParseFormula(text, nullptr);
    EXPECT_TRUE(item) << text;
    return item ? *item : ComposerItem();
}

ComposerBox Centre(const ComposerBox& b) {
    return {(b.left + b.right) / 2, (b.top + b.bottom) / 2, 0, 0};
}

std::vector<const ComposerPaint*> StepsOf(const ComposerPicture& p, ComposerPaint::Kind kind) {
    std::vector<const ComposerPaint*> out;
    for (const ComposerPaint& s : p.steps)
        if (s.kind == kind)
            out.push_back(&s);
    return out;
}

} // namespace

TEST(ComposerLayout, NewProjectRowsAndSizes) {
    RenderState state = RenderState::NewProject();
    FixedMeasure measure;
    ComposerPicture picture = LayoutComposer(state, Selection{}, measure, Texts);
    ASSERT_EQ(picture.rows, 24u + 64u + 4u);

    // The main texts, in row order: label, then the expression.
    std::vector<std::string> texts;
    for (const ComposerPaint* s : StepsOf(picture, ComposerPaint::MainText))
        texts.push_back(s->text);
    ASSERT_EQ(texts.size(), 2u * 92u);
    EXPECT_EQ(texts[0], "Y1");
    EXPECT_EQ(texts[1], "1");
    EXPECT_EQ(texts[46], "Y24");
    EXPECT_EQ(texts[48], "Z1");
    EXPECT_EQ(texts[49], "(unused)");
    EXPECT_EQ(texts[174], "Z64");
    EXPECT_EQ(texts[176], "Ac");
    EXPECT_EQ(texts[182], "Dc");
    EXPECT_EQ(texts[183], "1");
    // Every row has its assignment sign.
    auto glyphs = StepsOf(picture, ComposerPaint::Glyph);
    ASSERT_EQ(glyphs.size(), 92u);
    EXPECT_EQ(glyphs[0]->glyph, uint32_t(ComposerItem::Assign));

    // Row Y1: label box (16 + 8) x (13 + 8), sign, "1" box (8 + 8) x 21;
    // the row is 3 gaps and the outer padding wider than its parts.
    const int32_t leafH = TextH + 8, rowH = leafH + 8;
    const int32_t labelW = 2 * CharW + 8, oneW = CharW + 8;
    const ComposerRows& placed = picture.placed;
    const ComposerBox& y1 = placed.y[0].box;
    EXPECT_EQ(y1, (ComposerBox{4 + 4 + labelW + 4 + SignW + 4, 4 + 4, 4 + 4 + labelW + 4 + SignW + 4 + oneW,
                               4 + 4 + leafH}));
    // Rows stack 4 pixels apart; the first Z row starts after 24 Y rows.
    EXPECT_EQ(placed.y[1].box.top - y1.top, rowH + 4);
    EXPECT_EQ(placed.z[0].box.top, 4 + 24 * (rowH + 4) + 4);
    // The boxes go with the picture; the state's own items keep none.
    EXPECT_EQ(state.composer_y[0].box, ComposerBox{});
    EXPECT_TRUE(state == RenderState::NewProject());
    // The widest row is Z10..Z64 (three-letter label, the unused text): width + 8.
    const int32_t zRowW = (3 * CharW + 8) + SignW + (8 * CharW + 8) + 16;
    EXPECT_EQ(picture.width, zRowW + 8);
    EXPECT_EQ(picture.height, 4 + 92 * (rowH + 4));
    // The sign sits between the two sides, centred on the row's height.
    EXPECT_EQ(glyphs[0]->rect, (ComposerBox{4 + labelW + 8, 4 + (leafH - SignH) / 2 + 4,
                                            4 + labelW + 8 + SignW, 4 + (leafH - SignH) / 2 + 4 + SignH}));
}

TEST(ComposerLayout, ClicksSelectLeavesOperatorsOrNothing) {
    RenderState state = RenderState::NewProject();
    state.composer_y[0] = Formula("A3 & B1");
    FixedMeasure measure;
    ComposerPicture picture = LayoutComposer(state, Selection{}, measure, Texts);
    const ComposerRows& placed = picture.placed;

    // The "1" of row Y3.
    ComposerBox one = Centre(placed.y[2].box);
    EXPECT_EQ(SelectionAt(placed, one.left, one.top), "Y2X");
    // Inside (A3 ∩ B1) but on its sign, outside both leaves: the operator.
    const ComposerItem& op = placed.y[0];
    const ComposerBox& a3 = op.children[0].box;
    const ComposerBox& b1 = op.children[1].box;
    ASSERT_LT(a3.right, b1.left);
    EXPECT_EQ(SelectionAt(placed, (a3.right + b1.left) / 2, (op.box.top + op.box.bottom) / 2), "Y0X");
    EXPECT_EQ(SelectionAt(placed, Centre(b1).left, Centre(b1).top), "Y0BX");
    // The operator's padding belongs to the operator; its edges are exact.
    EXPECT_EQ(SelectionAt(placed, op.box.left, op.box.top), "Y0X");
    EXPECT_EQ(SelectionAt(placed, op.box.right, op.box.top), "");
    // The label and the assignment sign are not part of any expression.
    EXPECT_EQ(SelectionAt(placed, 10, op.box.top + 4), "");
    EXPECT_EQ(SelectionAt(placed, 1, 1), "");
    // Children sit inside their operator, vertically centred.
    EXPECT_EQ(a3.left, op.box.left + 4);
    EXPECT_EQ(a3.top - op.box.top, op.box.bottom - a3.bottom);
    // Nested boxes: the tree lays out as deep as it goes.
    state.composer_z[63] = Formula("(A1 | Bblur) ^ (C2 & (D3 | 0))");
    picture = LayoutComposer(state, Selection{}, measure, Texts);
    const ComposerItem& d3 = picture.placed.z[63].children[1].children[1].children[0];
    EXPECT_EQ(SelectionAt(picture.placed, Centre(d3.box).left, Centre(d3.box).top), "ZoBBAX");
}

TEST(ComposerLayout, SelectedFrameRedLeafAndNotes) {
    RenderState state = RenderState::NewProject();
    state.composer_y[0] = Formula("(A3 & B1) | Cblur");
    state.composer_z[4] = Formula("A3");
    state.detectors.emplace_back(1, 1, 0, 0, 3, 320, 240); // A3
    Selection chosen{0, "Y0AX"};
    FixedMeasure measure;
    ComposerPicture picture = LayoutComposer(state, chosen, measure, Texts);

    std::vector<const ComposerPaint*> selected, red;
    for (const ComposerPaint& s : picture.steps) {
        if (s.kind == ComposerPaint::Box && s.frame == ComposerPaint::SelectedFrame)
            selected.push_back(&s);
        if (s.kind == ComposerPaint::Box && s.red)
            red.push_back(&s);
    }
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0]->rect, picture.placed.y[0].children[0].box);
    // Both A3 leaves are the selected detector: red boxes, white text.
    ASSERT_EQ(red.size(), 2u);
    EXPECT_EQ(red[0]->rect, picture.placed.y[0].children[0].children[0].box);
    EXPECT_EQ(red[1]->rect, picture.placed.z[4].box);
    for (const ComposerPaint& s : picture.steps) {
        if (s.kind == ComposerPaint::MainText && s.text == "A3") {
            EXPECT_TRUE(s.red);
        }
    }

    // Cblur: the letter, then the note 6 pixels lower, and the box grows to hold it.
    const ComposerItem blur = picture.placed.y[0].children[1];
    EXPECT_EQ(blur.box.right - blur.box.left, CharW + 4 * 5 + 8);
    EXPECT_EQ(blur.box.bottom - blur.box.top, 9 + 6 + 8);
    auto notes = StepsOf(picture, ComposerPaint::NoteText);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]->text, "blur");
    EXPECT_EQ(notes[0]->rect.left, blur.box.left + CharW + 4);
    EXPECT_EQ(notes[0]->rect.top, blur.box.top + 10);

    // A selection of another row frames nothing in this one; a card-row
    // selection frames the card row's root.
    chosen.composer = "CbX";
    picture = LayoutComposer(state, chosen, measure, Texts);
    int framed = 0;
    for (const ComposerPaint& s : picture.steps) {
        if (s.frame == ComposerPaint::SelectedFrame) {
            EXPECT_EQ(s.rect, picture.placed.a[1].box);
            ++framed;
        }
    }
    EXPECT_EQ(framed, 1);
}

TEST(ComposerLayout, LeafTexts) {
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::InputH, 32), Texts), "H32");
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::LabelCard, 2), Texts), "Cc");
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::Blank, 7), Texts), "H");
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::Empty), Texts), "(unused)");
    // An operator without its two children has no text of its own.
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::And), Texts), "(unused)");
    EXPECT_EQ(LeafText(ComposerItem(ComposerItem::Blur, 9), Texts), "?");
}
