#include "model/DetectorSnap.h"

#include "model/DetectorGeometry.h"
#include "model/PictureCoordinates.h"

namespace korvex {

namespace {

double Distance2(Point a, Point b) {
    double dx = double(a.x) - b.x, dy = double(a.y) - b.y;
    return dx * dx + dy * dy;
}

const Detector* DetectorAt(const RenderState& state, int32_t index) {
    if (index < 0 || size_t(index) >= state.detectors.size())
        return nullptr;
    return &state.detectors[size_t(index)];
}

} // namespace

std::optional<SnapTarget> FindSnapTarget(const RenderState& state, uint32_t card, int32_t skip, Point point,
                                         double maxDistance) {
    if (maxDistance < 0)
        return std::nullopt;
    std::optional<SnapTarget> best;
    double bestDistance2 = maxDistance * maxDistance;
    for (size_t i = 0; i < state.detectors.size(); ++i) {
        const Detector& d = state.detectors[i];
        if (int32_t(i) == skip || d.card != card)
            continue;
        for (int k = 0; k < CornerCount(d); ++k) {
            double d2 = Distance2(point, d.points[size_t(k)]);
            if (d2 < bestDistance2 || (!best && d2 <= bestDistance2)) {
                best = SnapTarget{d.points[size_t(k)], int32_t(i), k};
                bestDistance2 = d2;
            }
        }
    }
    return best;
}

CornerSnap SnapCorner(const RenderState& state, int32_t index, int32_t corner, int32_t dx, int32_t dy,
                      double maxDistance) {
    CornerSnap result;
    const Detector* d = DetectorAt(state, index);
    if (!d || corner < 0 || corner >= CornerCount(*d))
        return result;
    Point p = d->points[size_t(corner)];
    result.point = ClampToPicture(state, {p.x + dx, p.y + dy});
    result.target = FindSnapTarget(state, d->card, index, result.point, maxDistance);
    if (result.target)
        result.point = result.target->point;
    return result;
}

MoveSnap SnapMove(const RenderState& state, int32_t index, int32_t dx, int32_t dy, double maxDistance) {
    MoveSnap result;
    result.dx = dx;
    result.dy = dy;
    const Detector* d = DetectorAt(state, index);
    if (!d)
        return result;
    double best2 = 0;
    for (int k = 0; k < CornerCount(*d); ++k) {
        Point moved = ClampToPicture(state, {d->points[size_t(k)].x + dx, d->points[size_t(k)].y + dy});
        auto target = FindSnapTarget(state, d->card, index, moved, maxDistance);
        if (!target)
            continue;
        double d2 = Distance2(moved, target->point);
        if (!result.target || d2 < best2) {
            best2 = d2;
            result.target = target;
            result.corner = k;
        }
    }
    if (result.target) {
        result.dx = result.target->point.x - d->points[size_t(result.corner)].x;
        result.dy = result.target->point.y - d->points[size_t(result.corner)].y;
    }
    return result;
}

} // namespace korvex
