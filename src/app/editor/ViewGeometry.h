#pragma once

#include "model/Detector.h"
#include "model/RenderState.h"

#include <cstdint>
#include <vector>

namespace korvex {

// The main view's geometry for one state and zoom: where each camera card's
// picture sits in the view, and how view pixels map to canvas pixels.
class ViewGeometry {
public:
    ViewGeometry(const RenderState& state, int32_t zoom);

    int32_t Zoom() const { return zoom; }
    // Cards shown: the number of backgrounds taken modulo 256.
    int32_t CardCount() const { return cards; }
    // Picture area of card i: [left, right) x [top, bottom).
    Rect CardArea(int32_t card) const;
    // The first card whose picture area holds the point, -1 if none.
    int32_t CardAt(int32_t x, int32_t y) const;
    // A view point as a canvas point of `card`, clamped to the picture.
    Point ToCanvas(int32_t card, int32_t x, int32_t y) const;
    int32_t ClampX(int32_t x) const;
    int32_t ClampY(int32_t y) const;
    // The view's size: 2·w·z + 32 by rows·(h·z + 16).
    int32_t ViewWidth() const;
    int32_t ViewHeight() const;

private:
    int32_t w, h, zoom, cards;
};

// The corner of `d` whose 6 x 6 handle square ([x - 3, x + 3) on both axes)
// holds canvas point `p`, -1 if none; the first hit wins. Lines have two.
int32_t CornerAt(const Detector& d, Point p);

// The indices, in detector order, of the detectors on `card` whose bounds
// hold `p` (inclusive on every side).
std::vector<int32_t> DetectorsAt(const RenderState& state, int32_t card, Point p);

// The detector a click picks among `hits`: none when empty; the first when
// nothing is selected or the selection is not among them; otherwise the one
// after the selection, wrapping round, so repeated clicks cycle A, B, C, A.
int32_t CycleHit(const std::vector<int32_t>& hits, int32_t selected);

// The direction of a drag from `start` to `end` in view pixels (y down):
// down 0, right 90, up 180, left 270; `old` when the points coincide.
uint32_t AngleOf(Point start, Point end, uint32_t old);

} // namespace korvex
