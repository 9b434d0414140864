#pragma once

// Numbers of the project tools' texts (lang/<name>/projecttools.mui).
namespace korvex {

enum ProjectToolString : unsigned {
    kStrAnyPictures = 3100,
    kStrPictureUnreadable = 3101,
    kStrPictureTooLarge = 3102,
    kStrPictureDamaged = 3103,
    kStrPictureFitAsk = 3104,
    kStrPictureFitBars = 3105,
    kStrPictureFillCrop = 3106,
    kStrPictureCaption = 3107,
    kStrPdfDocuments = 3137,
    kStrReportTitle = 3138,
    kStrReportWritten = 3139,
    kStrCompareTitle = 3142,
    kStrCompareAsk = 3143,
    kStrCompareFile = 3144,
    kStrCompareDevice = 3145,
    kStrCompareKept = 3146,
    kStrCompareChanges = 3147,
    kStrCompareSame = 3148,
    kStrDeviceProgramName = 3190,
    kStrDeviceProgramFailed = 3191,
    kStrDeviceBusy = 3192,
};

} // namespace korvex
