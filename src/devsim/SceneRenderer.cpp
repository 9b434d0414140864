#include "devsim/SceneRenderer.h"

#include "files/ProjectFile.h"
#include "model/RenderState.h"
#include "raster/DetectorRaster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace korvex::devsim {

namespace {

constexpr int W = ScenePicture::kWidth;
constexpr int H = ScenePicture::kHeight;

// Where the camera picture lies on the card's canvas, and its size.
struct CanvasWindow {
    int offsetX = 0, width = W, height = H, canvasWidth = W, canvasHeight = H;
    // The canvas pixel under scene pixel (x, y).
    int CanvasX(int x) const { return offsetX + x * width / W; }
    int CanvasY(int y) const { return y * height / H; }
};

CanvasWindow WindowOf(const RenderState& state) {
    CanvasWindow w;
    w.width = int(state.width);
    w.height = int(state.height);
    w.canvasWidth = int(state.CanvasWidth());
    w.canvasHeight = int(state.CanvasHeight());
    w.offsetX = (w.canvasWidth - w.width) / 2;
    return w;
}

void CopyBackground(const Bitmap* bitmap, const CanvasWindow& window, ScenePicture& out) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = out.rgb.data() + (size_t(y) * W + size_t(x)) * 3;
            const int cx = window.CanvasX(x), cy = window.CanvasY(y);
            if (bitmap && uint32_t(cx) < bitmap->Width() && uint32_t(cy) < bitmap->Height()) {
                const uint8_t* b = bitmap->Row(uint32_t(cy)) + size_t(cx) * 3;
                p[0] = b[2];
                p[1] = b[1];
                p[2] = b[0];
            } else {
                // No picture on the card: a plain grey yard.
                const uint8_t v = uint8_t(y < H * 5 / 12 ? 180 : 100);
                p[0] = p[1] = p[2] = v;
            }
        }
}

// The detector's corners and size in scene pixels.
struct DetectorBox {
    float left, top, right, bottom;
    float CentreX() const { return (left + right) / 2; }
    float CentreY() const { return (top + bottom) / 2; }
    float Width() const { return right - left; }
    float Area() const { return (right - left) * (bottom - top); }
};

DetectorBox BoxOf(const Detector& d, const CanvasWindow& window) {
    const Rect r = d.Bounds();
    const float sx = float(W) / float(window.width), sy = float(H) / float(window.height);
    return {float(r.left - window.offsetX) * sx, float(r.top) * sy, float(r.right - window.offsetX) * sx,
            float(r.bottom) * sy};
}

SceneKind KindOfCard(size_t card) {
    static constexpr SceneKind kinds[] = {SceneKind::Road, SceneKind::Gate, SceneKind::Crossing,
                                          SceneKind::Tunnel};
    return kinds[card % 4];
}

// Adds a perspective lane through the box's centre unless one runs
// there already.
void AddLane(SceneLayout& layout, const DetectorBox& box, bool approaching) {
    SceneLane lane;
    lane.x = box.CentreX();
    lane.y = std::max(box.CentreY(), layout.horizon + 8);
    // A tunnel's detectors span its whole road, a lane's about two cars.
    const float share = layout.kind == SceneKind::Tunnel ? 0.42f : 0.55f;
    lane.vehicleWidth = std::clamp(box.Width() * share, 12.0f, 120.0f);
    lane.approaching = approaching;
    for (const SceneLane& other : layout.lanes) {
        const float s = (other.y - layout.horizon) / (lane.y - layout.horizon);
        const float xThere = layout.vanishX + (lane.x - layout.vanishX) * s;
        if (!other.level && std::abs(xThere - other.x) < other.vehicleWidth * 0.5f)
            return;
    }
    layout.lanes.push_back(lane);
}

