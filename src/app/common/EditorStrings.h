#pragma once

// Numbers of the editing tools' texts (lang/<name>/editing.mui).
namespace korvex {

enum EditorString : unsigned {
    kStrCornersTitle = 2400,
    kStrCornerX = 2401,
    kStrCornerY = 2402,
    kStrCornerOutside = 2403,
    kStrConvertTo320 = 2404,
    kStrConvertTo180 = 2405,
    kStrConvertDropsOutputs = 2406,
    kStrConvertCaption = 2407,
    kStrConverted = 2408,
    kStrCopyDetectorsItem = 2409,
    kStrCopyDetectorsAsk = 2410,
    kStrCopyDetectorsCaption = 2411,
    kStrCopiedDetectors = 2412,
    kStrCopiedRenumbered = 2413,
    kStrNothingToCopy = 2414,
    kStrNoOtherCamera = 2415,
};

} // namespace korvex
