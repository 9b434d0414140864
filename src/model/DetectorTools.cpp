#include "model/DetectorTools.h"

#include "image/Placement.h"

#include <algorithm>

namespace korvex {

uint32_t NextDetectorNumber(const RenderState& state, uint32_t card) {
    uint32_t highest = 0;
    bool any = false;
    for (const Detector& d : state.detectors) {
        if (d.card == card) {
            highest = any ? std::max(highest, d.number) : d.number;
            any = true;
        }
    }
    return any ? highest + 1 : 1;
}

Point ClampToPicture(const RenderState& state, Point p) {
    int32_t minX = static_cast<int32_t>(PictureLeft(state.width));
    int32_t maxX = static_cast<int32_t>(PictureRight(state.width));
    p.x = std::clamp(p.x, minX, maxX);
    p.y = std::clamp(p.y, 0, std::max(0, static_cast<int32_t>(state.height) - 1));
    return p;
}

int32_t AddDetector(Document& document, const DrawingSettings& settings, std::optional<Point> at) {
    RenderState& state = document.NewRenderState();
    uint32_t number = NextDetectorNumber(state, settings.card);
    Detector d(settings.divisions, settings.pen_width, settings.line, settings.card, number, state.CanvasWidth(),
               state.CanvasHeight());
    if (at) {
        Rect b = d.Bounds();
        int32_t dx = at->x - b.left, dy = at->y - b.top;
        for (Point& p : d.points)
            p = ClampToPicture(state, {p.x + dx, p.y + dy});
    }
    state.detectors.push_back(std::move(d));
    state.selected = static_cast<int32_t>(state.detectors.size()) - 1;
    return state.selected;
}

bool ApplyPenWidth(Document& document, DrawingSettings& settings, uint32_t pen_width) {
    const Detector* sel = document.Current().SelectedDetector();
    if (!sel) {
        settings.pen_width = pen_width;
        return false;
    }
    if (sel->pen_width == pen_width)
        return false;
    RenderState copy = document.Current();
    copy.SelectedDetector()->pen_width = pen_width;
    document.NewRenderState(std::move(copy));
    return true;
}

bool ApplyFillDivisions(Document& document, DrawingSettings& settings, int32_t fill, uint32_t divisions) {
    const Detector* sel = document.Current().SelectedDetector();
    if (!sel) {
        settings.fill = fill;
        settings.divisions = divisions;
        return false;
    }
    if (sel->fill == fill && sel->divisions == divisions)
        return false;
    RenderState copy = document.Current();
    copy.SelectedDetector()->fill = fill;
    copy.SelectedDetector()->divisions = divisions;
    document.NewRenderState(std::move(copy));
    return true;
}

} // namespace korvex
