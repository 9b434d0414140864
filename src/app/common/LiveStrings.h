#pragma once

// Numbers of the live page's, tuning window's, option-mask dialog's and
// demo device's texts (lang/<name>/live.mui).
namespace korvex {

enum LiveString : unsigned {
    // The tuning window's texts (lang/<name>/korvex.mui).
    kStrTuningQuestion = 129,
    kStrTuningTitle = 130,
    kStrFeatureThresholdLabel = 131,
    kStrRequestTrace = 132,
    kStrThresholdLabel = 133,

    kStrSaveTrace = 1700,
    kStrCsvFilter = 1701,
    kStrSaveTraceTitle = 1702,
    kStrSaveTraceFailed = 1703,
    kStrOptionMaskTitle = 1704,
    kStrOptionMaskExplain = 1705,
    kStrOptionMaskBit = 1706,
    kStrClose = 1707,
    kStrStartDemo = 1708,
    kStrStopDemo = 1709,
    kStrDemoFailed = 1710,
    kStrDemoPorts = 1711,
    kStrNoLivePictures = 1712,
    kStrNoMatchingLivePictures = 1713,
    kStrDemoKnock = 1714,
    kStrDemoStraighten = 1715,
    kStrMenuDemo = 1716,
    kStrLiveDetectors = 1720,
    kStrFollowCamera = 1721,
    kStrCameraMoved = 1722,
    kStrMovedRight = 1723,
    kStrMovedLeft = 1724,
    kStrMovedDown = 1725,
    kStrMovedUp = 1726,
    kStrLiveDetectorsTip = 1727,
    kStrMovedNote = 1728,
};

} // namespace korvex
