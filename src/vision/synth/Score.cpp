#include "vision/synth/Score.h"

#include <algorithm>
#include <cmath>

namespace korvex::vision::synth {

namespace {

int TruthLaneAt(const std::vector<TruthLane>& truth, double x, double y) {
    for (size_t j = 0; j < truth.size(); ++j)
        if (InsideQuad(truth[j].polygon, x, y))
            return int(j);
    return -1;
}

} // namespace

LaneScore ScoreLanes(const std::vector<TruthLane>& truth, const std::vector<Lane>& found,
                     const std::vector<Proposal>& proposals) {
    LaneScore s;
    s.truthLanes = int(truth.size());
    s.foundLanes = int(found.size());
    std::vector<int> match(found.size(), -1);
    std::vector<int> used(truth.size(), 0);
    for (size_t i = 0; i < found.size(); ++i) {
        const double y = (found[i].top + found[i].bottom) / 2;
        match[i] = TruthLaneAt(truth, found[i].CentreAt(y), y);
        if (match[i] >= 0)
            ++used[size_t(match[i])];
    }
    s.matched =
        found.size() == truth.size() && std::all_of(used.begin(), used.end(), [](int u) { return u == 1; });
    s.directions = s.matched;
    for (size_t i = 0; s.matched && i < found.size(); ++i)
        s.directions = s.directions && found[i].direction == truth[size_t(match[i])].direction;
    for (const Proposal& p : proposals) {
        Quad q;
        for (size_t k = 0; k < 4; ++k)
            q[k] = {double(p.points[k][0]), double(p.points[k][1])};
        const int own = p.lane >= 0 && size_t(p.lane) < match.size() ? match[size_t(p.lane)] : -1;
        int total = 0, inOwn = 0;
        std::vector<int> inOther(truth.size(), 0);
        const auto [minY, maxY] = std::minmax({q[0].y, q[1].y, q[2].y, q[3].y});
        const auto [minX, maxX] = std::minmax({q[0].x, q[1].x, q[2].x, q[3].x});
        for (int y = int(minY); y <= int(maxY); ++y)
            for (int x = int(minX); x <= int(maxX); ++x) {
                if (!InsideQuad(q, x, y))
                    continue;
                ++total;
                for (size_t j = 0; j < truth.size(); ++j)
                    if (InsideQuad(truth[j].polygon, x, y))
                        ++(int(j) == own ? inOwn : inOther[j]);
            }
        if (total > 0 && inOwn >= 0.95 * total)
            ++s.proposalsInside;
        if (std::any_of(inOther.begin(), inOther.end(), [&](int n) { return n > 0.05 * total; }))
            ++s.proposalsAcross;
    }
    return s;
}

} // namespace korvex::vision::synth
