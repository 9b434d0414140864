#include "composer/Composer.h"

#include "model/DetectorTools.h"
#include "model/Document.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

ComposerItem Op(uint32_t kind, ComposerItem a, ComposerItem b) {
    ComposerItem item(kind);
    item.children = {std::move(a), std::move(b)};
    return item;
}

std::vector<uint8_t> Record(const ComposerItem& item) {
    std::vector<uint8_t> out;
    WriteItem(item, out);
    return out;
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

} // namespace

TEST(ComposeScript, NewProjectGivesTwentyFourOneLines) {
    RenderState state = RenderState::NewProject();
    std::string expected;
    for (int i = 1; i <= 24; ++i) {
        expected += 'Y';
        expected += std::to_string(i);
        expected += " = 1\n";
    }
    EXPECT_EQ(ComposeScript(state), expected);
}

TEST(ComposeScript, OperatorsZRowsAndCardRows) {
    RenderState state = RenderState::NewProject();
    state.composer_y[0] =
        Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 3),
           Op(ComposerItem::Or, ComposerItem(ComposerItem::InputB, 1), ComposerItem(ComposerItem::Zero)));
    state.composer_z[4] =
        Op(ComposerItem::Xor, ComposerItem(ComposerItem::Blur, 1), ComposerItem(ComposerItem::Blank, 0));
    state.composer_a[2] = ComposerItem(ComposerItem::Zero);
    state.composer_a[3] = ComposerItem(ComposerItem::InputH, 32);
    std::string script = ComposeScript(state);
    EXPECT_EQ(script.substr(0, script.find('\n') + 1), "Y1 = (A3 & (B1 | 0))\n");
    std::string tail = script.substr(script.find("Y24 = 1\n") + 8);
    EXPECT_EQ(tail, "Z5 = (Bblur ^ Ablank)\nCc = 0\nDc = H32\n");
}

TEST(ComposeScript, ItemTexts) {
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::InputC, 7)), "C7");
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::InputG, 12)), "G12");
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::Empty)), "");
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::LabelY, 3)), "");
    EXPECT_EQ(ItemScriptText(ComposerItem(42)), "");
    // A camera outside A..H has no letter: nothing is printed for it.
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::Blur, 8)), "");
    EXPECT_EQ(ItemScriptText(ComposerItem(ComposerItem::Blank, -1)), "");
}

TEST(ComposeScript, InputKindOfCard) {
    const uint32_t kinds[] = {2, 3, 9, 10, 14, 15, 16, 17};
    for (uint32_t c = 0; c < 8; ++c) {
        EXPECT_EQ(InputKindOfCard(c), kinds[c]);
        EXPECT_EQ(CardOfInputKind(kinds[c]), int32_t(c));
    }
    EXPECT_EQ(InputKindOfCard(8), 20u);
    EXPECT_EQ(CardOfInputKind(ComposerItem::Blur), -1);
}

TEST(ItemRecord, LeafRecordBytes) {
    std::vector<uint8_t> expected = {9, 0, 0, 0, 20, 0, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Record(ComposerItem(ComposerItem::InputA, 5)), expected);
    // Kinds without a stored number write 0 whatever the field holds.
    std::vector<uint8_t> one = Record(ComposerItem(ComposerItem::One, 77));
    EXPECT_EQ(one[12], 0);
}

TEST(ItemRecord, TreeRoundTrip) {
    ComposerItem tree =
        Op(ComposerItem::Or,
           Op(ComposerItem::And, ComposerItem(ComposerItem::InputD, 9), ComposerItem(ComposerItem::Blank, 7)),
           ComposerItem(ComposerItem::One));
    std::vector<uint8_t> bytes = Record(tree);
    EXPECT_EQ(bytes.size(), 20u * 5);
    ComposerItem back;
    size_t used = 0;
    bytes.push_back(0xAB); // a following byte is not part of the record
    ASSERT_TRUE(ReadItem(bytes.data(), bytes.size(), back, &used));
    EXPECT_EQ(used, 100u);
    EXPECT_TRUE(back.SameContent(tree));
}

