#pragma once

// Plain records shared by the traffic analysis: grey pictures, points in
// picture pixels, lanes and proposed detectors.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex::vision {

// One grey picture, one byte per pixel, rows top down without padding.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    GreyPicture() = default;
    GreyPicture(int w, int h, uint8_t value = 0)
        : width(w), height(h), pixels(size_t(w) * size_t(h), value) {}
    uint8_t& At(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    uint8_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

struct PointF {
    double x = 0;
    double y = 0;
};

// Where vehicles go in the picture: down = towards the bottom edge.
enum class Direction { Down, Up };

inline const char* DirectionName(Direction d) {
    return d == Direction::Down ? "down" : "up";
}

// A quadrilateral in picture pixels, corners clockwise from the top left.
using Quad = std::array<PointF, 4>;

// A lane found from traffic. Its sides are straight lines x = a + b * y
// (they meet towards the horizon), between rows `top` and `bottom`.
struct Lane {
    double leftA = 0, leftB = 0;   // left side: x = leftA + leftB * y
    double rightA = 0, rightB = 0; // right side
    double top = 0, bottom = 0;
    Direction direction = Direction::Down;
    int vehicles = 0;

    double LeftAt(double y) const { return leftA + leftB * y; }
    double RightAt(double y) const { return rightA + rightB * y; }
    double CentreAt(double y) const { return (LeftAt(y) + RightAt(y)) / 2; }
    // Top left, top right, bottom right, bottom left.
    Quad Polygon() const {
        return {
            {{LeftAt(top), top}, {RightAt(top), top}, {RightAt(bottom), bottom}, {LeftAt(bottom), bottom}}};
    }
};

// Which part of the lanes a proposed detector sits in.
enum class Band { Near, Mid, Far };

// One proposed detector: whole-pixel corners clockwise from the top left.
struct Proposal {
    int lane = 0;
    std::array<std::array<int, 2>, 4> points{};
};

// Why no lanes could be found.
enum class Failure { None, TooShort, NoMotion, CameraMoving };

const char* FailureText(Failure f);

struct LaneResult {
    std::vector<Lane> lanes; // left to right
    Failure failure = Failure::None;
    int frames = 0;  // pictures analysed
    double fps = 10; // pictures a second of the clip
};

// True when (x, y) lies inside or on the convex quadrilateral `q`.
bool InsideQuad(const Quad& q, double x, double y);

// The lane's polygon cut to the picture's columns 0 .. width - 1 (an outer
// lane may run past the edge), corners clockwise from the top left.
std::vector<PointF> LaneOutline(const Lane& lane, int width);

} // namespace korvex::vision
