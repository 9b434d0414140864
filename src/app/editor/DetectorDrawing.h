#pragma once

#include "image/Bitmap.h"
#include "model/Detector.h"

#include <QImage>
#include <array>
#include <cstdint>

namespace korvex {

// What drawing a detector reports: which detector and how many pixels its
// area covers.
struct DrawnArea {
    uint32_t card = 0;
    uint32_t number = 0;
    uint32_t count = 0;
};

// Draws a detector onto a canvas-size picture the way the device sees its
// area, with handles when selected.
DrawnArea DrawDetectorOnCanvas(Bitmap& canvas, const std::array<Point, 4>& points, const Detector& detector,
                               int32_t activePoint, bool selected);

// Draws the direction arrow of a directional detector on the zoomed picture,
// turned by `angle`; with `guide`, a red line joins guideFrom and guideTo
// (zoomed picture pixels).
void DrawDirectionArrowOn(QImage& zoomed, const std::array<Point, 4>& points, bool line, uint32_t angle,
                          int32_t zoom);
void DrawGuideLine(QImage& zoomed, QPoint from, QPoint to);

// A QImage that shares the pixels of `bitmap` (24-bit, BGR order).
QImage ImageOf(const Bitmap& bitmap);

} // namespace korvex