SceneLayout LayoutOf(SceneKind kind, std::vector<std::pair<DetectorBox, bool>> boxes) {
    SceneLayout layout;
    layout.kind = kind;
    layout.horizon = kind == SceneKind::Tunnel ? H * 0.61f : H * 0.42f;
    // Largest first: the main area of a card leads its layout.
    std::stable_sort(boxes.begin(), boxes.end(),
                     [](const auto& a, const auto& b) { return a.first.Area() > b.first.Area(); });
    std::erase_if(boxes, [&](const auto& b) { return b.first.bottom <= layout.horizon + 4; });
    if (boxes.empty())
        boxes.push_back({DetectorBox{W * 0.25f, H * 0.78f, W * 0.5f, H * 0.92f}, false});
    switch (kind) {
    case SceneKind::Gate: {
        // The barrier lies across the contrast detector (or the highest
        // one); the lane runs through the lowest detector.
        auto barrier = std::find_if(boxes.begin(), boxes.end(), [](const auto& b) { return b.second; });
        auto highest = std::min_element(boxes.begin(), boxes.end(), [](const auto& a, const auto& b) {
            return a.first.top < b.first.top;
        });
        const DetectorBox& bar = barrier != boxes.end() ? barrier->first : highest->first;
        layout.barrierX = bar.left;
        layout.barrierY = bar.CentreY();
        layout.barrierLength = bar.Width();
        auto lowest = std::max_element(boxes.begin(), boxes.end(), [](const auto& a, const auto& b) {
            return a.first.bottom < b.first.bottom;
        });
        AddLane(layout, lowest->first, true);
        break;
    }
    case SceneKind::Crossing: {
        const DetectorBox& walk = boxes.front().first;
        layout.walkTop = walk.top + 8;
        layout.walkBottom = walk.bottom - 2;
        layout.walkLeft = walk.left;
        layout.walkRight = walk.right;
        for (size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].first.top >= walk.bottom - 4) {
                SceneLane lane;
                lane.level = true;
                lane.y = boxes[i].first.bottom - 2;
                lane.vehicleWidth =
                    std::clamp(boxes[i].first.bottom - boxes[i].first.top, 16.0f, 60.0f) * 1.4f;
                lane.left = 0;
                lane.right = W;
                layout.lanes.push_back(lane);
            }
        break;
    }
    case SceneKind::Road:
    case SceneKind::Tunnel:
        for (const auto& [box, contrast] : boxes)
            AddLane(layout, box, kind == SceneKind::Tunnel || box.CentreX() <= layout.vanishX);
        break;
    }
    return layout;
}

SceneDetector DetectorPixels(const Detector& d, const CanvasWindow& window) {
    SceneDetector out;
    out.number = d.number;
    out.line = d.IsLine();
    const DetectorMask mask =
        ComputeDetectorMask(d, uint32_t(window.canvasWidth), uint32_t(window.canvasHeight));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (mask.At(uint32_t(window.CanvasX(x)), uint32_t(window.CanvasY(y))))
                out.pixels.push_back(uint32_t(y * W + x));
    return out;
}

// Up to about 4000 pixels where the background changes sharply, at least
// `margin` pixels from the border.
std::vector<uint32_t> EdgePixels(const ScenePicture& background, int margin) {
    std::vector<uint32_t> edges;
    for (int y = margin; y < H - margin; ++y)
        for (int x = margin; x < W - margin; ++x) {
            const int g = background.Grey(x, y);
            if (std::abs(g - background.Grey(x + 1, y)) > 24 || std::abs(g - background.Grey(x, y + 1)) > 24)
                edges.push_back(uint32_t(y * W + x));
        }
    const size_t step = edges.size() / 4000 + 1;
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < edges.size(); i += step)
        kept.push_back(edges[i]);
    return kept;
}

// ---- drawing ------------------------------------------------------------------

struct Painter {
    ScenePicture& picture;
    float light;

