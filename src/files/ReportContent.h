#pragma once

// What a commissioning report says, as text: the facts of its title page,
// per camera a table of its detectors, the output formulas and the
// problems. The window lays these out on PDF pages with the pictures.

#include "model/RenderState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// The facts the report cannot take from the project.
struct ReportFacts {
    std::string projectPath; // "" for a project never saved
    std::string date;        // as the title page shows it
    std::string version;     // the program's version
    bool connected = false;
    std::string deviceAddress;
    std::string firmware; // "" when the device has not said
    uint32_t deviceCameras = 0;
};

// One line of a camera's detector table.
struct ReportDetectorRow {
    int32_t detector = -1; // index in the state
    std::string name;      // "A1"
    std::string kind;      // "quadrilateral, directional"
    std::string number, delay, extend, angle, contrast, thresholds;
    std::string corners; // picture pixels: "(20, 40) (40, 40) ..."
};

struct ReportCamera {
    uint32_t card = 0;
    std::string title; // "Camera A"
    std::vector<ReportDetectorRow> rows;
    std::string note; // says so when the camera has no detectors
};

struct ReportContent {
    std::string title;
    std::vector<std::pair<std::string, std::string>> facts; // label, value
    std::vector<std::string> columns;                       // the detector table's headings
    std::vector<ReportCamera> cameras;
    std::string formulasTitle;
    std::vector<std::string> formulas; // "Y1 = A1 | A2", or one line saying there are none
    std::string problemsTitle;
    std::vector<std::string> problems; // the problems list, or one line saying there are none
};

// Every camera card that has a background or a detector gets its section;
// the rows in the state's order. Expression rows are listed when they hold
// more than a new row does (Y and card rows other than "1", Z rows that
// are not empty).
ReportContent BuildReportContent(const RenderState& state, const ReportFacts& facts);

} // namespace korvex
