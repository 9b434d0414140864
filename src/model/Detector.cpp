#include "model/Detector.h"

#include <algorithm>

namespace korvex {

Detector::Detector(uint32_t divisions, uint32_t pen_width, uint32_t line, uint32_t card, uint32_t number,
                   uint32_t canvasWidth, uint32_t canvasHeight)
    : divisions(divisions), pen_width(pen_width), card(card), number(number),
      exclusion(canvasWidth, canvasHeight), line(line) {}

Rect Detector::Bounds() const {
    Rect r{1000, 1000, 0, 0};
    int count = IsLine() ? 2 : 4;
    for (int i = 0; i < count; ++i) {
        r.left = std::min(r.left, points[i].x);
        r.top = std::min(r.top, points[i].y);
        r.right = std::max(r.right, points[i].x);
        r.bottom = std::max(r.bottom, points[i].y);
    }
    return r;
}

} // namespace korvex
