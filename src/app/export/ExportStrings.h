#pragma once

// Numbers of the export window's texts (lang/<name>/devicewindows.mui, beside
// the device windows' own).
namespace korvex {

enum ExportString : unsigned {
    kStrExportTitle = 2670,
    kStrExportChoose = 2671,
    kStrExportCopy = 2672,
    kStrExportReencode = 2673,
    kStrExportFiles = 2674,
    kStrExportBusyClose = 2675,
};

} // namespace korvex
