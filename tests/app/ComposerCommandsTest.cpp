// The composer menu's items and the editing operations of the core: every
// item names one operation of its own that the core accepts, and no other
// id names any.
#include "app/composer/ComposerCommands.h"

#include "app/common/Commands.h"
#include "model/Document.h"

#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace korvex {
namespace {

bool IsLanguageItem(int id) {
    return id >= CmdLanguageFirst && id <= CmdLanguageLast;
}

bool IsComposerItem(int id) {
    for (const CommandIds& run : kMenuCommandIds)
        if (!IsLanguageItem(run.first) && id >= run.first && id < run.first + run.count)
            return true;
    return false;
}

TEST(ComposerCommandsTest, EveryMenuItemNamesAnOpOfItsOwnThatApplies) {
    std::set<std::tuple<int, unsigned, unsigned>> ops;
    size_t items = 0;
    for (const CommandIds& run : kMenuCommandIds) {
        for (int id = run.first; id < run.first + run.count; ++id) {
            const std::optional<ComposerOp> op = ComposerOpOfCommand(unsigned(id));
            if (IsLanguageItem(id)) {
                EXPECT_FALSE(op) << id;
                continue;
            }
            ASSERT_TRUE(op) << id;
            ++items;
            ops.emplace(int(op->kind), op->card, op->number);
            Document document;
            document.New();
            document.SelectComposerItem("Y0X");
            EXPECT_TRUE(ApplyComposerOp(document, *op)) << id;
        }
    }
    EXPECT_EQ(ops.size(), items); // no two items the same op
    // Seven single items, an input a card and number, a blur and a blank a card.
    EXPECT_EQ(items, 7u + kComposerCards * kComposerInputsPerCard + 2u * kComposerCards);
}

TEST(ComposerCommandsTest, ItemsCarryTheirCardAndNumber) {
    for (unsigned card = 0; card < kComposerCards; ++card) {
        for (unsigned number : {1u, 17u, kComposerInputsPerCard}) {
            auto op = ComposerOpOfCommand(CmdInputFirst + kComposerInputsPerCard * card + number - 1);
            ASSERT_TRUE(op);
            EXPECT_EQ(op->kind, ComposerOpKind::Input);
            EXPECT_EQ(op->card, card);
            EXPECT_EQ(op->number, number);
        }
        auto blur = ComposerOpOfCommand(CmdBlurFirst + card);
        auto blank = ComposerOpOfCommand(CmdBlankFirst + card);
        ASSERT_TRUE(blur && blank);
        EXPECT_EQ(blur->kind, ComposerOpKind::Blur);
        EXPECT_EQ(blur->card, card);
        EXPECT_EQ(blank->kind, ComposerOpKind::Blank);
        EXPECT_EQ(blank->card, card);
    }
    EXPECT_EQ(ComposerOpOfCommand(CmdResetRow)->kind, ComposerOpKind::ResetRow);
    EXPECT_EQ(ComposerOpOfCommand(CmdEmpty)->kind, ComposerOpKind::Empty);
}

TEST(ComposerCommandsTest, OtherIdsNameNothing) {
    for (const CommandIds& run : kWindowCommandIds)
        EXPECT_FALSE(ComposerOpOfCommand(unsigned(run.first))) << run.first;
    // Everything around the composer's runs, the ids just past each included.
    for (unsigned id = 39990; id < 40600; ++id) {
        if (!IsComposerItem(int(id))) {
            EXPECT_FALSE(ComposerOpOfCommand(id)) << id;
        }
    }
    EXPECT_FALSE(ComposerOpOfCommand(0));
    EXPECT_FALSE(ComposerOpOfCommand(~0u));
}

} // namespace
} // namespace korvex
