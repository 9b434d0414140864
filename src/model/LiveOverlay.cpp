#include "model/LiveOverlay.h"

#include "image/Placement.h"

#include <algorithm>
#include <cmath>

namespace korvex {

namespace {

double DistanceToSegment(double x, double y, Point a, Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? ((x - a.x) * vx + (y - a.y) * vy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (a.x + t * vx), y - (a.y + t * vy));
}

// Even-odd rule over the four corners, edges counted as inside.
bool Inside(const std::array<Point, 4>& p, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = 3; i < 4; j = i++) {
        if (DistanceToSegment(x, y, p[i], p[j]) <= 0.5)
            return true;
        if ((p[i].y > y) != (p[j].y > y) &&
            x < double(p[j].x - p[i].x) * (y - p[i].y) / double(p[j].y - p[i].y) + p[i].x)
            in = !in;
    }
    return in;
}

} // namespace

LiveOverlayShapes LiveOverlayOf(const RenderState& state, int32_t selected) {
    LiveOverlayShapes out;
    const int32_t left = int32_t(PictureLeft(state.width));
    for (size_t i = 0; i < state.detectors.size(); ++i) {
        const Detector& d = state.detectors[i];
        if (d.card >= out.size())
            continue;
        OverlayShape s;
        s.index = int32_t(i);
        s.name = DetectorName(d);
        s.line = d.IsLine();
        s.selected = selected == int32_t(i);
        for (size_t k = 0; k < 4; ++k)
            s.points[k] = {d.points[k].x - left, d.points[k].y};
        const Rect bounds = d.Bounds();
        s.labelAt = {bounds.left - left, bounds.top};
        out[d.card].push_back(std::move(s));
    }
    return out;
}

int32_t OverlayDetectorAt(const std::vector<OverlayShape>& shapes, double x, double y, double reach) {
    for (auto it = shapes.rbegin(); it != shapes.rend(); ++it) {
        const bool hit = it->line ? DistanceToSegment(x, y, it->points[0], it->points[1]) <= reach
                                  : Inside(it->points, x, y);
        if (hit)
            return it->index;
    }
    return -1;
}

} // namespace korvex