    void Fill(float left, float top, float right, float bottom, const uint8_t colour[3], bool lit = true) {
        const int x0 = std::max(0, int(std::lround(left))), x1 = std::min(W, int(std::lround(right)));
        const int y0 = std::max(0, int(std::lround(top))), y1 = std::min(H, int(std::lround(bottom)));
        const float k = lit ? light : 1.0f;
        const uint8_t c[3] = {uint8_t(colour[0] * k), uint8_t(colour[1] * k), uint8_t(colour[2] * k)};
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = picture.rgb.data() + (size_t(y) * W + size_t(x0)) * 3;
            for (int x = x0; x < x1; ++x, p += 3) {
                p[0] = c[0];
                p[1] = c[1];
                p[2] = c[2];
            }
        }
    }
    void Disc(float cx, float cy, float r, const uint8_t colour[3], bool lit = true) {
        r = std::max(r, 0.7f);
        for (int y = int(cy - r); y <= int(cy + r) + 1; ++y) {
            const float dy = float(y) + 0.5f - cy;
            if (dy * dy > r * r)
                continue;
            const float half = std::sqrt(r * r - dy * dy);
            Fill(cx - half, float(y), cx + half, float(y + 1), colour, lit);
        }
    }
};

void Shade(const Sprite& s, float k, uint8_t out[3]) {
    out[0] = uint8_t(std::min(255.0f, s.red * k));
    out[1] = uint8_t(std::min(255.0f, s.green * k));
    out[2] = uint8_t(std::min(255.0f, s.blue * k));
}

void DrawVehicle(Painter& p, const Sprite& s) {
    static constexpr uint8_t kShadow[3] = {24, 24, 26};
    static constexpr uint8_t kGlass[3] = {34, 40, 52};
    static constexpr uint8_t kHeadlight[3] = {255, 250, 222};
    static constexpr uint8_t kRearLight[3] = {215, 30, 24};
    static constexpr uint8_t kLampOff[3] = {170, 170, 160};
    const float w = s.width, h = s.height, x = s.x, y = s.y;
    uint8_t body[3], roof[3];
    Shade(s, 1.0f, body);
    Shade(s, 0.82f, roof);
    p.Fill(x - w * 0.52f, y - h * 0.06f, x + w * 0.52f, y + h * 0.05f, kShadow);
    const float cabinHalf = s.shape == Sprite::Shape::Car ? 0.38f : 0.48f;
    const float bodyTop = s.shape == Sprite::Shape::Car ? 0.62f : 0.78f;
    p.Fill(x - w * 0.5f, y - h * bodyTop, x + w * 0.5f, y - h * 0.04f, body);
    p.Fill(x - w * cabinHalf, y - h, x + w * cabinHalf, y - h * bodyTop, roof);
    p.Fill(x - w * (cabinHalf - 0.05f), y - h * (s.shape == Sprite::Shape::Car ? 0.9f : 0.96f),
           x + w * (cabinHalf - 0.05f), y - h * (bodyTop + 0.02f), kGlass);
    const float lampY = y - h * 0.22f, lampR = std::max(0.8f, w * 0.075f);
    const uint8_t* lamp = !s.lights ? kLampOff : s.facing ? kHeadlight : kRearLight;
    for (float side : {-0.34f, 0.34f}) {
        if (s.lights && s.facing)
            p.Disc(x + w * side, lampY, lampR * 1.9f, kHeadlight, false); // glare
        p.Disc(x + w * side, lampY, lampR, lamp, !s.lights);
    }
}

void DrawWalker(Painter& p, const Sprite& s) {
    static constexpr uint8_t kLegs[3] = {44, 44, 54};
    static constexpr uint8_t kSkin[3] = {204, 164, 134};
    uint8_t coat[3];
    Shade(s, 1.0f, coat);
    const float w = s.width, h = s.height;
    p.Fill(s.x - w * 0.32f, s.y - h * 0.42f, s.x + w * 0.32f, s.y, kLegs);
    p.Fill(s.x - w * 0.5f, s.y - h * 0.82f, s.x + w * 0.5f, s.y - h * 0.4f, coat);
    p.Disc(s.x, s.y - h * 0.9f, w * 0.34f, kSkin);
}

