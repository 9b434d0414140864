#include "files/ReportContent.h"

#include "composer/Formula.h"
#include "files/Problems.h"
#include "files/ProjectDiff.h"
#include "framework/StringTable.h"
#include "model/PictureCoordinates.h"

#include <algorithm>

namespace korvex {

namespace {

enum : unsigned {
    kTitle = 3110,
    kProjectFile = 3111,
    kNotSaved = 3112,
    kDate = 3113,
    kVersion = 3114,
    kAddress = 3115,
    kFirmware = 3116,
    kDeviceCameras = 3117,
    kNoDevice = 3118,
    kNotReported = 3119,
    kCamera = 3120,
    kFirstColumn = 3121, // 3121..3129: the table's headings
    kLastColumn = 3129,
    kOutputs = 3130,
    kProblems = 3131,
    kNoProblems = 3132,
    kNoDetectors = 3133,
    kNoFormulas = 3134,
    kPictureSize = 3135,
    kDetectorCount = 3136,
    kQuadrilateral = 3163,
    kLine = 3164,
    kContrastWord = 3168,
    kDirectionalWord = 3169,
    kYes = 3176,
    kNo = 3177,
    kMilliseconds = 3178,
    kDegrees = 3179,
};

std::string T(unsigned id, const std::vector<std::string>& args = {}) {
    return FormatText(LoadTextA(id), args);
}

std::string Kind(const Detector& d) {
    std::string kind = T(d.IsLine() ? kLine : kQuadrilateral);
    if (d.directional)
        kind += ", " + T(kDirectionalWord);
    if (d.contrast)
        kind += ", " + T(kContrastWord);
    return kind;
}

ReportDetectorRow Row(const RenderState& state, const Detector& d, size_t index) {
    const PictureArea area = PictureAreaOf(state);
    ReportDetectorRow row;
    row.detector = int32_t(index);
    row.name = DetectorName(d);
    row.kind = Kind(d);
    row.number = std::to_string(d.number);
    row.delay = T(kMilliseconds, {std::to_string(d.delay)});
    row.extend = T(kMilliseconds, {std::to_string(d.extend)});
    row.angle = d.directional ? T(kDegrees, {std::to_string(d.angle)}) : "-";
    row.contrast = T(d.contrast ? kYes : kNo);
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
    report.title = T(kTitle);
    report.facts = {
        {T(kProjectFile), facts.projectPath.empty() ? T(kNotSaved) : facts.projectPath},
        {T(kDate), facts.date},
        {T(kVersion), facts.version},
        {T(kPictureSize), std::to_string(state.width) + " × " + std::to_string(state.height)},
        {T(kDetectorCount), std::to_string(state.detectors.size())},
    };
    if (facts.connected) {
        report.facts.push_back({T(kAddress), facts.deviceAddress});
        report.facts.push_back({T(kFirmware), facts.firmware.empty() ? T(kNotReported) : facts.firmware});
        report.facts.push_back(
            {T(kDeviceCameras), facts.deviceCameras ? std::to_string(facts.deviceCameras) : T(kNotReported)});
    } else {
        report.facts.push_back({T(kAddress), T(kNoDevice)});
    }
    for (unsigned id = kFirstColumn; id <= kLastColumn; ++id)
        report.columns.push_back(T(id));

    uint32_t cards = uint32_t(state.backgrounds.size());
    for (const Detector& d : state.detectors)
        cards = std::max(cards, std::min<uint32_t>(d.card, 7) + 1);
    for (uint32_t card = 0; card < cards; ++card) {
        ReportCamera camera;
        camera.card = card;
        camera.title = T(kCamera, {CardName(card)});
        for (size_t i = 0; i < state.detectors.size(); ++i)
            if (state.detectors[i].card == card)
                camera.rows.push_back(Row(state, state.detectors[i], i));
        if (camera.rows.empty())
            camera.note = T(kNoDetectors);
        report.cameras.push_back(std::move(camera));
    }

    report.formulasTitle = T(kOutputs);
    Formulas(report, 'Y', state.composer_y, "1");
    Formulas(report, 'Z', state.composer_z, "");
    Formulas(report, 'C', state.composer_a, "1");
    if (report.formulas.empty())
        report.formulas.push_back(T(kNoFormulas));
    report.problemsTitle = T(kProblems);
    report.problems = ProblemLines(state);
    if (report.problems.empty())
        report.problems.push_back(T(kNoProblems));
    return report;
}

} // namespace korvex