TEST(ItemRecord, BrokenRecordsFail) {
    ComposerItem item;
    std::vector<uint8_t> good =
        Record(Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 1), ComposerItem(0u)));
    ASSERT_TRUE(ReadItem(good.data(), good.size(), item));

    auto fails = [&](std::vector<uint8_t> bytes) { return !ReadItem(bytes.data(), bytes.size(), item); };
    std::vector<uint8_t> b = good;
    Put32(b, 8, 20); // kind 20
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 16, 1); // child count 1: the second child is left over
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 16, 3);
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 0, 8); // wrong code
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 4, 7); // length below 8
    EXPECT_TRUE(fails(b));
    b = good;
    b.pop_back(); // record cut short
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 4, uint32_t(good.size() + 4)); // payload longer than the children
    b.insert(b.end(), 4, 0);
    EXPECT_TRUE(fails(b));
    b = good;
    Put32(b, 24, 30); // child length beyond its parent
    EXPECT_TRUE(fails(b));
    EXPECT_TRUE(fails(Record(ComposerItem(ComposerItem::Blur, 8))));
    EXPECT_FALSE(fails(Record(ComposerItem(ComposerItem::Blur, 7))));
    EXPECT_TRUE(fails({9, 0, 0, 0, 8, 0, 0, 0})); // no kind, number, count
}

TEST(ItemRecord, DeepNestingFailsInsteadOfOverflowing) {
    ComposerItem deep(ComposerItem::One);
    for (int i = 0; i < MaxItemDepth + 5; ++i)
        deep = Op(ComposerItem::And, std::move(deep), ComposerItem(ComposerItem::Zero));
    std::vector<uint8_t> bytes = Record(deep);
    ComposerItem back;
    EXPECT_FALSE(ReadItem(bytes.data(), bytes.size(), back));
}

TEST(ItemRecord, ChildCountMustMatchTheKind) {
    // Every kind with 0 and with 2 children: only operators take two, every
    // other kind none; the writer's output for a well-formed node reads back.
    for (uint32_t kind = 0; kind < 20; ++kind) {
        ComposerItem leaf(kind, kind == ComposerItem::Blur || kind == ComposerItem::Blank ? 1 : 0);
        ComposerItem withTwo = Op(kind, ComposerItem(ComposerItem::One), ComposerItem(ComposerItem::Zero));
        const bool op = kind == ComposerItem::And || kind == ComposerItem::Or ||
                        kind == ComposerItem::Assign || kind == ComposerItem::Xor;
        ComposerItem back;
        std::vector<uint8_t> bare = Record(leaf), two = Record(withTwo);
        EXPECT_EQ(ReadItem(bare.data(), bare.size(), back), !op) << "kind " << kind;
        EXPECT_EQ(ReadItem(two.data(), two.size(), back), op) << "kind " << kind;
        EXPECT_EQ(ItemChildCount(kind), op ? 2u : 0u);
    }
    // An And with no children nested under a sound Or fails the whole record.
    std::vector<uint8_t> nested =
        Record(Op(ComposerItem::Or, ComposerItem(ComposerItem::And), ComposerItem(0u)));
    ComposerItem back;
    EXPECT_FALSE(ReadItem(nested.data(), nested.size(), back));
}

TEST(Selection, ResolvesPaths) {
    RenderState state = RenderState::NewProject();
    state.composer_y[2] = Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 1),
                             Op(ComposerItem::Or, ComposerItem(ComposerItem::InputB, 2), ComposerItem(0u)));
    ComposerSelection sel = ResolveSelection(state, "Y2BAX");
    ASSERT_NE(sel.node, nullptr);
    EXPECT_EQ(sel.rowItem, &state.composer_y[2]);
    EXPECT_EQ(sel.node->kind, uint32_t(ComposerItem::InputB));
    EXPECT_EQ(sel.node->number, 2);

    for (const char* bad : {"", "Y", "Y2", "Y2BAAX", "Y2BXA", "Y2Q", "Yz X", "ZpX", "CiX", "Z/X"}) {
        EXPECT_EQ(ResolveSelection(state, bad).node, nullptr) << bad;
    }
    EXPECT_EQ(ResolveSelection(state, "CdX").node, &state.composer_a[3]); // card row D
    const std::string row12 = std::string("Z") + char('0' + 12) + "X";    // row 12 uses '<'
    EXPECT_EQ(ResolveSelection(state, row12).node, &state.composer_z[12]);
}

