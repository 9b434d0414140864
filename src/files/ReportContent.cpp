#include "files/ReportContent.h"

#include "composer/Formula.h"
#include "files/Problems.h"
#include "files/ProjectDiff.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/PictureCoordinates.h"

#include <algorithm>

namespace korvex {

namespace {

std::string T(unsigned id, const std::vector<std::string>& args = {}) {
    return FormatText(LoadTextA(id), args);
}

std::string Kind(const Detector& d) {
    std::string kind = T(d.IsLine() ? text::diff_line : text::diff_quadrilateral);
    if (d.directional)
        kind += ", " + T(text::diff_directional);
    if (d.contrast)
        kind += ", " + T(text::diff_contrast);
    return kind;
}

ReportDetectorRow Row(const RenderState& state, const Detector& d, size_t index) {
    const PictureArea area = PictureAreaOf(state);
    ReportDetectorRow row;
    row.detector = int32_t(index);
    row.name = DetectorName(d);
    row.kind = Kind(d);
    row.number = std::to_string(d.number);
    row.delay = SecondsText(d.delay);
    row.extend = SecondsText(d.extend);
    row.angle = d.directional ? T(text::diff_degrees, {std::to_string(d.angle)}) : "-";
    row.contrast = T(d.contrast ? text::diff_yes : text::diff_no);
    row.thresholds = std::to_string(d.feature_threshold) + " / " + std::to_string(d.threshold);
    for (int k = 0; k < CornerCount(d); ++k) {
        const Point p = ToPicture(area, d.points[size_t(k)]);
        row.corners +=
            (k ? " " : "") + std::string("(") + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
    }
    return row;
}

void Formulas(ReportContent& report, char list, const std::vector<ComposerItem>& rows,
              const std::string& plain) {
    for (size_t k = 0; k < rows.size(); ++k) {
        const std::string formula = TypedFormula(rows[k]);
        if (formula != plain)
            report.formulas.push_back(ComposerRow{list, k}.Name() + " = " + formula);
    }
}

} // namespace

ReportContent BuildReportContent(const RenderState& state, const ReportFacts& facts) {
    ReportContent report;
    report.title = T(text::report_heading);
    report.facts = {
        {T(text::report_project_file),
         facts.projectPath.empty() ? T(text::report_not_saved) : facts.projectPath},
        {T(text::report_date), facts.date},
        {T(text::report_korvex_version), facts.version},
        {T(text::report_picture_size), std::to_string(state.width) + " × " + std::to_string(state.height)},
        {T(text::report_detector_count), std::to_string(state.detectors.size())},
    };
    if (facts.connected) {
        report.facts.push_back({T(text::report_device_address), facts.deviceAddress});
        report.facts.push_back({T(text::report_firmware_version),
                                facts.firmware.empty() ? T(text::report_not_reported) : facts.firmware});
        report.facts.push_back({T(text::report_device_cameras), facts.deviceCameras
                                                                    ? std::to_string(facts.deviceCameras)
                                                                    : T(text::report_not_reported)});
    } else {
        report.facts.push_back({T(text::report_device_address), T(text::report_no_device_connected)});
    }
    // The table's headings are the texts from report_detector to report_corners.
    for (unsigned id = text::report_detector; id <= text::report_corners; ++id)
        report.columns.push_back(T(id));

    uint32_t cards = uint32_t(state.backgrounds.size());
    for (const Detector& d : state.detectors)
        cards = std::max(cards, std::min<uint32_t>(d.card, 7) + 1);
    for (uint32_t card = 0; card < cards; ++card) {
        ReportCamera camera;
        camera.card = card;
        camera.title = T(text::report_camera, {CardName(card)});
        for (size_t i = 0; i < state.detectors.size(); ++i)
            if (state.detectors[i].card == card)
                camera.rows.push_back(Row(state, state.detectors[i], i));
        if (camera.rows.empty())
            camera.note = T(text::report_no_detectors);
        report.cameras.push_back(std::move(camera));
    }

    report.formulasTitle = T(text::report_outputs);
    Formulas(report, 'Y', state.composer_y, "1");
    Formulas(report, 'Z', state.composer_z, "");
    Formulas(report, 'C', state.composer_a, "1");
    if (report.formulas.empty())
        report.formulas.push_back(T(text::report_no_formulas));
    report.problemsTitle = T(text::report_problems);
    report.problems = ProblemLines(state);
    if (report.problems.empty())
        report.problems.push_back(T(text::report_no_problems));
    return report;
}

} // namespace korvex
