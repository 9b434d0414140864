#pragma once

// Synthetic road clips with known lanes, for the tests and the benchmark of
// the traffic analysis: a straight road of 2 to 4 lanes seen in
// perspective, vehicles of varied size and brightness driving towards or
// away from the camera, sensor noise and a slow drift of the light. Every
// clip is a pure function of its configuration and seed.

#include "vision/VisionTypes.h"

#include <cstdint>
#include <vector>

namespace korvex::vision::synth {

struct RoadConfig {
    int width = 320, height = 240;
    double fps = 10;
    double seconds = 60;
    int minLanes = 2, maxLanes = 4;
    // Row of the vanishing point, and how far its column may stray from
    // the middle.
    double horizonMin = -10, horizonMax = 45;
    double vanishShift = 40;
    // The road shows from this many rows below the vanishing point down.
    double roadGap = 30;
    // Width of the whole road at the bottom row, and how far its middle may
    // stray from the picture's middle.
    double bottomWidthMin = 200, bottomWidthMax = 300;
    double roadShift = 25;
    // Vehicles a minute in each lane, and seconds to cross the picture.
    double rateMin = 6, rateMax = 14;
    double crossMin = 5, crossMax = 10;
    // Vehicle width as a share of the lane's, and length (1 is about 4 m).
    double sizeMin = 0.5, sizeMax = 0.8;
    double lengthMin = 0.8, lengthMax = 2.2;
    // How far a vehicle may drive off the lane's middle (share of the lane).
    double wander = 0.08;
    // Noise (grey levels, about one standard deviation), the depth of the
    // light's drift (share) and its period in seconds.
    double noise = 4, drift = 0.15, driftPeriod = 90;
    // Whether lanes of both directions may share the road.
    bool mixedDirections = true;
    // Share of vehicles painted close to the road's grey (hard to see).
    double dullShare = 0.15;
    // When not empty: exactly these lanes, left to right.
    std::vector<Direction> directions;
    // A square of the picture whose light changes every picture (a lamp,
    // a reflection): top left corner and side; side 0 for none.
    int flickerX = 0, flickerY = 0, flickerSide = 0;
};

struct TruthLane {
    Quad polygon; // top left, top right, bottom right, bottom left
    Direction direction = Direction::Down;
    int vehicles = 0; // vehicles seen in the clip
};

class RoadClip {
public:
    RoadClip(const RoadConfig& config, uint32_t seed);

    const std::vector<TruthLane>& Lanes() const { return truth; }
    int FrameCount() const { return frames; }
    double Fps() const { return config.fps; }
    int Width() const { return config.width; }
    int Height() const { return config.height; }
    // Picture `frame` (0 .. FrameCount() - 1).
    void Render(int frame, GreyPicture& out) const;

private:
    struct Vehicle {
        int lane = 0;
        double start = 0; // seconds at which it enters
        double size = 0.6, length = 1, offset = 0;
        uint8_t body = 40, glass = 20;
    };
    struct LaneGeometry {
        double left = 0, right = 0; // bottom-row columns of its sides
        Direction direction = Direction::Down;
        double cross = 5; // seconds to cross
    };

    double ColumnAt(double bottomColumn, double y) const;
    void PaintScene(double roadLeft, double roadWidth);
    void DrawVehicle(const Vehicle& v, double t, GreyPicture& out) const;

    RoadConfig config;
    uint32_t seed;
    int frames = 0;
    double vanishX = 160, vanishY = 0, roadTop = 30;
    std::vector<LaneGeometry> lanes;
    std::vector<Vehicle> vehicles;
    std::vector<TruthLane> truth;
    GreyPicture background;
};

} // namespace korvex::vision::synth
