#pragma once

#include "framework/TextIds.h"

#include <cstddef>
#include <cstdint>

namespace korvex {

// Every command of the window's menus, accelerators, toolbar and context
// menus, one row each: its name and id. The enum and the command table below
// are both made from this list, so a command cannot be named without being in
// the table. The numbers are kept because dispatch, states and tests rely on
// them; the composer's own operations are listed with the formulas.
// clang-format off
#define KORVEX_WINDOW_COMMANDS(X) \
    X(CmdExit, 40001)                                                                 \
    X(CmdZoomIn, 40002)                                                               \
    X(CmdZoomOut, 40003)                                                              \
    X(CmdPenWidth1, 40004)                                                            \
    X(CmdPenWidth2, 40005)                                                            \
    X(CmdPenWidth3, 40006)                                                            \
    X(CmdPenWidth4, 40007)                                                            \
    X(CmdFill20, 40008)                                                               \
    X(CmdDivisions1, 40009)                                                           \
    X(CmdDivisions2, 40010)                                                           \
    X(CmdDivisions3, 40011)                                                           \
    X(CmdDivisions4, 40012)                                                           \
    X(CmdDivisions5, 40013)                                                           \
    X(CmdDivisions6, 40014)                                                           \
    X(CmdModeErase, 40015)                                                            \
    X(CmdModeReshape, 40016)                                                          \
    X(CmdAddQuad, 40017)                                                              \
    X(CmdLoadBackground, 40018)                                                       \
    X(CmdDelete, 40019)                                                               \
    X(CmdUpload, 40020)                                                               \
    X(CmdSaveAs, 40021)                                                               \
    X(CmdAddLine, 40022)                                                              \
    X(CmdAddQuadHere, 40023)                                                          \
    X(CmdAddLineHere, 40024)                                                          \
    X(CmdToggleInspector, 40025)                                                      \
    X(CmdToggleComposer, 40026)                                                       \
    X(CmdLiveBackgrounds, 40288)                                                      \
    X(CmdToggleExplorer, 40289)                                                       \
    X(CmdRecordings, 40290)                                                           \
    X(CmdNoPattern, 40292)                                                            \
    X(CmdToggleTuning, 40293)                                                         \
    X(CmdModeAim, 40294)                                                              \
    X(CmdConnect, 40295)                                                              \
    X(CmdDisconnect, 40296)                                                           \
    X(CmdRestart, 40297)                                                              \
    X(CmdExport, 40298)                                                               \
    X(CmdViewOptionA, 40301)                                                          \
    X(CmdChangePassword, 40302)                                                       \
    X(CmdNetworkSettings, 40303)                                                      \
    X(CmdOptionMask, 40304)                                                           \
    X(CmdHelp, 40305)                                                                 \
    X(CmdAbout, 40306)                                                                \
    X(CmdDownloadProgram, 40307)                                                      \
    X(CmdModeMove, 40308)                                                             \
    X(CmdConfigTest, 40309)                                                           \
    X(CmdFill100, 40310)                                                              \
    X(CmdViewOptionB, 40311)                                                          \
    X(CmdModeMoveCard, 40312)                                                         \
    X(CmdRestoreProgram, 40313) /* upload the newest kept program back */             \
    X(CmdConvertTo320, 40320)                                                         \
    X(CmdConvertTo180, 40321)                                                         \
    X(CmdCopyDetectorsToCamera, 40322)                                                \
    X(CmdLanguageAuto, 40330)                                                         \
    X(CmdLanguageFirst, 40331)                                                        \
    /* Help menu: start or stop the simulated device inside the program. */           \
    X(CmdDemoDevice, 40400)                                                           \
    /* Help menu, demo device: move camera 2's picture, and put it back. */           \
    X(CmdDemoKnock, 40401)                                                            \
    X(CmdDemoStraighten, 40402)                                                       \
    /* File menu: the commissioning report and comparing with another program. */     \
    X(CmdExportReport, 40420)                                                         \
    X(CmdCompareWith, 40421)                                                          \
    /* Live page: the project's detectors over the live pictures; detectors */        \
    /* follow a camera that has moved. */                                             \
    X(CmdLiveDetectors, 40410)                                                        \
    X(CmdFollowCamera, 40411)                                                         \
    X(CmdNew, 57600)                                                                  \
    X(CmdOpen, 57601)                                                                 \
    X(CmdSave, 57603)                                                                 \
    X(CmdCopy, 57634)                                                                 \
    X(CmdPaste, 57637)                                                                \
    X(CmdUndo, 57643)                                                                 \
    X(CmdRedo, 57644)
// clang-format on

enum Command : int {
#define KORVEX_COMMAND_ENUMERATOR(name, id) name = id,
    KORVEX_WINDOW_COMMANDS(KORVEX_COMMAND_ENUMERATOR)
#undef KORVEX_COMMAND_ENUMERATOR
    // The language menu: one item a language, from CmdLanguageFirst on.
    CmdLanguageLast = CmdLanguageFirst + 30,
};

// A run of consecutive command ids.
struct CommandIds {
    int first;
    int count;
};

// The window's commands of the list above, one id each.
inline constexpr CommandIds kWindowCommandIds[] = {
#define KORVEX_COMMAND_ROW(name, id) {name, 1},
    KORVEX_WINDOW_COMMANDS(KORVEX_COMMAND_ROW)
#undef KORVEX_COMMAND_ROW
};

// The composer's menu has one blur and one blank item a card, and one input
// item for each of a card's detector numbers.
inline constexpr int kComposerCardCount = 8;
inline constexpr int kComposerMenuInputsPerCard = 32;

// The items of the composer window's menu, in a range of their own beside
// the window's commands (kMenuCommandIds lists them, so no two share an id).
// ComposerOpOfCommand (app/composer) turns one into the operation it names.
// They are not stored in any file.
enum ComposerCommand : unsigned {
    CmdOr = 40027,
    CmdAnd = 40028,
    CmdZero = 40029,
    CmdOne = 40030,
    CmdInputFirst = 40031, // + kComposerMenuInputsPerCard * card + (number - 1)
    CmdInputLast = CmdInputFirst + kComposerMenuInputsPerCard * kComposerCardCount - 1,
    CmdEmpty = 40287,
    CmdXor = 40299,
    CmdResetRow = 40300,
    CmdBlurFirst = 40500,  // + card
    CmdBlankFirst = 40508, // + card
};

// The other menus' ids: the rest of the language menu, and the composer
// window's menu.
inline constexpr CommandIds kMenuCommandIds[] = {
    {CmdLanguageFirst + 1, CmdLanguageLast - CmdLanguageFirst},
    {CmdOr, 1},
    {CmdAnd, 1},
    {CmdXor, 1},
    {CmdZero, 1},
    {CmdOne, 1},
    {CmdEmpty, 1},
    {CmdResetRow, 1},
    {CmdInputFirst, CmdInputLast - CmdInputFirst + 1},
    {CmdBlurFirst, kComposerCardCount},
    {CmdBlankFirst, kComposerCardCount},
};

// Whether no two runs of the tables share an id (and none is empty).
template <size_t N, size_t M>
constexpr bool CommandIdsUnique(const CommandIds (&one)[N], const CommandIds (&other)[M]) {
    auto at = [&](size_t i) -> const CommandIds& { return i < N ? one[i] : other[i - N]; };
    for (size_t i = 0; i < N + M; ++i) {
        if (at(i).count < 1)
            return false;
        for (size_t j = i + 1; j < N + M; ++j)
            if (at(i).first < at(j).first + at(j).count && at(j).first < at(i).first + at(i).count)
                return false;
    }
    return true;
}

static_assert(CommandIdsUnique(kWindowCommandIds, kMenuCommandIds),
              "two commands share an id: give one of them a free number");

// Editing modes of the main view, in command order of the mode table.
enum EditMode : int32_t { ModeReshape = 0, ModeErase = 1, ModeMove = 2, ModeAim = 3, ModeMoveCard = 4 };

// One toolbar entry: a command with its picture index, or a separator
// (command 0).
struct ToolbarEntry {
    int command;
    int image;
};

// The 32 toolbar entries, left to right. The entries that are not
// separators have the toolbar texts as tooltips, in order from
// text::toolbar_new_project (see TooltipId).
// clang-format off
inline constexpr ToolbarEntry kToolbar[32] = {
    {CmdNew, 0},
    {CmdOpen, 1},
    {CmdSave, 2},
    {0, -1},
    {CmdUndo, 3},
    {CmdRedo, 4},
    {0, -1},
    {CmdPenWidth1, 5},
    {CmdPenWidth2, 6},
    {CmdPenWidth3, 7},
    {CmdPenWidth4, 8},
    {0, -1},
    {CmdNoPattern, 15},
    {CmdDivisions1, 16},
    {CmdDivisions2, 17},
    {CmdDivisions3, 18},
    {CmdDivisions4, 19},
    {CmdDivisions5, 20},
    {CmdDivisions6, 21},
    {CmdFill20, 22},
    {CmdFill100, 25},
    {0, -1},
    {CmdDelete, 9},
    {0, -1},
    {CmdZoomIn, 10},
    {CmdZoomOut, 11},
    {0, -1},
    {CmdModeReshape, 12},
    {CmdModeErase, 13},
    {CmdModeMove, 24},
    {CmdModeAim, 23},
    {CmdModeMoveCard, 26},
};
// clang-format on

// Number of toolbar pictures (the highest index used plus one).
inline constexpr int kToolbarImageCount = 27;

// Tooltip text of the k-th button (k from 1): the toolbar texts are numbered
// in the buttons' order.
inline constexpr unsigned TooltipId(int k) {
    return text::toolbar_new_project + static_cast<unsigned>(k - 1);
}

} // namespace korvex
