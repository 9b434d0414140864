#pragma once

#include "raster/DetectorRaster.h"

#include <set>
#include <utility>

namespace korvex::test {

using PixelSet = std::set<std::pair<int, int>>; // (x, y)

// Every covered pixel of a raster, in (x, y) order.
inline PixelSet CoveredPixels(const DetectorRaster& raster) {
    PixelSet out;
    for (int y = 0; y < int(DetectorRaster::kHeight); ++y)
        for (int x = 0; x < int(DetectorRaster::kWidth); ++x)
            if (raster.Covered(x, y))
                out.insert({x, y});
    return out;
}

inline PixelSet Rect(int x0, int y0, int x1, int y1) { // inclusive
    PixelSet out;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            out.insert({x, y});
    return out;
}

// A quadrilateral detector with the given drawing parameters.
inline Detector Quad(std::array<Point, 4> points, int32_t fill, uint32_t divisions, uint32_t penWidth) {
    Detector d(divisions, penWidth, 0, 0, 1, 320, 240);
    d.points = points;
    d.fill = fill;
    return d;
}

inline const std::array<Point, 4> kSquare{{{10, 10}, {20, 10}, {20, 20}, {10, 20}}};

} // namespace korvex::test