TEST(Selection, HitPathAndClicks) {
    ComposerItem tree =
        Op(ComposerItem::And, ComposerItem(ComposerItem::InputA, 3), ComposerItem(ComposerItem::InputB, 1));
    tree.box = {10, 10, 100, 30};
    tree.children[0].box = {20, 12, 40, 28};
    tree.children[1].box = {60, 12, 80, 28};
    ComposerRows placed;
    placed.y.resize(3);
    placed.a.resize(2);
    placed.y[0] = tree;
    placed.y[2].box = {10, 40, 30, 60};
    EXPECT_EQ(HitPath(tree, 20, 12), "AX");
    EXPECT_EQ(HitPath(tree, 79, 27), "BX");
    EXPECT_EQ(HitPath(tree, 80, 27), "X"); // right edge is outside the leaf
    EXPECT_EQ(HitPath(tree, 100, 20), "");
    EXPECT_EQ(SelectionAt(placed, 50, 20), "Y0X");
    EXPECT_EQ(SelectionAt(placed, 25, 20), "Y0AX");
    EXPECT_EQ(SelectionAt(placed, 15, 45), "Y2X");
    EXPECT_EQ(SelectionAt(placed, 5, 5), "");
    placed.a[1].box = {0, 100, 10, 110};
    EXPECT_EQ(SelectionAt(placed, 5, 105), "CbX");
}

ComposerOp Op(ComposerOpKind kind, unsigned card = 0) {
    return {kind, card, 0};
}
ComposerOp Input(unsigned card, unsigned number) {
    return {ComposerOpKind::Input, card, number};
}

class ComposerCommands : public ::testing::Test {
protected:
    void SetUp() override { document.New(); }
    void Edit(const std::string& selection) { document.SelectComposerItem(selection); }
    Document document;
};

TEST_F(ComposerCommands, OperatorsWrapOrOnlyChangeKind) {
    Edit("Y0X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::And)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(1 & 1)");
    Edit("Y0AX");
    ASSERT_TRUE(ApplyComposerOp(document, Input(2, 7)));
    Edit("Y0X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Or)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(C7 | 1)");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Xor)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(C7 ^ 1)");
    Edit("Y0BX");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Or)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(C7 ^ (1 | 0))");
    EXPECT_EQ(document.HistorySize(), 6u);
    // Undo walks back one command at a time.
    document.Undo();
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(C7 ^ 1)");
}

TEST_F(ComposerCommands, EmptyZRowBecomesConstantOperands) {
    Edit("Z3X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::And)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_z[3]), "(1 & 1)");
    Edit("Z4X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Or)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_z[4]), "(0 | 0)");
    Edit("Z3AX");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Empty)));
    EXPECT_EQ(document.Current().composer_z[3].children[0].kind, uint32_t(ComposerItem::Empty));
}

TEST_F(ComposerCommands, LeavesResetAndConditions) {
    Edit("Y1X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::And)));
    Edit("Y1AX");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Blur, 1)));
    Edit("Y1BX");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Blank, 7)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[1]), "(Bblur & Hblank)");
    Edit("Y1X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::Zero)));
    EXPECT_TRUE(document.Current().composer_y[1].children.empty());
    ASSERT_TRUE(ApplyComposerOp(document, Input(7, 32)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[1]), "H32");

    // Reset acts on the whole row, whatever node is selected.
    Edit("Z0X");
    ApplyComposerOp(document, Op(ComposerOpKind::Or));
    Edit("Z0AX");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::ResetRow)));
    EXPECT_EQ(document.Current().composer_z[0].kind, uint32_t(ComposerItem::Empty));
    EXPECT_TRUE(document.Current().composer_z[0].children.empty());
    Edit("CbX");
    ApplyComposerOp(document, Op(ComposerOpKind::Zero));
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::ResetRow)));
    EXPECT_EQ(document.Current().composer_a[1].kind, uint32_t(ComposerItem::One));
}

