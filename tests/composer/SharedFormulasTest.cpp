#include "composer/Composer.h"
#include "composer/Formula.h"
#include "model/DetectorEdits.h"
#include "model/Document.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace korvex;

namespace {

ComposerItem Parse(const char* text) {
    FormulaError error;
    std::optional<ComposerItem> item = ParseFormula(text, &error);
    if (!item)
        throw std::logic_error(text);
    return *item;
}

// Two rows with nested formulas and one detector, detector 0 selected.
void Load(Document& document) {
    RenderState s = RenderState::NewProject();
    s.composer_y[0] = Parse("((A1 & B2) | (C3 ^ D4)) & Ablur");
    s.composer_y[1] = Parse("(A5 | A6) & (B7 | 1)");
    s.detectors.emplace_back(1, 1, 0, 0, 1, s.CanvasWidth(), s.CanvasHeight());
    document.ReplaceWithLoaded(std::move(s), "");
    document.SelectDetector(0);
}

// Where every node below a row's root lives, rows Y1 and Y2 in order, each
// tree depth-first: a node the states share has the same address in both.
void Collect(const ComposerItem& item, std::vector<const ComposerItem*>& out) {
    for (const ComposerItem& child : item.children) {
        out.push_back(&child);
        Collect(child, out);
    }
}

std::vector<const ComposerItem*> Nodes(const RenderState& s, size_t row) {
    std::vector<const ComposerItem*> nodes;
    Collect(s.composer_y[row], nodes);
    return nodes;
}

size_t Changed(const std::vector<const ComposerItem*>& a, const std::vector<const ComposerItem*>& b) {
    size_t changed = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        changed += a[i] != b[i] ? 1 : 0;
    return changed + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

} // namespace

// A copied state shares its formulas; an edit makes new nodes only along
// the path to what it changes (the two children of each node on it), the
// rest of the row and every other row stay the very same nodes, and undo
// and redo give back the nodes of the state they return to.
TEST(SharedFormulas, AnEditCopiesOnlyThePathToWhatItChanges) {
    struct Case {
        const char* name;
        EditResult (*edit)(Document&);
        size_t changedY1, changedY2; // nodes below the roots that are new
    };
    const Case cases[] = {
        {"detector edit", [](Document& d) { return MoveCorner(d, 0, 3, 0); }, 0, 0},
        {"leaf two levels down",
         [](Document& d) {
             d.SelectComposerItem("Y0AABX");
             return ApplyComposerOp(d, {ComposerOpKind::Input, 4, 9});
         },
         6, 0},
        {"second row's operator",
         [](Document& d) {
             d.SelectComposerItem("Y1BX");
             return ApplyComposerOp(d, {ComposerOpKind::And});
         },
         0, 2},
        {"whole row",
         [](Document& d) {
             return SetRowExpression(d, {'Y', 1}, Parse("Hblank"));
         },
         0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Document document;
        Load(document);
        const RenderState saved = document.Current();
        const auto y1 = Nodes(document.Current(), 0), y2 = Nodes(document.Current(), 1);
        ASSERT_TRUE(c.edit(document));
        const auto y1After = Nodes(document.Current(), 0), y2After = Nodes(document.Current(), 1);
        EXPECT_EQ(Changed(y1, y1After), c.changedY1);
        EXPECT_EQ(Changed(y2, y2After), c.changedY2);

        ASSERT_TRUE(Undo(document));
        EXPECT_EQ(Nodes(document.Current(), 0), y1);
        EXPECT_EQ(Nodes(document.Current(), 1), y2);
        EXPECT_EQ(document.Current(), saved);
        ASSERT_TRUE(Redo(document));
        EXPECT_EQ(Nodes(document.Current(), 0), y1After);
    }
}

// Changing a copy's formula never reaches the state it came from; reading
// nodes (a look-up by path, a walk) never gives a copy nodes of its own.
TEST(SharedFormulas, OnlyAWriteUnshares) {
    Document document;
    Load(document);
    const RenderState& current = document.Current();
    RenderState copy = current;
    const auto before = Nodes(current, 0);
    const std::string text = FormulaText(current.composer_y[0]);
    ASSERT_NE(NodeAt(copy, "Y0AABX"), nullptr);
    EXPECT_EQ(ComposeScript(copy), ComposeScript(current));
    EXPECT_EQ(Nodes(copy, 0), before);

    ResolveSelection(copy, "Y0AABX").node->number = 30;
    EXPECT_EQ(Nodes(current, 0), before);
    EXPECT_EQ(FormulaText(current.composer_y[0]), text);
    EXPECT_EQ(NodeAt(current, "Y0AABX")->number, 2);
    EXPECT_EQ(NodeAt(copy, "Y0AABX")->number, 30);
    EXPECT_NE(FormulaText(copy.composer_y[0]), text);
}
