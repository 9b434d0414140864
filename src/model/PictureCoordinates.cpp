#include "model/PictureCoordinates.h"

#include "model/DetectorGeometry.h"

#include <cmath>

namespace korvex {

PictureArea PictureAreaOf(const RenderState& state) {
    PictureSpan span = PictureOnCanvas(state);
    PictureArea area;
    area.left = span.left;
    area.width = static_cast<int32_t>(state.width);
    area.height = static_cast<int32_t>(state.height);
    return area;
}

PictureArea PictureAreaOf(uint32_t width, uint32_t height) {
    RenderState shape;
    shape.width = width;
    shape.height = height;
    return PictureAreaOf(shape);
}

int32_t RoundHalfAway(double value) {
    return static_cast<int32_t>(value < 0 ? -std::floor(-value + 0.5) : std::floor(value + 0.5));
}

} // namespace korvex
