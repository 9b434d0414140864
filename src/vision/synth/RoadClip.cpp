#include "vision/synth/RoadClip.h"

#include <algorithm>
#include <cmath>

namespace korvex::vision::synth {

namespace {

// Small deterministic generator (xorshift) for the clip's choices and noise.
struct Random {
    uint32_t state;
    explicit Random(uint32_t s) : state(s * 2654435761u + 0x9E3779B9u) {
        if (!state)
            state = 1;
        for (int i = 0; i < 4; ++i)
            Next();
    }
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * (Next() >> 8) * (1.0 / 16777216.0); }
    int Int(int lo, int hi) { return lo + int(Next() % uint32_t(hi - lo + 1)); }
};

uint8_t Clamp(double v) {
    return uint8_t(std::clamp(v, 0.0, 255.0));
}

// Depth at which a vehicle leaves the picture towards the camera (the
// bottom row is depth 1).
constexpr double kNearest = 0.5;

} // namespace

double RoadClip::ColumnAt(double bottomColumn, double y) const {
    return vanishX + (bottomColumn - vanishX) * (y - vanishY) / (config.height - vanishY);
}

RoadClip::RoadClip(const RoadConfig& c, uint32_t s) : config(c), seed(s) {
    Random r(seed);
    const double W = config.width, H = config.height;
    frames = int(std::lround(config.seconds * config.fps));
    vanishY = r.Uniform(config.horizonMin, config.horizonMax);
    vanishX = W / 2 + r.Uniform(-config.vanishShift, config.vanishShift);
    roadTop = std::max(2.0, vanishY + config.roadGap);
    const int drawn = r.Int(config.minLanes, config.maxLanes);
    const int n = config.directions.empty() ? drawn : int(config.directions.size());
    const double roadWidth = r.Uniform(config.bottomWidthMin, config.bottomWidthMax);
    const double roadLeft = W / 2 + r.Uniform(-config.roadShift, config.roadShift) - roadWidth / 2;
    const int split = config.mixedDirections ? r.Int(0, n) : (r.Next() & 1 ? 0 : n);
    for (int i = 0; i < n; ++i) {
        LaneGeometry g;
        g.left = roadLeft + roadWidth * i / n;
        g.right = roadLeft + roadWidth * (i + 1) / n;
        g.direction = config.directions.empty() ? (i < split ? Direction::Up : Direction::Down)
                                                : config.directions[size_t(i)];
        g.cross = r.Uniform(config.crossMin, config.crossMax);
        lanes.push_back(g);
        TruthLane t;
        t.direction = g.direction;
        t.polygon = {{{ColumnAt(g.left, roadTop), roadTop},
                      {ColumnAt(g.right, roadTop), roadTop},
                      {g.right, H - 1},
                      {g.left, H - 1}}};
        truth.push_back(t);
    }
    // Traffic: each lane at its own pace, never two vehicles on top of each
    // other (same speed within a lane, a gap of a third of the crossing).
    for (int i = 0; i < n; ++i) {
        const double rate = r.Uniform(config.rateMin, config.rateMax) / 60;
        double t = -lanes[size_t(i)].cross * r.Uniform(0.2, 1.0);
        while (t < config.seconds) {
            Vehicle v;
            v.lane = i;
            v.start = t;
            v.size = r.Uniform(config.sizeMin, config.sizeMax);
            v.length = r.Uniform(config.lengthMin, config.lengthMax);
            v.offset = r.Uniform(-config.wander, config.wander);
            const bool dull = r.Uniform(0, 1) < config.dullShare;
            const double body = dull ? 105 + r.Uniform(25, 40) * (r.Next() & 1 ? 1 : -1)
                                     : (r.Next() & 1 ? r.Uniform(15, 70) : r.Uniform(150, 240));
            v.body = Clamp(body);
            v.glass = Clamp(body < 105 ? body + 35 : body - 70);
            vehicles.push_back(v);
            const double cross = lanes[size_t(i)].cross;
            if (t + cross * 0.9 > 0)
                ++truth[size_t(i)].vehicles;
            t += std::max(cross * 0.35, -std::log(std::max(1e-6, r.Uniform(0, 1))) / rate);
        }
    }
    PaintScene(roadLeft, roadWidth);
}

