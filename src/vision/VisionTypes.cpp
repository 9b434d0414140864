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

namespace {

// One step of cutting a polygon by a half plane: keeps the points with
// side(p) >= 0 and adds the crossings of the edges.
template <typename Side> std::vector<PointF> Cut(const std::vector<PointF>& in, Side side) {
    std::vector<PointF> out;
    for (size_t i = 0; i < in.size(); ++i) {
        const PointF& a = in[i];
        const PointF& b = in[(i + 1) % in.size()];
        const double sa = side(a), sb = side(b);
        if (sa >= 0)
            out.push_back(a);
        if ((sa >= 0) != (sb >= 0)) {
            const double t = sa / (sa - sb);
            out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    return out;
}

} // namespace

std::vector<PointF> LaneOutline(const Lane& lane, int width) {
    const Quad q = lane.Polygon();
    std::vector<PointF> points(q.begin(), q.end());
    points = Cut(points, [](const PointF& p) { return p.x; });
    return Cut(points, [&](const PointF& p) { return double(width - 1) - p.x; });
}

} // namespace korvex::vision
