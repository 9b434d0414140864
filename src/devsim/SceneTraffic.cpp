#include "devsim/SceneTraffic.h"

#include <algorithm>
#include <cmath>

namespace korvex::devsim {

namespace {

constexpr float kPi = 3.14159265f;
// Distances along a lane, in units of the distance at which a vehicle
// has the lane's `vehicleWidth`: far at the horizon, near past the
// bottom edge.
constexpr float kFar = 10.0f;
constexpr float kPictureBottom = 240.0f;

// Where a lane's vehicles are nearest: their bottom edge a little below
// the picture, so they pass every detector the lane runs over.
float NearDistance(const SceneLayout& layout, const SceneLane& lane) {
    return std::clamp((lane.y - layout.horizon) / (kPictureBottom + 20 - layout.horizon), 0.2f, 0.9f);
}

struct Look {
    Sprite::Shape shape;
    float width, height; // relative to the lane's vehicle width
};

constexpr Look kLooks[] = {
    {Sprite::Shape::Car, 1.0f, 0.62f}, {Sprite::Shape::Car, 0.92f, 0.58f},
    {Sprite::Shape::Car, 1.0f, 0.62f}, {Sprite::Shape::Van, 1.05f, 0.85f},
    {Sprite::Shape::Van, 1.08f, 0.9f}, {Sprite::Shape::Truck, 1.22f, 1.12f},
};

constexpr uint8_t kPaint[][3] = {{52, 54, 58},    {198, 200, 205}, {170, 42, 36},   {44, 72, 150},
                                 {232, 232, 234}, {40, 92, 62},    {120, 122, 128}, {210, 170, 40}};

// From distance a to b: evenly in the logarithm, so a vehicle's size
// grows (or shrinks) by the same factor each second and it stays a while
// near the camera as well as far from it.
float Between(float a, float b, float u) {
    return a * std::pow(b / a, u);
}

float Fraction(uint32_t h) {
    return float(h & 0xFFFF) / 65535.0f;
}

// How busy the site is: between 0.25 and 0.95 of the possible vehicles
// come, drifting over about three minutes, so the detectors see quiet and
// heavy spells.
float Busyness(uint32_t seed, int64_t t_ms) {
    const float phase = float(seed % 1000) / 1000.0f * 2 * kPi;
    return 0.6f + 0.35f * std::sin(float(t_ms) / 170000.0f * 2 * kPi + phase);
}

Sprite Vehicle(const SceneLayout& layout, const SceneLane& lane, float z, uint32_t h, bool lightsOn) {
    const Look& look = kLooks[h % std::size(kLooks)];
    const uint8_t* paint = kPaint[(h >> 8) % std::size(kPaint)];
    const float s = 1.0f / z;
    Sprite v;
    v.shape = look.shape;
    v.x = layout.vanishX + (lane.x - layout.vanishX) * s;
    v.y = layout.horizon + (lane.y - layout.horizon) * s;
    v.width = lane.vehicleWidth * look.width * s;
    v.height = lane.vehicleWidth * look.height * s;
    v.depth = z;
    v.red = paint[0];
    v.green = paint[1];
    v.blue = paint[2];
    v.facing = lane.approaching;
    v.lights = lightsOn;
    return v;
}

// Vehicles of one perspective lane: vehicle k sets off near k * period
// (moved by up to a quarter period) and takes `travel_ms`; all drive at
// the same speed, so none overtakes another.
void LaneTraffic(const SceneLayout& layout, const SceneLane& lane, uint32_t laneSeed, int64_t t_ms,
                 bool lightsOn, std::vector<Sprite>& out) {
    const int64_t period_ms = 3800 + int64_t(laneSeed % 5) * 300;
    const int64_t travel_ms = 7000;
    const int64_t firstK = (t_ms - travel_ms - period_ms) / period_ms - 1;
    for (int64_t k = std::max<int64_t>(0, firstK); k <= t_ms / period_ms + 1; ++k) {
        const uint32_t h = SceneHash(laneSeed, uint32_t(k));
        const int64_t start = k * period_ms + int64_t(Fraction(h >> 16) * float(period_ms) / 4);
        const int64_t into = t_ms - start;
        if (into < 0 || into >= travel_ms)
            continue;
        if (Fraction(SceneHash(h, 7)) > Busyness(laneSeed, start))
            continue;
        const float u = float(into) / float(travel_ms);
        const float near = NearDistance(layout, lane);
        const float z = lane.approaching ? Between(kFar, near, u) : Between(near, kFar, u);
        out.push_back(Vehicle(layout, lane, z, h, lightsOn));
    }
}

// Vehicles crossing the picture on a level lane, left to right.
void LevelTraffic(const SceneLane& lane, uint32_t laneSeed, int64_t t_ms, bool lightsOn,
                  std::vector<Sprite>& out) {
    const int64_t period_ms = 5200;
    const int64_t travel_ms = 4200;
    for (int64_t k = std::max<int64_t>(0, t_ms / period_ms - 1); k <= t_ms / period_ms; ++k) {
        const uint32_t h = SceneHash(laneSeed, uint32_t(k));
        const int64_t into = t_ms - k * period_ms;
        if (into < 0 || into >= travel_ms || Fraction(SceneHash(h, 7)) > Busyness(laneSeed, k * period_ms))
            continue;
        const Look& look = kLooks[h % std::size(kLooks)];
        const uint8_t* paint = kPaint[(h >> 8) % std::size(kPaint)];
        Sprite v;
        v.shape = look.shape;
        // Seen from the side: longer than wide.
        v.width = lane.vehicleWidth * look.width * 1.6f;
        v.height = lane.vehicleWidth * look.height * 0.8f;
        const float from = lane.left - v.width, to = lane.right + v.width;
        v.x = from + (to - from) * float(into) / float(travel_ms);
        v.y = lane.y;
        v.depth = 0.9f;
        v.red = paint[0];
        v.green = paint[1];
        v.blue = paint[2];
        v.facing = false;
        v.lights = lightsOn;
        out.push_back(v);
    }
}

void Walkers(const SceneLayout& layout, uint32_t seed, int64_t t_ms, std::vector<Sprite>& out) {
    const int64_t period_ms = 1300;
    const int64_t travel_ms = 11000;
    const float span = layout.walkRight - layout.walkLeft;
    for (int64_t k = std::max<int64_t>(0, (t_ms - travel_ms) / period_ms - 1); k <= t_ms / period_ms; ++k) {
        const uint32_t h = SceneHash(seed, 0x57A1u, uint32_t(k));
        const int64_t walk_ms = travel_ms - int64_t(Fraction(h) * 3000);
        const int64_t into = t_ms - k * period_ms;
        if (into < 0 || into >= walk_ms || Fraction(SceneHash(h, 7)) > Busyness(seed + 1, k * period_ms))
            continue;
        const float u = float(into) / float(walk_ms);
        const bool rightwards = (h >> 20) & 1;
        Sprite w;
        w.shape = Sprite::Shape::Walker;
        w.y = layout.walkTop + (layout.walkBottom - layout.walkTop) * Fraction(h >> 8);
        const float scale = (w.y - layout.horizon) / std::max(1.0f, layout.walkBottom - layout.horizon);
        w.height = 44.0f * std::max(0.3f, scale);
        w.width = w.height * 0.36f;
        w.x = rightwards ? layout.walkLeft + span * u : layout.walkRight - span * u;
        w.depth = 1.0f / std::max(0.05f, scale);
        const uint8_t* paint = kPaint[(h >> 12) % std::size(kPaint)];
        w.red = paint[0];
        w.green = paint[1];
        w.blue = paint[2];
        out.push_back(w);
    }
}

// The gate: one vehicle per cycle drives up, waits while the barrier
// rises, drives through; the barrier closes behind it.
constexpr int64_t kGateCycle_ms = 11000;

float GateStopDistance(const SceneLayout& layout, const SceneLane& lane) {
    const float stopY = layout.barrierY - 3;
    const float s = (stopY - layout.horizon) / std::max(1.0f, lane.y - layout.horizon);
    return std::clamp(1.0f / std::max(0.01f, s), NearDistance(layout, lane), kFar);
}

void GateTraffic(const SceneLayout& layout, uint32_t seed, int64_t t_ms, bool lightsOn,
                 std::vector<Sprite>& out) {
    if (layout.lanes.empty())
        return;
    const SceneLane& lane = layout.lanes.front();
    const float zStop = GateStopDistance(layout, lane);
    const int64_t k = t_ms / kGateCycle_ms;
    const float tau = float(t_ms - k * kGateCycle_ms) / 1000.0f;
    float z;
    if (tau < 3.5f) {
        const float u = tau / 3.5f;
        z = Between(kFar, zStop, 1 - (1 - u) * (1 - u));
    } else if (tau < 6.0f) {
        z = zStop;
    } else if (tau < 9.5f) {
        const float u = (tau - 6.0f) / 3.5f;
        z = Between(zStop, NearDistance(layout, lane), u);
    } else {
        return;
    }
    out.push_back(Vehicle(layout, lane, z, SceneHash(seed, 0x6A7Eu, uint32_t(k)), lightsOn));
}

} // namespace

uint32_t SceneHash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = 0x9E3779B9u;
    for (uint32_t v : {a, b, c, d}) {
        h ^= v + 0x7F4A7C15u + (h << 6) + (h >> 2);
        h ^= h >> 16;
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
        h *= 0xC2B2AE35u;
        h ^= h >> 16;
    }
    return h;
}

