#pragma once

// Numbers of the window's own texts (lang/<name>/app.mui).
namespace korvex {

enum AppString : unsigned {
    kStrMenuFile = 1400,
    kStrMenuEdit = 1401,
    kStrMenuView = 1402,
    kStrMenuDetector = 1403,
    kStrMenuDevice = 1404,
    kStrMenuTools = 1405,
    kStrMenuLanguage = 1406,
    kStrMenuHelp = 1407,
    kStrMenuMode = 1466,
    kStrMenuPenWidth = 1467,
    kStrMenuPattern = 1468,

    kStrInspectorDetector = 1480,
    kStrInspectorArea = 1481,
    kStrInspectorKind = 1482,
    kStrInspectorPlain = 1483,
    kStrInspectorDirectional = 1484,
    kStrInspectorContrast = 1485,
    kStrInspectorAngle = 1486,
    kStrInspectorDelay = 1487,
    kStrInspectorExtend = 1488,
    kStrInspectorPixels = 1489,
    kStrPaneInspector = 1490,
    kStrPaneTuning = 1492,

    kStrUploadBusy = 1503,
    kStrLiveDevice = 1508,
    kStrAboutVersion = 1512,
    kStrAboutDescription = 1513,
    kStrAboutLinkText = 1514,
    kStrAboutLinkAddress = 1515,
    kStrConfigTestTitle = 1516,
    kStrConfigTestLabel = 1517,
    kStrAboutTitle = 1518,
    kStrNotConnected = 1519,
    kStrNoJobWhileBusy = 1520,
    kStrPackageUnreadable = 1521,

    // Recent projects and recovery after a crash (1560-1579).
    kStrRecentProjects = 1560,
    kStrRecentClear = 1561,
    kStrRecentEmpty = 1562,
    kStrRecentOneGone = 1563,
    kStrRecentSomeGone = 1564,
    kStrRecoveryQuestion = 1565,
    kStrRecoveryUntitled = 1566,
    kStrRecoveryRecover = 1567,
    kStrRecoveryDiscard = 1568,
    kStrRecoveryLater = 1569,
    kStrRecoveryCaption = 1570,
    kStrRecoveryDone = 1571,
    kStrRecoveryUnreadable = 1572,
};

// Texts of the program's common table (lang/<name>/korvex.mui) that the
// window shows.
enum CommonString : unsigned {
    kStrProblemsHeader = 128,
    kStrTabLive = 134,
    kStrTabEditor = 135,
    kStrStatusNotConnected = 138,
    kStrProjectFiles = 177,
    kStrSaveProjectAs = 178,
    kStrBmpPictures = 217,
    kStrSaveChangesQuestion = 218,
    kStrUnsavedChanges = 219,
    kStrUploadRefusedProblems = 220,
    kStrUploadQuestion = 221,
    kStrUploadCaption = 222,
    kStrUnexpectedError = 223,
    kStrMd5SelfTestFailed = 262,
    kStrLanguageNextStart = 275,
    kStrLanguageCaption = 276,
};

// The text number of a command's menu item (0 when it has none).
unsigned MenuTextId(int command);

} // namespace korvex
