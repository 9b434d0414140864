#pragma once

#include "image/Bitmap.h"

#include <array>
#include <cstdint>

namespace korvex {

struct Point {
    int32_t x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

// One detector: a quadrilateral (or a line through P0 and P1) in canvas
// coordinates with its parameters and exclusion map.
struct Detector {
    std::array<Point, 4> points{{{50, 40}, {70, 40}, {80, 80}, {40, 80}}};
    uint32_t divisions = 1;
    uint32_t pen_width = 1;
    int32_t fill = 0;
    uint32_t card = 0;
    uint32_t number = 1;
    uint32_t delay = 0;  // ms
    uint32_t extend = 0; // ms
    Bitmap exclusion;
    uint32_t line = 0;
    bool contrast = false;
    bool directional = false;
    uint32_t feature_threshold = 880;
    uint32_t angle = 0;
    uint32_t threshold = 3;

    Detector() = default;
    // A new detector as the add command makes it, with an all-white
    // exclusion map of the canvas size.
    Detector(uint32_t divisions, uint32_t pen_width, uint32_t line, uint32_t card, uint32_t number,
             uint32_t canvasWidth, uint32_t canvasHeight);

    bool IsLine() const { return line != 0; }
    // (min x, min y, max x, max y) over P0, P1 for a line and P0..P3
    // otherwise.
    Rect Bounds() const;

    bool operator==(const Detector&) const = default;
};

} // namespace korvex
