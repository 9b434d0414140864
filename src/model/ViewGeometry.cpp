#include "model/ViewGeometry.h"

#include "model/DetectorGeometry.h"

#include <algorithm>

namespace korvex {

ViewGeometry::ViewGeometry(const RenderState& state, int32_t zoom)
    : state(&state), w(static_cast<int32_t>(state.width)), h(static_cast<int32_t>(state.height)), zoom(zoom),
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

Point ViewGeometry::InPicture(int32_t card, int32_t x, int32_t y) const {
    Rect r = CardArea(std::max(card, 0));
    return {x - r.left, y - r.top};
}

Point ViewGeometry::ToCanvas(int32_t card, int32_t x, int32_t y) const {
    Point p = InPicture(card, x, y);
    return PictureToCanvas(*state, p.x, p.y, zoom);
}

int32_t ViewGeometry::ViewWidth() const { return 2 * w * zoom + 32; }

int32_t ViewGeometry::ViewHeight() const { return ((cards + 1) / 2) * (h * zoom + 16); }

} // namespace korvex
