#include "vision/Coverage.h"

#include "vision/RoadClips.h"
#include "vision/synth/RoadClip.h"

#include <gtest/gtest.h>

namespace korvex::vision {
namespace {

// A quadrilateral between rows y0 and y1 from share `from` to share `to`
// across the road's lanes at those rows (0 = left edge of the road, 1 =
// the right edge of lane 0, 2 = of lane 1, ...).
Quad AcrossLanes(const std::vector<synth::TruthLane>& lanes, double from, double to, double y0, double y1) {
    auto column = [&](double share, double y) {
        const size_t lane = std::min(size_t(share), lanes.size() - 1);
        const Quad& q = lanes[lane].polygon;
        const double t = (y - q[0].y) / (q[3].y - q[0].y);
        const double left = q[0].x + (q[3].x - q[0].x) * t, right = q[1].x + (q[2].x - q[1].x) * t;
        return left + (right - left) * (share - double(lane));
    };
    return {{{column(from, y0), y0}, {column(to, y0), y0}, {column(to, y1), y1}, {column(from, y1), y1}}};
}

struct Expected {
    const char* name;
    bool misplaced, bleed, covered;
};

// One clip, detectors placed on purpose: well inside a lane, across the
// line between the two lanes, in the sky, and over a flickering lamp.
TEST(CoverageCheck, FlagsMisplacedBleedingAndAlwaysCoveredDetectors) {
    synth::RoadConfig config = test::BusyRoad({Direction::Down, Direction::Up});
    config.horizonMin = config.horizonMax = 40; // the road starts at row 70
    config.flickerX = 10, config.flickerY = 10, config.flickerSide = 30;
    const synth::RoadClip clip(config, 11);
    const auto& lanes = clip.Lanes();
    const std::vector<Quad> detectors = {
        AcrossLanes(lanes, 0.25, 0.75, 170, 190),
        AcrossLanes(lanes, 0.6, 1.4, 170, 190),
        {{{200, 20}, {240, 20}, {240, 40}, {200, 40}}},
        {{{15, 15}, {35, 15}, {35, 35}, {15, 35}}},
    };
    const Expected expected[] = {
        {"inside lane 0", false, false, false},
        {"across both lanes", false, true, false},
        {"in the sky", true, false, false},
        {"over the lamp", false, false, true},
    };
    CoverageCheck check(detectors);
    GreyPicture picture;
    for (int f = 0; f < clip.FrameCount(); ++f) {
        clip.Render(f, picture);
        check.Add(picture);
    }
    const CoverageResult r = check.Finish(clip.Fps());
    ASSERT_EQ(r.lanes.lanes.size(), 2u);
    ASSERT_EQ(r.detectors.size(), detectors.size());
    for (size_t i = 0; i < detectors.size(); ++i) {
        const DetectorCoverage& c = r.detectors[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(c.misplaced, expected[i].misplaced) << "share " << c.share;
        EXPECT_EQ(c.bleed, expected[i].bleed) << c.vehiclesByLane[0] << " and " << c.vehiclesByLane[1];
        EXPECT_EQ(c.mostlyCovered, expected[i].covered) << "share " << c.share;
    }
    // Vehicles of lane 0 only reach the first detector; both lanes reach
    // the second.
    EXPECT_GT(r.detectors[0].vehiclesByLane[0], 0);
    EXPECT_EQ(r.detectors[0].vehiclesByLane[1], 0);
    EXPECT_GT(r.detectors[1].vehiclesByLane[1], 0);
}

// Quads given in a smaller picture's pixels are scaled to the clip: a lane's
// detector given at half size is covered as often as the same detector
// given in the clip's pixels.
TEST(CoverageCheck, ScalesDetectorsFromThePictureSizeToTheClip) {
    synth::RoadConfig config = test::BusyRoad({Direction::Down, Direction::Down}, 15);
    config.horizonMin = config.horizonMax = 40;
    const synth::RoadClip clip(config, 12);
    const Quad full = AcrossLanes(clip.Lanes(), 0.2, 0.8, 160, 200);
    Quad half = full;
    for (PointF& p : half)
        p = {p.x / 2, p.y / 2};
    CoverageCheck halfSize({half}, 160, 120), clipSize({full});
    GreyPicture picture;
    for (int f = 0; f < clip.FrameCount(); ++f) {
        clip.Render(f, picture);
        halfSize.Add(picture);
        clipSize.Add(picture);
    }
    const double expected = clipSize.Finish(clip.Fps()).detectors[0].share;
    EXPECT_GT(expected, 0.05);
    EXPECT_NEAR(halfSize.Finish(clip.Fps()).detectors[0].share, expected, 0.02);
}

} // namespace
} // namespace korvex::vision
