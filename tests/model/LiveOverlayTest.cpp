#include "model/LiveOverlay.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(LiveOverlay, PlacesDetectorsOnThePictureAsTheEditorDoes) {
    RenderState state = RenderState::NewProject();
    state.width = 180;
    state.height = 144;
    Detector quad(1, 1, 0, 1, 3, 240, 144);
    quad.points = {{{30, 10}, {80, 10}, {80, 60}, {30, 60}}};
    Detector line(1, 1, 1, 0, 7, 240, 144);
    line.points = {{{40, 100}, {200, 100}, {0, 0}, {0, 0}}};
    state.detectors = {quad, line};
    const LiveOverlayShapes shapes = LiveOverlayOf(state, 1);
    ASSERT_EQ(shapes[1].size(), 1u);
    ASSERT_EQ(shapes[0].size(), 1u);
    // Canvas column 30 is the 180-wide picture's first column.
    EXPECT_EQ(shapes[1][0].points[0], (Point{0, 10}));
    EXPECT_EQ(shapes[1][0].name, "B3");
    EXPECT_EQ(shapes[1][0].labelAt, (Point{0, 10}));
    EXPECT_FALSE(shapes[1][0].selected);
    EXPECT_EQ(shapes[0][0].name, "A7");
    EXPECT_TRUE(shapes[0][0].selected);
    EXPECT_TRUE(shapes[0][0].line);
    EXPECT_EQ(shapes[0][0].index, 1);
}

TEST(LiveOverlay, FindsTheDetectorUnderAPoint) {
    std::vector<OverlayShape> shapes(3);
    shapes[0].index = 4;
    shapes[0].points = {{{10, 10}, {50, 10}, {50, 50}, {10, 50}}};
    shapes[1].index = 6; // drawn later, over the first
    shapes[1].points = {{{40, 40}, {60, 40}, {60, 60}, {40, 60}}};
    shapes[2].index = 9;
    shapes[2].line = true;
    shapes[2].points = {{{0, 100}, {100, 100}, {0, 0}, {0, 0}}};
    EXPECT_EQ(OverlayDetectorAt(shapes, 20, 20), 4);
    EXPECT_EQ(OverlayDetectorAt(shapes, 45, 45), 6);  // the one on top
    EXPECT_EQ(OverlayDetectorAt(shapes, 50, 30), 4);  // on the edge
    EXPECT_EQ(OverlayDetectorAt(shapes, 70, 102), 9); // near the line
    EXPECT_EQ(OverlayDetectorAt(shapes, 70, 105), -1);
    EXPECT_EQ(OverlayDetectorAt(shapes, 120, 100), -1); // beyond its end
    EXPECT_EQ(OverlayDetectorAt(shapes, 5, 5), -1);
}

} // namespace
} // namespace korvex
