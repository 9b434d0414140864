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

EditResult FollowCamera(Document& document, uint32_t card, int32_t dx, int32_t dy) {
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
        d.exclusion = Bitmap(d.exclusion.Width(), d.exclusion.Height());
    }
    if (!moved)
        return {EditRefusal::NoMovement, -1};
    const int32_t selected = next.selected;
    document.NewRenderState(std::move(next));
    return {EditRefusal::None, selected};
}

} // namespace korvex
