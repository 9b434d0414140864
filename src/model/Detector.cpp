#include "model/Detector.h"

#include <algorithm>

namespace korvex {

Detector::Detector(uint32_t divisions, uint32_t pen_width, uint32_t line, uint32_t card, uint32_t number,
                   uint32_t canvasWidth, uint32_t canvasHeight)
    : divisions(divisions), pen_width(pen_width), card(card), number(number),
      exclusion(Bitmap::White(canvasWidth, canvasHeight)), line(line) {}

Rect Detector::Bounds() const {
    // Start from P0: coordinates anywhere in the 32-bit range (a file may
    // hold corners above 1000 or entirely negative) bound correctly.
    Rect r{points[0].x, points[0].y, points[0].x, points[0].y};
    int count = IsLine() ? 2 : 4;
    for (int i = 1; i < count; ++i) {
        r.left = std::min(r.left, points[i].x);
        r.top = std::min(r.top, points[i].y);
        r.right = std::max(r.right, points[i].x);
        r.bottom = std::max(r.bottom, points[i].y);
    }
    return r;
}

} // namespace korvex