void DrawBarrier(Painter& p, const SceneLayout& l, float angle) {
    static constexpr uint8_t kRed[3] = {205, 36, 30};
    static constexpr uint8_t kWhite[3] = {238, 238, 232};
    const float a = angle * 3.14159265f / 180.0f;
    const float dx = std::cos(a), dy = -std::sin(a);
    const int steps = int(l.barrierLength);
    for (int i = 0; i <= steps; ++i) {
        const float x = l.barrierX + dx * float(i), y = l.barrierY + dy * float(i);
        p.Fill(x - 1.5f, y - 2.5f, x + 1.5f, y + 2.5f, (i / 14) % 2 ? kWhite : kRed);
    }
}

// The barrier painted into the background picture is hidden under the
// road seen just above it, so the drawn barrier can swing up.
void CoverPaintedBarrier(ScenePicture& picture, const SceneLayout& l) {
    const int x0 = std::max(0, int(l.barrierX) - 2), x1 = std::min(W, int(l.barrierX + l.barrierLength) + 3);
    const int y0 = std::max(0, int(l.barrierY) - 5), y1 = std::min(H, int(l.barrierY) + 6);
    const int from = std::max(0, y0 - 4);
    for (int y = y0; y < y1; ++y)
        std::copy_n(picture.rgb.data() + (size_t(from) * W + size_t(x0)) * 3, size_t(x1 - x0) * 3,
                    picture.rgb.data() + (size_t(y) * W + size_t(x0)) * 3);
}

float BarrierDepth(const SceneLayout& l) {
    if (l.lanes.empty())
        return 0;
    const float s = (l.barrierY - l.horizon) / std::max(1.0f, l.lanes.front().y - l.horizon);
    return 1.0f / std::max(0.01f, s);
}

void AddNoise(ScenePicture& picture, uint32_t seed, int64_t t_ms) {
    // Light sensor noise: a fixed pattern of -2..2 read from a place that
    // changes every picture.
    static const std::array<int8_t, 8192> pattern = [] {
        std::array<int8_t, 8192> n{};
        for (size_t i = 0; i < n.size(); ++i)
            n[i] = int8_t(int(SceneHash(uint32_t(i), 0x0153u) % 5) - 2);
        return n;
    }();
    size_t at = SceneHash(seed, uint32_t(t_ms / 50)) % pattern.size();
    uint8_t* p = picture.rgb.data();
    for (size_t i = 0; i < size_t(W) * H; ++i, p += 3) {
        const int n = pattern[at];
        at = (at + 1) & (pattern.size() - 1);
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t(std::clamp(p[c] + n, 0, 255));
    }
}

// Source pixel of destination pixel (x, y) of a shifted picture.
int Clamp(int v, int hi) {
    return std::clamp(v, 0, hi - 1);
}

} // namespace

SceneSet::SceneSet(const RenderState& state, uint32_t seed) : seed(seed) {
    const CanvasWindow window = WindowOf(state);
    const size_t count = std::max<size_t>(state.backgrounds.size(), 1);
    cards.resize(std::min<size_t>(count, 8));
    for (size_t i = 0; i < cards.size(); ++i) {
        SceneCard& card = cards[i];
        const Bitmap* bitmap =
            i < state.backgrounds.size() && !state.backgrounds[i].Empty() ? &state.backgrounds[i] : nullptr;
        CopyBackground(bitmap, window, card.background);
        std::vector<std::pair<DetectorBox, bool>> boxes;
        for (const Detector& d : state.detectors) {
            if (d.card != i)
                continue;
            card.detectors.push_back(DetectorPixels(d, window));
            if (!d.IsLine())
                boxes.push_back({BoxOf(d, window), d.contrast});
        }
        card.layout = LayoutOf(KindOfCard(i), std::move(boxes));
        card.edges = EdgePixels(card.background, 8);
    }
}

