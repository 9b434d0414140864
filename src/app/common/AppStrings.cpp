#include "app/common/AppStrings.h"

#include "app/common/Commands.h"
#include "app/common/LiveStrings.h"

namespace korvex {

unsigned MenuTextId(int command) {
    switch (command) {
    case CmdNew: return 1410;
    case CmdOpen: return 1411;
    case CmdSave: return 1412;
    case CmdSaveAs: return 1413;
    case CmdLoadBackground: return 1414;
    case CmdLiveBackgrounds: return 1415;
    case CmdDemoDevice: return 1708;
    case CmdDemoKnock: return 1714;
    case CmdDemoStraighten: return 1715;
    case CmdLiveDetectors: return kStrLiveDetectors;
    case CmdFollowCamera: return kStrFollowCamera;
    case CmdExit: return 1416;
    case CmdUndo: return 1417;
    case CmdRedo: return 1418;
    case CmdCopy: return 1419;
    case CmdPaste: return 1420;
    case CmdDelete: return 1421;
    case CmdAddQuad: return 1422;
    case CmdAddLine: return 1423;
    case CmdAddQuadHere: return 1424;
    case CmdAddLineHere: return 1425;
    case CmdZoomIn: return 1426;
    case CmdZoomOut: return 1427;
    case CmdToggleComposer: return 1428;
    case CmdToggleInspector: return 1429;
    case CmdToggleExplorer: return 1430;
    case CmdToggleTuning: return 1431;
    case CmdViewOptionA: return 1432;
    case CmdViewOptionB: return 1433;
    case CmdModeReshape: return 1434;
    case CmdModeErase: return 1435;
    case CmdModeMove: return 1436;
    case CmdModeAim: return 1437;
    case CmdModeMoveCard: return 1438;
    case CmdRestoreProgram: return 2680;
    case CmdPenWidth1: return 1439;
    case CmdPenWidth2: return 1440;
    case CmdPenWidth3: return 1441;
    case CmdPenWidth4: return 1442;
    case CmdNoPattern: return 1443;
    case CmdDivisions1: return 1444;
    case CmdDivisions2: return 1445;
    case CmdDivisions3: return 1446;
    case CmdDivisions4: return 1447;
    case CmdDivisions5: return 1448;
    case CmdDivisions6: return 1449;
    case CmdFill20: return 1450;
    case CmdFill100: return 1451;
    case CmdConnect: return 1452;
    case CmdDisconnect: return 1453;
    case CmdUpload: return 1454;
    case CmdDownloadProgram: return 1455;
    case CmdRestart: return 1456;
    case CmdRecordings: return 1457;
    case CmdNetworkSettings: return 1458;
    case CmdChangePassword: return 1459;
    case CmdOptionMask: return 1460;
    case CmdExport: return 1461;
    case CmdConfigTest: return 1462;
    case CmdLanguageAuto: return 1463;
    case CmdHelp: return 1464;
    case CmdAbout: return 1465;
    case CmdConvertTo320: return 2404;
    case CmdConvertTo180: return 2405;
    case CmdCopyDetectorsToCamera: return 2409;
    case CmdExportReport: return 3140;
    case CmdCompareWith: return 3141;
    default: return 0;
    }
}

} // namespace korvex
