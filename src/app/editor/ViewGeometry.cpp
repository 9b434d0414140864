#include "app/editor/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace korvex {

ViewGeometry::ViewGeometry(const RenderState& state, int32_t zoom)
    : w(static_cast<int32_t>(state.width)), h(static_cast<int32_t>(state.height)), zoom(zoom),
      cards(static_cast<int32_t>(state.backgrounds.size() % 256)) {}

Rect ViewGeometry::CardArea(int32_t card) const {
    int32_t left = (card % 2 == 0) ? 1 : w * zoom + 17;
    int32_t top = (h * zoom + 16) * (card / 2) + 1;
    return {left, top, left + w * zoom, top + h * zoom};
}

int32_t ViewGeometry::CardAt(int32_t x, int32_t y) const {
    for (int32_t i = 0; i < cards; ++i) {
        Rect r = CardArea(i);
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return i;
    }
    return -1;
}

Point ViewGeometry::ToCanvas(int32_t card, int32_t x, int32_t y) const {
    Rect r = CardArea(std::max(card, 0));
    int32_t cx = (x - r.left) / zoom; // C++ division truncates towards zero
    int32_t cy = (y - r.top) / zoom;
    if (w == 180) {
        cx = cx < 0 ? 30 : (cx >= 180 ? 209 : 30 + cx);
        cy = std::clamp(cy, 0, 143);
    } else {
        cx = std::clamp(cx, 0, std::max(0, w - 1));
        cy = std::clamp(cy, 0, std::max(0, h - 1));
    }
    return {cx, cy};
}

int32_t ViewGeometry::ClampX(int32_t x) const {
    if (w == 180)
        return std::clamp(x, 30, 209);
    return std::clamp(x, 0, std::max(0, w - 1));
}

int32_t ViewGeometry::ClampY(int32_t y) const { return std::clamp(y, 0, std::max(0, h - 1)); }

int32_t ViewGeometry::ViewWidth() const { return 2 * w * zoom + 32; }

int32_t ViewGeometry::ViewHeight() const { return ((cards + 1) / 2) * (h * zoom + 16); }

int32_t CornerAt(const Detector& d, Point p) {
    int32_t corners = d.IsLine() ? 2 : 4;
    for (int32_t k = 0; k < corners; ++k) {
        const Point& c = d.points[static_cast<size_t>(k)];
        if (p.x >= c.x - 3 && p.x < c.x + 3 && p.y >= c.y - 3 && p.y < c.y + 3)
            return k;
    }
    return -1;
}

std::vector<int32_t> DetectorsAt(const RenderState& state, int32_t card, Point p) {
    std::vector<int32_t> hits;
    for (size_t i = 0; i < state.detectors.size(); ++i) {
        const Detector& d = state.detectors[i];
        if (static_cast<int64_t>(d.card) != card)
            continue;
        Rect b = d.Bounds();
        if (p.x >= b.left && p.x <= b.right && p.y >= b.top && p.y <= b.bottom)
            hits.push_back(static_cast<int32_t>(i));
    }
    return hits;
}

int32_t CycleHit(const std::vector<int32_t>& hits, int32_t selected) {
    if (hits.empty())
        return -1;
    if (hits.size() == 1 || selected < 0)
        return hits.front();
    auto it = std::find(hits.begin(), hits.end(), selected);
    if (it == hits.end() || std::next(it) == hits.end())
        return hits.front();
    return *std::next(it);
}

uint32_t AngleOf(Point start, Point end, uint32_t old) {
    float dx = static_cast<float>(end.x - start.x);
    float dy = static_cast<float>(end.y - start.y);
    if (dx == 0.0f && dy == 0.0f)
        return old;
    float len = std::sqrt(dx * dx + dy * dy);
    float a = std::atan2(dy / len, dx / len);
    int32_t d = static_cast<int32_t>(std::floor(a * 57.295826f + 0.5f));
    int32_t r = 450 - d;
    if (r >= 360)
        r -= 360;
    return static_cast<uint32_t>(r);
}

} // namespace korvex