SceneSet SceneSet::FromProject(const std::string& path, uint32_t seed) {
    try {
        return SceneSet(LoadProject(path), seed);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read the scenes from " + path + ": " + e.what());
    }
}

void SceneSet::RenderEmpty(size_t card, int64_t t_ms, ScenePicture& out) const {
    const SceneCard& c = cards.at(card);
    std::array<uint8_t, 256> lut{};
    const float light = DaylightAt(t_ms);
    for (int v = 0; v < 256; ++v)
        lut[size_t(v)] = uint8_t(float(v) * light);
    const uint8_t* from = c.background.rgb.data();
    uint8_t* to = out.rgb.data();
    for (size_t i = 0; i < c.background.rgb.size(); ++i)
        to[i] = lut[from[i]];
}

void SceneSet::Render(size_t card, int64_t t_ms, ScenePicture& out) const {
    const SceneCard& c = cards.at(card);
    RenderEmpty(card, t_ms, out);
    Painter painter{out, DaylightAt(t_ms)};
    const bool gate = c.layout.kind == SceneKind::Gate;
    if (gate)
        CoverPaintedBarrier(out, c.layout);
    const float barrierDepth = gate ? BarrierDepth(c.layout) : 0;
    bool barrierDrawn = !gate;
    for (const Sprite& s : TrafficAt(c.layout, seed, t_ms)) {
        if (!barrierDrawn && s.depth < barrierDepth) {
            DrawBarrier(painter, c.layout, BarrierAngle(c.layout, seed, t_ms));
            barrierDrawn = true;
        }
        if (s.shape == Sprite::Shape::Walker)
            DrawWalker(painter, s);
        else
            DrawVehicle(painter, s);
    }
    if (!barrierDrawn)
        DrawBarrier(painter, c.layout, BarrierAngle(c.layout, seed, t_ms));
    AddNoise(out, seed + uint32_t(card), t_ms);
}

std::vector<uint8_t> SceneGrey(const ScenePicture& picture, int width, int height, PictureShift shift) {
    std::vector<uint8_t> out(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const int sy = Clamp((y * 2 + 1) * H / (2 * height) - shift.dy, H);
        for (int x = 0; x < width; ++x) {
            const int sx = Clamp((x * 2 + 1) * W / (2 * width) - shift.dx, W);
            out[size_t(y) * size_t(width) + size_t(x)] = picture.Grey(sx, sy);
        }
    }
    return out;
}

std::vector<uint16_t> SceneColour565(const ScenePicture& picture, PictureShift shift) {
    std::vector<uint16_t> out(size_t(W) * H);
    for (int y = 0; y < H; ++y) {
        const int sy = Clamp(y - shift.dy, H);
        for (int x = 0; x < W; ++x) {
            const uint8_t* p = picture.rgb.data() + (size_t(sy) * W + size_t(Clamp(x - shift.dx, W))) * 3;
            out[size_t(y) * W + size_t(x)] = uint16_t((p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3);
        }
    }
    return out;
}

std::vector<uint8_t> SceneLuma(const ScenePicture& picture, int frameWidth, int frameHeight,
                               PictureShift shift) {
    std::vector<uint8_t> luma(size_t(frameWidth) * size_t(frameHeight), 16);
    const int left = (frameWidth - W) / 2, top = (frameHeight - H) / 2;
    const std::vector<uint8_t> grey = SceneGrey(picture, W, H, shift);
    for (int y = 0; y < H; ++y) {
        uint8_t* row = luma.data() + size_t(y + top) * size_t(frameWidth) + size_t(left);
        for (int x = 0; x < W; ++x)
            row[x] = uint8_t(16 + (grey[size_t(y) * W + size_t(x)] * 219 + 127) / 255);
    }
    return luma;
}

} // namespace korvex::devsim
