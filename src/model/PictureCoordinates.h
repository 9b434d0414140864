#pragma once

#include "model/Detector.h"
#include "model/RenderState.h"

#include <cstdint>

namespace korvex {

// The camera picture inside the canvas of a state, placed as the detector
// geometry places it (a 180-wide picture at canvas columns 30..209 of its
// 240-wide canvas, a 320-wide one from column 0). Detector points are canvas
// coordinates; what the user reads and types are picture coordinates.
struct PictureArea {
    int32_t left = 0;   // canvas column of picture column 0
    int32_t width = 0;  // picture columns
    int32_t height = 0; // picture rows

    bool Contains(Point picture) const {
        return picture.x >= 0 && picture.x < width && picture.y >= 0 && picture.y < height;
    }
};

PictureArea PictureAreaOf(const RenderState& state);
// The same for a state of `width` x `height` (a size only, no state).
PictureArea PictureAreaOf(uint32_t width, uint32_t height);

inline Point ToPicture(const PictureArea& area, Point canvas) {
    return {canvas.x - area.left, canvas.y};
}
inline Point ToCanvasPoint(const PictureArea& area, Point picture) {
    return {picture.x + area.left, picture.y};
}

// Number of corners a detector uses: 2 for a line, 4 otherwise.
inline int CornerCount(const Detector& d) {
    return d.IsLine() ? 2 : 4;
}

// Rounds half away from zero (2.5 -> 3, -2.5 -> -3).
int32_t RoundHalfAway(double value);

} // namespace korvex
