#pragma once

#include "model/Detector.h"
#include "model/DetectorNames.h"
#include "model/RenderState.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// A detector as it is drawn over a camera's live picture: its corners in
// picture pixels ((0, 0) = the picture's top-left pixel), placed by the
// same rule as the editor (a 180-wide picture is canvas columns 30..209).
struct OverlayShape {
    int32_t index = -1; // in the state's detectors
    std::string name;   // "A1", "B3", ...
    std::array<Point, 4> points{};
    // Where its name goes: the top-left corner of its bounds.
    Point labelAt{};
    bool line = false;
    bool selected = false;
};

// The shapes of every camera card 0..7, in detector order.
using LiveOverlayShapes = std::array<std::vector<OverlayShape>, 8>;

// The overlay of `state`: each detector on its card, the one at index
// `selected` marked.
LiveOverlayShapes LiveOverlayOf(const RenderState& state, int32_t selected);

// The detector under picture point (x, y) among `shapes` (one camera's):
// the last drawn whose quadrilateral holds the point, or whose line passes
// within `reach` pixels of it; -1 if none.
int32_t OverlayDetectorAt(const std::vector<OverlayShape>& shapes, double x, double y, double reach = 3.0);

} // namespace korvex
