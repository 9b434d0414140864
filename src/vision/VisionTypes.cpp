#include "vision/VisionTypes.h"

namespace korvex::vision {

const char* FailureText(Failure f) {
    switch (f) {
    case Failure::None:
        return "";
    case Failure::TooShort:
        return "the clip is too short";
    case Failure::NoMotion:
        return "no motion: no vehicles could be followed";
    case Failure::CameraMoving:
        return "the camera is moving";
    }
    return "";
}

bool InsideQuad(const Quad& q, double x, double y) {
    // Inside a convex polygon: on one side of every edge (either winding).
    bool anyPositive = false, anyNegative = false;
    for (size_t i = 0; i < 4; ++i) {
        const PointF& a = q[i];
        const PointF& b = q[(i + 1) % 4];
        const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        anyPositive = anyPositive || cross > 1e-9;
        anyNegative = anyNegative || cross < -1e-9;
    }
    return !(anyPositive && anyNegative);
}

} // namespace korvex::vision