// The still scene: sky and buildings, verges, the road and its markings.
void RoadClip::PaintScene(double roadLeft, double roadWidth) {
    const double H = config.height;
    const int n = int(lanes.size());
    background = GreyPicture(config.width, config.height);
    Random texture(seed ^ 0xA5A5A5A5u);
    for (int b = 0; b < 8; ++b) {
        const int x0 = texture.Int(0, config.width - 20), w = texture.Int(10, 60);
        const int h = texture.Int(5, 40);
        const uint8_t g = Clamp(texture.Uniform(60, 200));
        for (int y = std::max(0, int(roadTop) - h); y < int(roadTop) && y < config.height; ++y)
            for (int x = x0; x < std::min(config.width, x0 + w); ++x)
                background.At(x, y) = g;
    }
    const double verge = texture.Uniform(60, 150), road = texture.Uniform(90, 120);
    const double roadRight = roadLeft + roadWidth;
    for (int y = 0; y < config.height; ++y)
        for (int x = 0; x < config.width; ++x) {
            uint8_t& p = background.At(x, y);
            const double grain = double(texture.Next() % 9) - 4;
            if (y < roadTop) {
                if (p == 0)
                    p = Clamp(170 - 40.0 * y / std::max(1.0, roadTop) + grain);
                continue;
            }
            const double l = ColumnAt(roadLeft, y), rr = ColumnAt(roadRight, y);
            p = Clamp((x >= l && x <= rr ? road : verge) + grain);
        }
    // Markings: solid at the road's edges, dashed between lanes.
    for (int y = int(std::ceil(roadTop)); y < config.height; ++y) {
        const double depth = (H - vanishY) / (y - vanishY);
        const double laneWidth = (ColumnAt(roadRight, y) - ColumnAt(roadLeft, y)) / n;
        const int thick = std::max(1, int(laneWidth * 0.05));
        for (int i = 0; i <= n; ++i) {
            const bool dashed = i > 0 && i < n;
            if (dashed && std::fmod(depth * 2, 1.0) > 0.5)
                continue;
            const int x0 = int(ColumnAt(roadLeft + roadWidth * i / n, y)) - thick / 2;
            for (int x = std::max(0, x0); x < std::min(config.width, x0 + thick); ++x)
                background.At(x, y) = 205;
        }
    }
}

void RoadClip::DrawVehicle(const Vehicle& v, double t, GreyPicture& out) const {
    const LaneGeometry& g = lanes[size_t(v.lane)];
    const double s = (t - v.start) / g.cross;
    if (s < 0 || s > 1)
        return;
    const double H = config.height;
    const double far = (H - vanishY) / (roadTop - vanishY);
    // Depth falls (or rises) evenly: a vehicle keeps its speed.
    const double progress = g.direction == Direction::Down ? s : 1 - s;
    const double depth = far + (kNearest - far) * progress;
    // The vehicle covers depths [depth, depth + length]; its width is that
    // of its near end.
    const double lengthDepth = v.length * 0.25;
    const double bottom = vanishY + (H - vanishY) / depth;
    const double top = std::max(roadTop, vanishY + (H - vanishY) / (depth + lengthDepth));
    const double laneBottom = ColumnAt(g.right, bottom) - ColumnAt(g.left, bottom);
    const double half = v.size * laneBottom / 2;
    const double centreBottom = (g.left + g.right) / 2 + v.offset * (g.right - g.left);
    const int y0 = std::max(0, int(std::ceil(top))), y1 = std::min(config.height - 1, int(bottom));
    for (int y = y0; y <= y1; ++y) {
        const double cx = ColumnAt(centreBottom, y);
        const double share = (y - top) / std::max(1.0, bottom - top);
        const uint8_t grey = share > 0.15 && share < 0.35 ? v.glass : v.body;
        const int x0 = std::max(0, int(std::lround(cx - half)));
        const int x1 = std::min(config.width - 1, int(std::lround(cx + half)));
        for (int x = x0; x <= x1; ++x)
            out.At(x, y) = grey;
    }
}

void RoadClip::Render(int frame, GreyPicture& out) const {
    out = background;
    const double t = frame / config.fps;
    // Far vehicles first so that near ones hide them.
    std::vector<std::pair<double, const Vehicle*>> order;
    for (const Vehicle& v : vehicles) {
        const LaneGeometry& g = lanes[size_t(v.lane)];
        const double s = (t - v.start) / g.cross;
        if (s >= 0 && s <= 1)
            order.push_back({g.direction == Direction::Down ? s : 1 - s, &v});
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [unused, v] : order)
        DrawVehicle(*v, t, out);
    Random flicker(seed + 31u * uint32_t(frame));
    const uint8_t lamp = uint8_t(flicker.Next() & 0xFF);
    for (int y = std::max(0, config.flickerY);
         y < std::min(config.height, config.flickerY + config.flickerSide); ++y)
        for (int x = std::max(0, config.flickerX);
             x < std::min(config.width, config.flickerX + config.flickerSide); ++x)
            out.At(x, y) = lamp;
    const double gain = 1 + config.drift * std::sin(2 * M_PI * t / config.driftPeriod + seed % 7);
    Random noise(seed * 7919u + uint32_t(frame));
    const double scale = config.noise / 127.6;
    for (uint8_t& p : out.pixels) {
        const uint32_t r = noise.Next();
        const double n = double((r & 0xFF) + ((r >> 8) & 0xFF) + ((r >> 16) & 0xFF)) - 382.5;
        p = Clamp(p * gain + n * scale);
    }
}

} // namespace korvex::vision::synth
