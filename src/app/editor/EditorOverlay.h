#pragma once

#include "model/Detector.h"

#include <QImage>
#include <array>
#include <cstdint>

namespace korvex {

// Marks drawn over a zoomed canvas picture (zoomed picture pixels) to help
// with exact editing.

// The zoom from which the selected detector shows its corner numbers.
inline constexpr int32_t kCornerNumbersZoom = 2;

// Draws the corner numbers 1..count next to the handles of the corners,
// each pushed outwards from the detector's centre so it does not cover the
// shape: the order the dividing lines and the direction follow.
void DrawCornerNumbers(QImage& zoomed, const std::array<Point, 4>& points, int count, int32_t zoom);

// A ring with a cross over canvas point `target`: the corner a dragged
// corner will snap to.
void DrawSnapMarker(QImage& zoomed, Point target, int32_t zoom);

} // namespace korvex
