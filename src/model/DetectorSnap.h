#pragma once

#include "model/RenderState.h"

#include <array>
#include <cstdint>
#include <optional>

namespace korvex {

// Snapping while a detector is edited with the mouse: a dragged corner, or
// the nearest corner of a moved detector, lands exactly on a corner of
// another detector of the same camera when it comes close to one.

struct SnapTarget {
    Point point;           // canvas point to snap to
    int32_t detector = -1; // index of the detector that owns it
    int32_t corner = -1;   // its corner index
    bool operator==(const SnapTarget&) const = default;
};

// The corner of another detector on `card` nearest to `point` (canvas
// coordinates) whose distance is at most `maxDistance` canvas pixels;
// detector `skip` does not count, and a line offers P0 and P1 only. Ties go
// to the earlier detector and corner. None when nothing is that close.
std::optional<SnapTarget> FindSnapTarget(const RenderState& state, uint32_t card, int32_t skip, Point point,
                                         double maxDistance);

// Where corner `corner` of detector `index` goes when dragged by (dx, dy)
// canvas pixels: clamped to the picture as a drag is, then onto the nearest
// snap target within `maxDistance`.
struct CornerSnap {
    Point point;                      // the corner's new place
    std::optional<SnapTarget> target; // what it snapped to
};
CornerSnap SnapCorner(const RenderState& state, int32_t index, int32_t corner, int32_t dx, int32_t dy,
                      double maxDistance);

// A whole-detector move by (dx, dy): of all the detector's corners after the
// move, the one nearest to a snap target within `maxDistance` decides, and
// the offset is changed so that corner lands on its target. Without a
// target the offset stays as given.
struct MoveSnap {
    int32_t dx = 0, dy = 0;
    std::optional<SnapTarget> target;
    int32_t corner = -1; // the moved detector's corner that snapped
};
MoveSnap SnapMove(const RenderState& state, int32_t index, int32_t dx, int32_t dy, double maxDistance);

} // namespace korvex