float DaylightAt(int64_t t_ms) {
    const float phase = float(t_ms % 240000) / 240000.0f * 2 * kPi;
    return 0.775f + 0.225f * std::cos(phase);
}

float BarrierAngle(const SceneLayout& layout, uint32_t /*seed*/, int64_t t_ms) {
    if (layout.kind != SceneKind::Gate)
        return 0;
    const float tau = float(t_ms % kGateCycle_ms) / 1000.0f;
    if (tau < 4.0f || tau >= 10.5f)
        return 0;
    if (tau < 5.5f)
        return 80.0f * (tau - 4.0f) / 1.5f;
    if (tau < 9.0f)
        return 80.0f;
    return 80.0f * (10.5f - tau) / 1.5f;
}

std::vector<Sprite> TrafficAt(const SceneLayout& layout, uint32_t seed, int64_t t_ms) {
    std::vector<Sprite> sprites;
    const bool dusk = DaylightAt(t_ms) < 0.8f;
    switch (layout.kind) {
    case SceneKind::Gate:
        GateTraffic(layout, seed, t_ms, dusk, sprites);
        break;
    case SceneKind::Crossing:
        Walkers(layout, seed, t_ms, sprites);
        [[fallthrough]];
    case SceneKind::Road:
    case SceneKind::Tunnel:
        for (size_t i = 0; i < layout.lanes.size(); ++i) {
            const SceneLane& lane = layout.lanes[i];
            const uint32_t laneSeed = SceneHash(seed, uint32_t(i), 0x1A4Eu);
            // In the tunnel every vehicle drives with its lights on.
            const bool lights = dusk || layout.kind == SceneKind::Tunnel;
            if (lane.level)
                LevelTraffic(lane, laneSeed, t_ms, lights, sprites);
            else
                LaneTraffic(layout, lane, laneSeed, t_ms, lights, sprites);
        }
        break;
    }
    std::stable_sort(sprites.begin(), sprites.end(),
                     [](const Sprite& a, const Sprite& b) { return a.depth > b.depth; });
    return sprites;
}

} // namespace korvex::devsim
