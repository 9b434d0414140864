#pragma once

#include "model/Detector.h"
#include "model/RenderState.h"

#include <cstdint>

namespace korvex {

// The main view's geometry for one state and zoom: where each camera card's
// picture sits in the view, and how view pixels map to canvas pixels. It
// refers to the state, which must outlive it.
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
    // A view point relative to the top-left corner of card's picture.
    Point InPicture(int32_t card, int32_t x, int32_t y) const;
    // A view point as a canvas point of `card`, clamped to the picture.
    Point ToCanvas(int32_t card, int32_t x, int32_t y) const;
    // The view's size: 2·w·z + 32 by rows·(h·z + 16).
    int32_t ViewWidth() const;
    int32_t ViewHeight() const;

private:
    const RenderState* state;
    int32_t w, h, zoom, cards;
};

} // namespace korvex
