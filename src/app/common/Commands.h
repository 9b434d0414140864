#pragma once

#include "framework/TextIds.h"

#include <cstddef>
#include <cstdint>

namespace korvex {

// Every command of the window's menus, accelerators, toolbar and context
// menus, one row each: its name, id and the key of its menu text. The enum
// and the command tables below are made from this list, so a command cannot
// be named without being in the tables, nor listed without its text. The numbers are kept because dispatch,
// states and tests rely on them; the composer's own operations are listed with the formulas.
// clang-format off
#define KORVEX_WINDOW_COMMANDS(X) \
    X(CmdExit, 40001, app_exit)                                                                    \
    X(CmdZoomIn, 40002, app_zoom_in)                                                               \
    X(CmdZoomOut, 40003, app_zoom_out)                                                             \
    X(CmdPenWidth1, 40004, app_pen_width_1)                                                        \
    X(CmdPenWidth2, 40005, app_pen_width_2)                                                        \
    X(CmdPenWidth3, 40006, app_pen_width_3)                                                        \
    X(CmdPenWidth4, 40007, app_pen_width_4)                                                        \
    X(CmdFill20, 40008, app_fill_20)                                                               \
    X(CmdDivisions1, 40009, app_one_dividing_line)                                                 \
    X(CmdDivisions2, 40010, app_two_dividing_lines)                                                \
    X(CmdDivisions3, 40011, app_three_dividing_lines)                                              \
    X(CmdDivisions4, 40012, app_four_dividing_lines)                                               \
    X(CmdDivisions5, 40013, app_five_dividing_lines)                                               \
    X(CmdDivisions6, 40014, app_six_dividing_lines)                                                \
    X(CmdModeErase, 40015, app_erase)                                                              \
    X(CmdModeReshape, 40016, app_reshape)                                                          \
    X(CmdAddQuad, 40017, app_add_quadrilateral_detector)                                           \
    X(CmdLoadBackground, 40018, app_load_background_picture)                                       \
    X(CmdDelete, 40019, app_delete_detector)                                                       \
    X(CmdUpload, 40020, app_upload_project)                                                        \
    X(CmdSaveAs, 40021, app_save_as)                                                               \
    X(CmdAddLine, 40022, app_add_line_detector)                                                    \
    X(CmdAddQuadHere, 40023, app_add_quadrilateral_detector_here)                                  \
    X(CmdAddLineHere, 40024, app_add_line_detector_here)                                           \
    X(CmdToggleInspector, 40025, app_inspector)                                                    \
    X(CmdToggleComposer, 40026, app_composer)                                                      \
    X(CmdLiveBackgrounds, 40288, app_live_backgrounds)                                             \
    X(CmdToggleExplorer, 40289, app_explorer)                                                      \
    X(CmdRecordings, 40290, app_recordings)                                                        \
    X(CmdNoPattern, 40292, app_outline_only)                                                       \
    X(CmdToggleTuning, 40293, app_tuning)                                                          \
    X(CmdModeAim, 40294, app_aim)                                                                  \
    X(CmdConnect, 40295, app_connect)                                                              \
    X(CmdDisconnect, 40296, app_disconnect)                                                        \
    X(CmdRestart, 40297, app_restart_device)                                                       \
    X(CmdExport, 40298, app_export_recordings)                                                     \
    X(CmdViewOptionA, 40301, app_live_option_a)                                                    \
    X(CmdChangePassword, 40302, app_change_password)                                               \
    X(CmdNetworkSettings, 40303, app_network_settings)                                             \
    X(CmdOptionMask, 40304, app_option_mask)                                                       \
    X(CmdHelp, 40305, app_help)                                                                    \
    X(CmdAbout, 40306, app_about)                                                                  \
    X(CmdDownloadProgram, 40307, app_download_program)                                             \
    X(CmdModeMove, 40308, app_move)                                                                \
    X(CmdConfigTest, 40309, app_config_test)                                                       \
    X(CmdFill100, 40310, app_solid_fill_100)                                                       \
    X(CmdViewOptionB, 40311, app_live_option_b)                                                    \
    X(CmdModeMoveCard, 40312, app_move_camera)                                                     \
    X(CmdRestoreProgram, 40313, device_restore_program) /* upload the newest kept program back */  \
    X(CmdConvertTo320, 40320, convert_to320)                                                       \
    X(CmdConvertTo180, 40321, convert_to180)                                                       \
    X(CmdCopyDetectorsToCamera, 40322, copy_detectors_item)                                        \
    X(CmdLanguageAuto, 40330, app_language_auto)                                                   \
    /* Help menu: start or stop the simulated device inside the program. */                        \
    X(CmdDemoDevice, 40400, live_start_demo)                                                       \
    /* Help menu, demo device: move camera 2's picture, and put it back. */                        \
    X(CmdDemoKnock, 40401, onsite_demo_knock)                                                      \
    X(CmdDemoStraighten, 40402, live_demo_straighten)                                              \
    /* File menu: the commissioning report and comparing with another program. */                  \
    X(CmdExportReport, 40420, compare_export_report_item)                                          \
    X(CmdCompareWith, 40421, compare_compare_item)                                                 \
    /* Live page: the project's detectors over the live pictures; detectors */                     \
    /* follow a camera that has moved. */                                                          \
    X(CmdLiveDetectors, 40410, live_detectors)                                                     \
    X(CmdFollowCamera, 40411, live_follow_camera)                                                  \
    X(CmdNew, 57600, app_new_project)                                                              \
    X(CmdOpen, 57601, app_open_project)                                                            \
    X(CmdSave, 57603, app_save)                                                                    \
    X(CmdCopy, 57634, app_copy_detector)                                                           \
    X(CmdPaste, 57637, app_paste_detector)                                                         \
    X(CmdUndo, 57643, app_undo)                                                                    \
    X(CmdRedo, 57644, app_redo)
// clang-format on

enum Command : int {
#define KORVEX_COMMAND_ENUMERATOR(name, id, text) name = id,
    KORVEX_WINDOW_COMMANDS(KORVEX_COMMAND_ENUMERATOR)
#undef KORVEX_COMMAND_ENUMERATOR
    // The language menu: one item a language, named in its own language.
    CmdLanguageFirst = 40331,
    CmdLanguageLast = CmdLanguageFirst + 30,
};

// A run of consecutive command ids.
struct CommandIds {
    int first;
    int count;
};

// The window's commands of the list above, one id each.
inline constexpr CommandIds kWindowCommandIds[] = {
#define KORVEX_COMMAND_ROW(name, id, text) {name, 1},
    KORVEX_WINDOW_COMMANDS(KORVEX_COMMAND_ROW)
#undef KORVEX_COMMAND_ROW
};

// A window command with the text of its menu item.
struct CommandText {
    int command;
    unsigned text; // framework/TextIds.h
};

// The menu text of each command of the list above, in its order.
inline constexpr CommandText kCommandTexts[] = {
#define KORVEX_COMMAND_TEXT(name, id, key) {name, text::key},
    KORVEX_WINDOW_COMMANDS(KORVEX_COMMAND_TEXT)
#undef KORVEX_COMMAND_TEXT
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

// The other menus' ids: the language menu's items, and the composer
// window's menu.
inline constexpr CommandIds kMenuCommandIds[] = {
    {CmdLanguageFirst, CmdLanguageLast - CmdLanguageFirst + 1},
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
