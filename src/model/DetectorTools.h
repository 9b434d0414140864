#pragma once

#include "model/Document.h"

#include <optional>

namespace korvex {

// The main view's settings for the next new detector.
struct DrawingSettings {
    uint32_t card = 0;
    uint32_t divisions = 1;
    uint32_t pen_width = 1;
    uint32_t line = 0;
    int32_t fill = 0;
};

// The next free number on `card`: one more than the largest there, 1 when
// the card has none.
uint32_t NextDetectorNumber(const RenderState& state, uint32_t card);

// Adds a detector as the add command does (one undo step) and selects it.
// With `at`, the detector is moved so its bounds start there, then every
// point is clamped to the camera picture. Returns the new detector's index.
int32_t AddDetector(Document& document, const DrawingSettings& settings, std::optional<Point> at = {});

// Clamps a point to the camera picture of `state` (columns PictureLeft ..
// PictureRight of its width: 30..209 for 180, 24..215 for 192, else
// 0..width-1; rows 0..height-1).
Point ClampToPicture(const RenderState& state, Point p);

// The drawing presets. With a detector selected they change it (one undo
// step, nothing when it already has the value); without one they change
// `settings`. Return true when the document changed.
bool ApplyPenWidth(Document& document, DrawingSettings& settings, uint32_t pen_width);
bool ApplyFillDivisions(Document& document, DrawingSettings& settings, int32_t fill, uint32_t divisions);

} // namespace korvex
