#pragma once

// What moves in the simulator's camera scenes: vehicles along the lanes,
// pedestrians on a crossing, the gate's barrier, headlights, the light of
// the day. Every function is a pure function of the card's layout, a seed
// and the scene time, so a picture can be drawn again for any moment and
// tests see the same traffic every run.

#include <cstdint>
#include <vector>

namespace korvex::devsim {

// What a card shows; chooses the kind of traffic drawn over its picture.
enum class SceneKind { Road, Gate, Crossing, Tunnel };

// A lane in perspective: it runs from the vanishing point (vanishX,
// horizon) through (x, y), where a vehicle is `vehicleWidth` pixels wide.
// Vehicles on an approaching lane come from the horizon towards the
// camera; on the other lanes they drive away from it. A level lane runs
// across the picture at row y (vehicles keep their size).
struct SceneLane {
    float x = 160, y = 200;
    float vehicleWidth = 50;
    bool approaching = true;
    bool level = false;
    float left = 0, right = 320; // level lanes: where they enter and leave
};

// The card's geometry in 320 x 240 scene pixels.
struct SceneLayout {
    SceneKind kind = SceneKind::Road;
    float horizon = 100;
    float vanishX = 160;
    std::vector<SceneLane> lanes;
    // Gate: the barrier turns about (barrierX, barrierY) and is
    // barrierLength long when closed (lying to the right).
    float barrierX = 80, barrierY = 150, barrierLength = 160;
    // Crossing: the walkers' band of rows and its ends.
    float walkTop = 140, walkBottom = 200, walkLeft = 40, walkRight = 290;
};

// One thing to draw. (x, y) is the middle of its bottom edge; `depth`
// orders the drawing (far things first).
struct Sprite {
    enum class Shape { Car, Van, Truck, Walker };
    Shape shape = Shape::Car;
    float x = 0, y = 0, width = 0, height = 0;
    float depth = 1;
    uint8_t red = 0, green = 0, blue = 0;
    bool lights = false; // headlights (vehicles facing the camera) or rear lights
    bool facing = true;  // seen from the front
};

// Sprites on the card at scene time `t_ms`, far first.
std::vector<Sprite> TrafficAt(const SceneLayout& layout, uint32_t seed, int64_t t_ms);

// The gate's barrier angle in degrees: 0 closed, 80 fully open.
float BarrierAngle(const SceneLayout& layout, uint32_t seed, int64_t t_ms);

// Brightness of the scene, 0.55 (night) to 1.0 (day), drifting over a
// cycle of four minutes.
float DaylightAt(int64_t t_ms);

// A well-mixed 32-bit hash of a few numbers (deterministic choices).
uint32_t SceneHash(uint32_t a, uint32_t b, uint32_t c = 0, uint32_t d = 0);

} // namespace korvex::devsim
