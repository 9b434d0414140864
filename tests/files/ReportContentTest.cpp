#include "files/ReportContent.h"

#include "composer/Formula.h"

#include <gtest/gtest.h>

using namespace korvex;

namespace {

std::string Fact(const ReportContent& r, const std::string& label) {
    for (const auto& [l, v] : r.facts)
        if (l == label)
            return v;
    return "<missing>";
}

} // namespace

TEST(ReportContentTest, TablesGivePictureCornersAndEveryParameter) {
    // A 180-wide project: corners are read in picture pixels, 30 left of
    // the canvas columns the detector is stored in.
    RenderState s;
    s.EnsureBackgrounds(2);
    Detector d(1, 1, 0, 1, 3, s.CanvasWidth(), s.CanvasHeight());
    d.points = {{{40, 10}, {80, 10}, {80, 50}, {40, 50}}};
    d.directional = true;
    d.angle = 270;
    d.delay = 1500;
    d.feature_threshold = 640;
    d.threshold = 7;
    s.detectors.push_back(Detector(1, 1, 1, 0, 1, s.CanvasWidth(), s.CanvasHeight())); // A1, a line
    s.detectors.push_back(d);
    ReportContent r = BuildReportContent(s, {});
    ASSERT_EQ(r.cameras.size(), 2u);
    EXPECT_EQ(r.cameras[1].title, "Camera B");
    ASSERT_EQ(r.cameras[1].rows.size(), 1u);
    const ReportDetectorRow& row = r.cameras[1].rows[0];
    EXPECT_EQ(row.detector, 1);
    EXPECT_EQ(row.name, "B3");
    EXPECT_EQ(row.kind, "quadrilateral, directional");
    EXPECT_EQ(row.delay, "1.5 s");
    EXPECT_EQ(row.angle, "270°");
    EXPECT_EQ(row.thresholds, "640 / 7");
    EXPECT_EQ(row.corners, "(10, 10) (50, 10) (50, 50) (10, 50)");
    const ReportDetectorRow& line = r.cameras[0].rows.at(0);
    EXPECT_EQ(line.kind, "line");
    EXPECT_EQ(line.angle, "-");
    EXPECT_EQ(line.corners, "(20, 40) (40, 40)"); // two corners only
    EXPECT_EQ(r.columns.size(), 9u);
}

TEST(ReportContentTest, TitleFactsSayWhenThereIsNoDeviceOrFile) {
    RenderState s = RenderState::NewProject();
    ReportContent r = BuildReportContent(s, {"", "2026-12-07 18:00", "6.1", false, "", "", 0});
    EXPECT_EQ(Fact(r, "Project file"), "(not saved)");
    EXPECT_EQ(Fact(r, "Device address"), "(no device connected)");
    EXPECT_EQ(Fact(r, "Firmware version"), "<missing>");
    EXPECT_EQ(Fact(r, "Korvex version"), "6.1");

    r = BuildReportContent(s, {"/p/site.kvx", "d", "6.1", true, "192.168.1.20", "", 4});
    EXPECT_EQ(Fact(r, "Project file"), "/p/site.kvx");
    EXPECT_EQ(Fact(r, "Device address"), "192.168.1.20");
    EXPECT_EQ(Fact(r, "Firmware version"), "(not reported)");
    EXPECT_EQ(Fact(r, "Cameras on the device"), "4");
    EXPECT_EQ(r.cameras.size(), 4u); // one per background
}

TEST(ReportContentTest, FormulasAndProblemsAreListed) {
    RenderState s = RenderState::NewProject();
    s.composer_y[1] = *ParseFormula("A1 | A2", nullptr);
    s.composer_z[0] = *ParseFormula("B1", nullptr);
    ReportContent r = BuildReportContent(s, {});
    ASSERT_EQ(r.formulas.size(), 2u);
    EXPECT_EQ(r.formulas[0], "Y2 = A1 | A2");
    EXPECT_EQ(r.formulas[1], "Z1 = B1");
    // Y2 and Z1 name detectors the project does not have.
    EXPECT_GE(r.problems.size(), 2u);
    EXPECT_NE(r.problems[0], "No problems.");

    RenderState clean = RenderState::NewProject();
    EXPECT_EQ(BuildReportContent(clean, {}).problems, std::vector<std::string>{"No problems."});
    EXPECT_EQ(BuildReportContent(clean, {}).formulas, std::vector<std::string>{"No output formulas."});
}
