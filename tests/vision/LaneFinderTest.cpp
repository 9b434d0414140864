#include "vision/LaneFinder.h"

#include "vision/RoadClips.h"
#include "vision/synth/RoadClip.h"
#include "vision/synth/Score.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace korvex::vision {
namespace {

using test::Analyse;
using test::BusyRoad;
constexpr Direction D = Direction::Down, U = Direction::Up;

struct LaneCase {
    const char* name;
    std::vector<Direction> directions;
    uint32_t seed;
};

class LanesFromTraffic : public ::testing::TestWithParam<LaneCase> {};

// Lanes come out left to right with the direction vehicles drive in, and
// each band gives one detector per lane inside it, lower in the picture for
// a nearer band.
TEST_P(LanesFromTraffic, FindsEveryLaneWithItsDirectionAndProposesInsideIt) {
    const LaneCase& c = GetParam();
    const synth::RoadClip clip(BusyRoad(c.directions), c.seed);
    const LaneResult found = Analyse(clip);
    ASSERT_EQ(found.failure, Failure::None);
    ASSERT_EQ(found.lanes.size(), c.directions.size());
    for (size_t i = 0; i < found.lanes.size(); ++i)
        EXPECT_EQ(found.lanes[i].direction, c.directions[i]) << "lane " << i;
    double lastRow = 1e9;
    for (Band band : {Band::Near, Band::Mid, Band::Far}) {
        const auto proposals = ProposeDetectors(found.lanes, band, clip.Width(), clip.Height());
        const synth::LaneScore s = synth::ScoreLanes(clip.Lanes(), found.lanes, proposals);
        EXPECT_TRUE(s.directions);
        EXPECT_EQ(proposals.size(), c.directions.size()) << "band " << int(band);
        EXPECT_EQ(s.proposalsInside, int(c.directions.size())) << "band " << int(band);
        EXPECT_EQ(s.proposalsAcross, 0) << "band " << int(band);
        ASSERT_FALSE(proposals.empty());
        const int row = proposals[0].points[0][1];
        EXPECT_LT(row, lastRow) << "band " << int(band) << " is not further up than the one before";
        lastRow = row;
        for (const Proposal& p : proposals)
            EXPECT_EQ(p.points[0][1], row) << "all lanes' detectors share one band";
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, LanesFromTraffic,
                         ::testing::Values(LaneCase{"TwoLanesOneWay", {D, D}, 3},
                                           LaneCase{"TwoWays", {U, D}, 4},
                                           LaneCase{"ThreeLanesMixed", {U, U, D}, 5},
                                           LaneCase{"FourLanesAway", {U, U, U, U}, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

// A textured still picture, moved by `dx`, `dy` pixels, with a little noise.
GreyPicture Scene(int dx, int dy, uint32_t noiseSeed) {
    GreyPicture p(320, 240);
    uint32_t n = noiseSeed * 2654435761u + 1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint32_t block = uint32_t((x + dx) / 8) * 7919u + uint32_t((y + dy) / 8) * 104729u;
            n = n * 1664525u + 1013904223u;
            p.At(x, y) = uint8_t((block * 2654435761u >> 24) / 2 + 60 + (n >> 30));
        }
    return p;
}

struct RefusedCase {
    const char* name;
    int frames;
    bool panning;
    Failure expected;
};

class LanesRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(LanesRefused, SaysWhyNoLanesWereFound) {
    const RefusedCase& c = GetParam();
    LaneFinder finder;
    for (int f = 0; f < c.frames; ++f)
        finder.Add(c.panning ? Scene(3 * f, f / 2, uint32_t(f)) : Scene(0, 0, uint32_t(f)));
    const LaneResult r = finder.Finish(10);
    EXPECT_EQ(r.failure, c.expected);
    EXPECT_TRUE(r.lanes.empty());
    EXPECT_TRUE(ProposeDetectors(r.lanes, Band::Near, 320, 240).empty());
}

INSTANTIATE_TEST_SUITE_P(Clips, LanesRefused,
                         ::testing::Values(RefusedCase{"TooShort", 50, false, Failure::TooShort},
                                           RefusedCase{"StillScene", 120, false, Failure::NoMotion},
                                           RefusedCase{"CameraPanning", 120, true, Failure::CameraMoving}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvex::vision
