#pragma once

#include "framework/TextIds.h"

#include <cstdint>

namespace korvex {

// Command ids of the menus, accelerators, toolbar and the main view's context
// menu. The numbers are kept because dispatch, states and tests rely on them.
enum Command : int {
    CmdExit = 40001,
    CmdZoomIn = 40002,
    CmdZoomOut = 40003,
    CmdPenWidth1 = 40004,
    CmdPenWidth2 = 40005,
    CmdPenWidth3 = 40006,
    CmdPenWidth4 = 40007,
    CmdFill20 = 40008,
    CmdDivisions1 = 40009,
    CmdDivisions2 = 40010,
    CmdDivisions3 = 40011,
    CmdDivisions4 = 40012,
    CmdDivisions5 = 40013,
    CmdDivisions6 = 40014,
    CmdModeErase = 40015,
    CmdModeReshape = 40016,
    CmdAddQuad = 40017,
    CmdLoadBackground = 40018,
    CmdDelete = 40019,
    CmdUpload = 40020,
    CmdSaveAs = 40021,
    CmdAddLine = 40022,
    CmdAddQuadHere = 40023,
    CmdAddLineHere = 40024,
    CmdToggleInspector = 40025,
    CmdToggleComposer = 40026,
    CmdLiveBackgrounds = 40288,
    CmdToggleExplorer = 40289,
    CmdRecordings = 40290,
    CmdNoPattern = 40292,
    CmdToggleTuning = 40293,
    CmdModeAim = 40294,
    CmdConnect = 40295,
    CmdDisconnect = 40296,
    CmdRestart = 40297,
    CmdExport = 40298,
    CmdViewOptionA = 40301,
    CmdChangePassword = 40302,
    CmdNetworkSettings = 40303,
    CmdOptionMask = 40304,
    CmdHelp = 40305,
    CmdAbout = 40306,
    CmdDownloadProgram = 40307,
    CmdModeMove = 40308,
    CmdConfigTest = 40309,
    CmdFill100 = 40310,
    CmdViewOptionB = 40311,
    CmdModeMoveCard = 40312,
    CmdRestoreProgram = 40313, // upload the newest kept program back
    CmdConvertTo320 = 40320,
    CmdConvertTo180 = 40321,
    CmdCopyDetectorsToCamera = 40322,
    CmdLanguageAuto = 40330,
    CmdLanguageFirst = 40331,
    CmdLanguageLast = 40361,
    // Help menu: start or stop the simulated device inside the program.
    CmdDemoDevice = 40400,
    // Help menu, demo device: move camera 2's picture, and put it back.
    CmdDemoKnock = 40401,
    CmdDemoStraighten = 40402,
    // File menu: the commissioning report and comparing with another program.
    CmdExportReport = 40420,
    CmdCompareWith = 40421,
    // Live page: the project's detectors over the live pictures; detectors
    // follow a camera that has moved.
    CmdLiveDetectors = 40410,
    CmdFollowCamera = 40411,
    CmdNew = 57600,
    CmdOpen = 57601,
    CmdSave = 57603,
    CmdCopy = 57634,
    CmdPaste = 57637,
    CmdUndo = 57643,
    CmdRedo = 57644,
};

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

// Number of toolbar pictures (the highest index used plus one).
inline constexpr int kToolbarImageCount = 27;

// Tooltip text of the k-th button (k from 1): the toolbar texts are numbered
// in the buttons' order.
inline constexpr unsigned TooltipId(int k) {
    return text::toolbar_new_project + static_cast<unsigned>(k - 1);
}

} // namespace korvex
