#include "model/DetectorGeometry.h"

#include <algorithm>
#include <cmath>

namespace korvex {

PictureSpan PictureOnCanvas(const RenderState& state) {
    const int32_t w = static_cast<int32_t>(state.width), h = static_cast<int32_t>(state.height);
    const int32_t canvas = static_cast<int32_t>(state.CanvasWidth());
    const int32_t left = (canvas - w) / 2;
    return {left, 0, left + std::max(w, 1) - 1, std::max(h, 1) - 1};
}

Point ClampToPicture(const RenderState& state, Point p) {
    PictureSpan span = PictureOnCanvas(state);
    return {std::clamp(p.x, span.left, span.right), std::clamp(p.y, span.top, span.bottom)};
}

Point PictureToCanvas(const RenderState& state, int32_t x, int32_t y, int32_t zoom) {
    PictureSpan span = PictureOnCanvas(state);
    zoom = std::max(zoom, 1);
    return ClampToPicture(state, {span.left + x / zoom, span.top + y / zoom});
}

Bitmap BackgroundOnCanvas(const RenderState& state, size_t card) {
    const uint32_t cw = state.CanvasWidth(), ch = state.CanvasHeight();
    if (card >= state.backgrounds.size())
        return Bitmap(cw, ch);
    const Bitmap& bg = state.backgrounds[card];
    if (bg.Width() == cw && bg.Height() == ch)
        return bg;
    Bitmap canvas(cw, ch);
    if (!bg.Empty()) {
        uint32_t rows = std::min(bg.Height(), ch), cols = std::min(bg.Width(), cw);
        for (uint32_t y = 0; y < rows; ++y)
            std::copy_n(bg.Row(y), size_t(cols) * 3, canvas.Row(y));
    }
    return canvas;
}

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

std::array<uint32_t, 8> CardNumbers(const RenderState& state) {
    std::array<uint32_t, 8> words{};
    for (const Detector& d : state.detectors)
        if (d.card < 8 && d.number >= 1 && d.number <= 32)
            words[d.card] |= 1u << (d.number - 1);
    return words;
}

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
