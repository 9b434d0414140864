#pragma once

#include "image/Bitmap.h"
#include "model/Detector.h"
#include "model/RenderState.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvex {

// Where the camera picture sits on the canvas: inclusive columns and rows.
// A picture narrower than the 240-wide canvas is centred on it (columns
// 30..209 for 180, 24..215 for 192); a wider one fills it from column 0.
struct PictureSpan {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
PictureSpan PictureOnCanvas(const RenderState& state);

// A canvas point moved onto the camera picture (each axis clamped).
Point ClampToPicture(const RenderState& state, Point p);

// The canvas pixel under point (x, y) of the picture as it is shown at
// `zoom` ((0, 0) = the picture's top-left corner), clamped to the picture.
// The division truncates towards zero, as the view's arithmetic does.
Point PictureToCanvas(const RenderState& state, int32_t x, int32_t y, int32_t zoom);

// Background `card` as it shows on the canvas: a canvas-size picture as it
// is; any other size placed at the origin of a white canvas-size picture
// and cut at its edges; an empty or missing one all white.
Bitmap BackgroundOnCanvas(const RenderState& state, size_t card);

// The next free number on `card`: one more than the largest there, 1 when
// the card has none.
uint32_t NextDetectorNumber(const RenderState& state, uint32_t card);

// Bit (number - 1) of word card for every detector numbered 1..32 on
// cards 0..7.
std::array<uint32_t, 8> CardNumbers(const RenderState& state);

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
