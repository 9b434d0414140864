// korvex_demo_lanes_bench: lanes from the traffic of the demo device's road
// scenes (the sample project's cameras as the simulator draws them), a
// second, independently written road generator. Its lanes are centre lines
// through a vanishing point with a vehicle width; a found lane is right when
// its middle lies within half a vehicle's width of one of them and it goes
// the same way, a proposal when its middle does and it reaches no other
// lane's centre line.
//
//   korvex_demo_lanes_bench [--seconds S] [--seeds N]
#include "devsim/SceneRenderer.h"
#include "vision/LaneFinder.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace korvex;
using namespace korvex::vision;

namespace {

// Column and vehicle width of a scene lane at row y.
std::pair<double, double> SceneLaneAt(const devsim::SceneLayout& l, const devsim::SceneLane& lane, double y) {
    const double k = (y - l.horizon) / (lane.y - l.horizon);
    return {l.vanishX + (lane.x - l.vanishX) * k, lane.vehicleWidth * k};
}

int Nearest(const devsim::SceneLayout& l, double x, double y) {
    for (size_t j = 0; j < l.lanes.size(); ++j) {
        const auto [cx, w] = SceneLaneAt(l, l.lanes[j], y);
        if (!l.lanes[j].level && std::fabs(x - cx) < w / 2)
            return int(j);
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    int seeds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seeds"))
            seeds = std::atoi(argv[i + 1]);
    }
    int clips = 0, right = 0, across = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        const devsim::SceneSet scenes = devsim::SceneSet::FromProject(KORVEX_SAMPLE_PROJECT, uint32_t(seed));
        for (size_t card = 0; card < scenes.CardCount(); ++card) {
            const devsim::SceneLayout& layout = scenes.Card(card).layout;
            if (layout.kind != devsim::SceneKind::Road)
                continue;
            LaneFinder finder;
            devsim::ScenePicture scene;
            GreyPicture grey(devsim::ScenePicture::kWidth, devsim::ScenePicture::kHeight);
            for (int f = 0; f < int(seconds * 10); ++f) {
                scenes.Render(card, int64_t(f) * 100, scene);
                for (int y = 0; y < grey.height; ++y)
                    for (int x = 0; x < grey.width; ++x)
                        grey.At(x, y) = scene.Grey(x, y);
                finder.Add(grey);
            }
            const LaneResult found = finder.Finish(10);
            const auto proposals = ProposeDetectors(found.lanes, Band::Near, grey.width, grey.height);
            std::vector<int> used(layout.lanes.size(), 0);
            bool ok = found.lanes.size() == layout.lanes.size() && proposals.size() == found.lanes.size();
            for (const Lane& l : found.lanes) {
                const double y = (l.top + l.bottom) / 2;
                const int j = Nearest(layout, l.CentreAt(y), y);
                ok = ok && j >= 0 && (l.direction == Direction::Down) == layout.lanes[size_t(j)].approaching;
                if (j >= 0)
                    ++used[size_t(j)];
            }
            for (int u : used)
                ok = ok && u == 1;
            bool crossing = false;
            for (const Proposal& p : proposals) {
                const double y = (p.points[0][1] + p.points[3][1]) / 2.0;
                const double left = (p.points[0][0] + p.points[3][0]) / 2.0;
                const double rightX = (p.points[1][0] + p.points[2][0]) / 2.0;
                const int j = Nearest(layout, (left + rightX) / 2, y);
                ok = ok && j >= 0;
                for (size_t k = 0; k < layout.lanes.size(); ++k)
                    if (int(k) != j && !layout.lanes[k].level) {
                        const double cx = SceneLaneAt(layout, layout.lanes[k], y).first;
                        crossing = crossing || (cx > left && cx < rightX);
                    }
            }
            ++clips;
            right += ok && !crossing;
            across += crossing;
            std::printf("seed %d card %c: %zu scene lanes, found %zu (%s), %s%s\n", seed, char('A' + card),
                        layout.lanes.size(), found.lanes.size(), FailureText(found.failure),
                        ok ? "right" : "wrong", crossing ? ", a proposal across two lanes" : "");
            if (!ok || crossing) {
                for (const devsim::SceneLane& lane : layout.lanes)
                    std::printf("    scene lane through (%.0f, %.0f), %s, vehicle width %.0f\n", lane.x,
                                lane.y, lane.approaching ? "down" : "up", lane.vehicleWidth);
                for (const Lane& l : found.lanes)
                    std::printf("    found %s, centre %.0f at %.0f, rows %.0f..%.0f, %d vehicles\n",
                                DirectionName(l.direction), l.CentreAt(l.bottom), l.bottom, l.top, l.bottom,
                                l.vehicles);
            }
        }
    }
    std::printf(
        "\ndemo road scenes: %d clips of %.0f s, %d right (%.1f %%), %d with a proposal across two lanes\n",
        clips, seconds, right, clips ? 100.0 * right / clips : 0, across);
    return 0;
}
