#include "model/CameraFollow.h"

#include "image/Placement.h"
#include "model/DetectorGeometry.h"

#include <algorithm>
#include <cstring>

namespace korvex {

Bitmap CameraPictureOf(const RenderState& state, uint32_t card) {
    if (card >= state.backgrounds.size() || state.width == 0 || state.height == 0 || state.width % 4 != 0)
        return {};
    const Bitmap canvas = BackgroundOnCanvas(state, card);
    Bitmap out(state.width, state.height);
    const uint32_t left = PictureLeft(state.width);
    const uint32_t columns = std::min(state.width, canvas.Width() > left ? canvas.Width() - left : 0u);
    const uint32_t rows = std::min(state.height, canvas.Height());
    for (uint32_t y = 0; y < rows; ++y)
        std::memcpy(out.Row(y), canvas.Row(y) + size_t(left) * 3, size_t(columns) * 3);
    return out;
}

namespace {

// The picture area of `background` (a canvas-size copy) moved by (dx, dy).
Bitmap MovedBackground(const RenderState& state, uint32_t card, int32_t dx, int32_t dy, const Bitmap& seen) {
    Bitmap canvas = BackgroundOnCanvas(state, card);
    const Bitmap before = canvas;
    const int32_t left = int32_t(PictureLeft(state.width)), w = int32_t(state.width),
                  h = int32_t(state.height);
    const bool fromSeen = seen.Width() == state.width && seen.Height() == state.height;
    for (int32_t y = 0; y < h && y < int32_t(canvas.Height()); ++y)
        for (int32_t x = 0; x < w && left + x < int32_t(canvas.Width()); ++x) {
            const int32_t sx = x - dx, sy = y - dy;
            const uint8_t* from = nullptr;
            if (sx >= 0 && sy >= 0 && sx < w && sy < h)
                from = before.Row(uint32_t(sy)) + size_t(left + sx) * 3;
            else if (fromSeen)
                from = seen.Row(uint32_t(y)) + size_t(x) * 3;
            if (from)
                std::memcpy(canvas.Row(uint32_t(y)) + size_t(left + x) * 3, from, 3);
        }
    return canvas;
}

} // namespace

EditResult FollowCamera(Document& document, uint32_t card, int32_t dx, int32_t dy, const Bitmap& seen) {
    const RenderState& current = document.Current();
    if (card >= current.backgrounds.size())
        return {EditRefusal::NoSuchCard, -1};
    RenderState next = current;
    bool moved = false;
    for (Detector& d : next.detectors) {
        if (d.card != card)
            continue;
        for (Point& p : d.points) {
            const Point q = ClampToPicture(next, {p.x + dx, p.y + dy});
            moved = moved || q.x != p.x || q.y != p.y;
            p = q;
        }
        d.exclusion = Bitmap::White(d.exclusion.Width(), d.exclusion.Height());
    }
    if (!moved && dx == 0 && dy == 0)
        return {EditRefusal::NoMovement, -1};
    next.backgrounds[card] = MovedBackground(current, card, dx, dy, seen);
    const int32_t selected = document.SelectedIndex();
    document.NewRenderState(std::move(next));
    return {EditRefusal::None, selected};
}

} // namespace korvex
