#pragma once

#include "image/Bitmap.h"
#include "model/DetectorEdits.h"
#include "model/RenderState.h"

#include <cstdint>

namespace korvex {

// What camera `card` should see according to the project: the card's
// background cut to the camera picture (state.width x state.height, the
// canvas columns the picture occupies). Empty when there is no such card.
Bitmap CameraPictureOf(const RenderState& state, uint32_t card);

// Moves every detector on `card` by (dx, dy) canvas pixels, so that they
// follow a camera whose picture moved by that much: one state, each corner
// clamped to the picture as a drag clamps it, exclusion maps cleared. The
// selection stays. The card's background moves with them, so that it shows
// the scene as the camera now sees it and the camera is no longer taken as
// moved; the strip that comes into view is taken from `seen` (the camera's
// picture now) when it has the picture's size, else keeps what was there.
// NoSuchCard for a card without background, NoMovement when no corner would
// move (no detectors there, or all at the edge) and (dx, dy) is (0, 0).
EditResult FollowCamera(Document& document, uint32_t card, int32_t dx, int32_t dy, const Bitmap& seen = {});

} // namespace korvex