TEST_F(ComposerCommands, NothingHappensWithoutANode) {
    size_t before = document.HistorySize();
    Edit("");
    EXPECT_EQ(ApplyComposerOp(document, Op(ComposerOpKind::And)).refusal, EditRefusal::NoSuchItem);
    Edit("Y0AX"); // a leaf has no child
    EXPECT_EQ(ApplyComposerOp(document, Op(ComposerOpKind::And)).refusal, EditRefusal::NoSuchItem);
    EXPECT_EQ(document.HistorySize(), before);
    EXPECT_FALSE(document.Modified());
}

// An op naming a camera or input that does not exist is refused before it
// touches anything: no undo step, the state and the selection as they were.
TEST_F(ComposerCommands, OutOfRangeCardOrNumberChangesNothing) {
    Edit("Y0X");
    ASSERT_TRUE(ApplyComposerOp(document, Op(ComposerOpKind::And)));
    Edit("Y0AX");
    const size_t before = document.HistorySize();
    const std::string script = ComposeScript(document.Current());
    const struct {
        ComposerOp op;
        EditRefusal refusal;
    } bad[] = {
        {Input(kComposerCards, 1), EditRefusal::NoSuchCard},
        {Input(0, 0), EditRefusal::NotACommand},
        {Input(0, kComposerInputsPerCard + 1), EditRefusal::NotACommand},
        {Op(ComposerOpKind::Blur, kComposerCards), EditRefusal::NoSuchCard},
        {Op(ComposerOpKind::Blank, 1000), EditRefusal::NoSuchCard},
        {Op(static_cast<ComposerOpKind>(99)), EditRefusal::NotACommand},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(ApplyComposerOp(document, b.op).refusal, b.refusal) << int(b.op.kind) << " " << b.op.card;
        EXPECT_EQ(document.HistorySize(), before);
        EXPECT_EQ(ComposeScript(document.Current()), script);
        EXPECT_EQ(document.ComposerPath(), "Y0AX");
    }
    // The last camera and number are in range.
    ASSERT_TRUE(ApplyComposerOp(document, Input(kComposerCards - 1, kComposerInputsPerCard)));
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[0]), "(H32 & 1)");
}

// The double click puts the selected detector into the node the click
// names, and that node becomes the selection, in one step; every refusal
// leaves the history and the selection as they were.
TEST_F(ComposerCommands, PutSelectedDetector) {
    DrawingSettings settings;
    settings.card = 2;
    AddDetector(document, settings);
    AddDetector(document, settings); // C2, selected
    Edit("Z1X");
    size_t before = document.HistorySize();
    ASSERT_TRUE(PutSelectedDetector(document, "Y5X"));
    EXPECT_EQ(document.HistorySize(), before + 1);
    EXPECT_EQ(ItemScriptText(document.Current().composer_y[5]), "C2");
    EXPECT_EQ(document.ComposerPath(), "Y5X");

    RenderState kept = document.Current();
    auto unchanged = [&](EditRefusal expected, const std::string& path) {
        EXPECT_EQ(PutSelectedDetector(document, path).refusal, expected) << path;
        EXPECT_EQ(document.HistorySize(), before + 1) << path;
        EXPECT_TRUE(document.Current() == kept) << path;
        EXPECT_EQ(document.ComposerPath(), "Y5X") << path;
    };
    unchanged(EditRefusal::NoSuchItem, ""); // a click on nothing
    unchanged(EditRefusal::NoSuchItem, "Y5AX");
    unchanged(EditRefusal::NoSuchItem, "Y~X");
    document.SelectDetector(-1);
    kept = document.Current();
    unchanged(EditRefusal::NoSelection, "Y6X");
}
