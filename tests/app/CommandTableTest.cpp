// The command table: no two commands of the window's menus, its context
// menus and the composer's menu share an id, and every action the frame
// makes is one of the table's; the demo device's commands in a frame that
// has none.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/session/DeviceSession.h"

#include <QAction>
#include <map>

namespace korvex::test {
namespace {

// The check itself: overlapping runs, a repeated single id and an empty run
// are refused; runs that only touch are not.
constexpr CommandIds kPlain[] = {{40001, 1}, {40002, 1}};
constexpr CommandIds kTouching[] = {{40003, 5}, {40008, 8}};
constexpr CommandIds kOldComposerRuns[] = {{40314, 8}, {40322, 8}};
constexpr CommandIds kConvertCommands[] = {{40320, 1}, {40321, 1}, {40322, 1}};
constexpr CommandIds kRepeated[] = {{40001, 1}};
constexpr CommandIds kEmpty[] = {{40500, 0}};
static_assert(CommandIdsUnique(kPlain, kTouching));
static_assert(!CommandIdsUnique(kConvertCommands, kOldComposerRuns));
static_assert(!CommandIdsUnique(kPlain, kRepeated));
static_assert(!CommandIdsUnique(kPlain, kEmpty));

// Whether `id` lies in one of the table's runs.
bool Listed(int id) {
    auto in = [id](const auto& runs) {
        for (const CommandIds& run : runs)
            if (id >= run.first && id < run.first + run.count)
                return true;
        return false;
    };
    return in(kWindowCommandIds) || in(kMenuCommandIds);
}

using CommandTableTest = FrameTest;

TEST_F(CommandTableTest, EveryActionOfTheFrameIsListedAndOwnsItsId) {
    std::map<int, QAction*> seen;
    for (QAction* action : frame->findChildren<QAction*>()) {
        bool isCommand = false;
        const int id = action->data().toInt(&isCommand);
        if (!isCommand || id == 0)
            continue;
        EXPECT_TRUE(Listed(id)) << id << " " << action->text().toStdString();
        auto [it, fresh] = seen.emplace(id, action);
        EXPECT_TRUE(fresh || it->second == action) << id << " is the id of two actions";
    }
    // The menus' commands, the languages' items and the context menu's.
    EXPECT_TRUE(seen.count(CmdCopyDetectorsToCamera));
    EXPECT_TRUE(seen.count(CmdLanguageAuto));
    EXPECT_TRUE(seen.count(CmdAddQuadHere));
    // The composer's blur and blank items are no longer any window command.
    for (int card = 0; card < kComposerCardCount; ++card) {
        EXPECT_FALSE(seen.count(int(CmdBlurFirst) + card));
        EXPECT_FALSE(seen.count(int(CmdBlankFirst) + card));
    }
}

// Each command's action is made from its row of the command table and shows
// the text that row names, a text the language files have.
TEST_F(CommandTableTest, EveryCommandShowsTheTextOfItsRow) {
    for (const CommandText& row : kCommandTexts) {
        QAction* action = frame->Action(row.command);
        ASSERT_NE(action, nullptr) << row.command;
        const QString text = Text(row.text);
        EXPECT_FALSE(text.isEmpty()) << row.command;
        // A text with a place for a value (the camera the demo knocks) is
        // shown filled in.
        if (const qsizetype hole = text.indexOf(QStringLiteral("%s")); hole >= 0) {
            EXPECT_TRUE(action->text().startsWith(text.left(hole))) << row.command;
            EXPECT_FALSE(action->text().contains(QStringLiteral("%s"))) << row.command;
        } else {
            EXPECT_EQ(action->text(), text) << row.command;
        }
    }
}

// A frame given no demo device offers none: the menu item is off, and the
// demo's commands, sent anyway, do nothing and show nothing.
TEST_F(CommandTableTest, WithoutADemoDeviceItsCommandsAreOffAndHarmless) {
    frame->UpdateMenuStates();
    EXPECT_FALSE(frame->Action(CmdDemoDevice)->isEnabled());
    EXPECT_FALSE(frame->Action(CmdDemoKnock)->isEnabled());
    frame->OnCommand(CmdDemoKnock);
    frame->OnCommand(CmdDemoStraighten);
    EXPECT_FALSE(frame->Devices().DemoRunning());
    // Asked to start, it says why it cannot.
    frame->OnCommand(CmdDemoDevice);
    EXPECT_FALSE(frame->Devices().DemoRunning());
    EXPECT_EQ(prompts.errors.size(), 1u);
}

} // namespace
} // namespace korvex::test
