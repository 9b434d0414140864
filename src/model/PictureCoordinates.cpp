#include "model/PictureCoordinates.h"

#include <cmath>

namespace korvex {

PictureArea PictureAreaOf(uint32_t width, uint32_t height) {
    PictureArea area;
    area.left = width == 180 ? 30 : 0;
    area.width = static_cast<int32_t>(width);
    area.height = static_cast<int32_t>(height);
    return area;
}

PictureArea PictureAreaOf(const RenderState& state) {
    return PictureAreaOf(state.width, state.height);
}

int32_t RoundHalfAway(double value) {
    return static_cast<int32_t>(value < 0 ? -std::floor(-value + 0.5) : std::floor(value + 0.5));
}

} // namespace korvex
