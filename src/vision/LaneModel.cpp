#include "vision/LaneModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace korvex::vision {

namespace {

// Sums for a least-squares line x = a + b * y.
struct LineSums {
    double n = 0, y = 0, yy = 0, x = 0, xy = 0;

    void Add(double px, double py) { n += 1, y += py, yy += py * py, x += px, xy += px * py; }
    void Add(const LineSums& o) { n += o.n, y += o.y, yy += o.yy, x += o.x, xy += o.xy; }
    // (a, b); a vertical line through the mean when the rows do not vary.
    std::pair<double, double> Fit() const {
        const double det = n * yy - y * y;
        if (n < 2 || std::fabs(det) < 1e-9)
            return {n > 0 ? x / n : 0, 0};
        const double b = (n * xy - y * x) / det;
        return {(x - b * y) / n, b};
    }
};

// A usable track reduced to its path.
struct Path {
    size_t track = 0;
    LineSums sums;
    double a = 0, b = 0;
    double top = 0, bottom = 0; // rows of its centre
    Direction direction = Direction::Down;
    std::vector<const Sighting*> kept;
};

// Blob width as a straight function of the row (vehicles grow towards the
// camera).
struct WidthModel {
    double p = 10, q = 0;
    double At(double y) const { return std::max(3.0, p + q * y); }
};

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// `widths`, once known, also drops blobs much wider than a vehicle where
// they are seen.
bool MakePath(const Track& t, size_t index, int height, const WidthModel* widths, Path& path) {
    std::vector<double> seen;
    for (const Sighting& s : t.sightings)
        seen.push_back(s.width);
    const double typical = Median(seen);
    // Wide blobs are vehicles side by side seen as one; they would pull the
    // path between two lanes.
    for (const Sighting& s : t.sightings)
        if (s.width <= 1.5 * typical && (!widths || s.width <= 1.45 * widths->At(s.y)))
            path.kept.push_back(&s);
    if (path.kept.size() < 4)
        return false;
    const Sighting& first = *path.kept.front();
    const Sighting& last = *path.kept.back();
    const double dy = last.y - first.y, dx = last.x - first.x;
    if (std::fabs(dy) < std::max(12.0, 0.06 * height) || std::fabs(dx) > 2.5 * std::fabs(dy))
        return false;
    int along = 0;
    for (size_t i = 1; i < path.kept.size(); ++i)
        if ((path.kept[i]->y - path.kept[i - 1]->y) * dy > 0)
            ++along;
    if (along < 0.7 * double(path.kept.size() - 1))
        return false;
    for (const Sighting* s : path.kept)
        path.sums.Add(s->x, s->y);
    std::tie(path.a, path.b) = path.sums.Fit();
    double residual = 0;
    for (const Sighting* s : path.kept)
        residual += std::pow(s->x - (path.a + path.b * s->y), 2);
    if (std::sqrt(residual / double(path.kept.size())) > 0.35 * typical + 1)
        return false;
    path.track = index;
    path.direction = dy > 0 ? Direction::Down : Direction::Up;
    path.top = std::min(first.y, last.y);
    path.bottom = std::max(first.y, last.y);
    return true;
}

WidthModel FitWidths(const std::vector<Path>& paths) {
    WidthModel m;
    LineSums sums; // "x" is the width here
    for (const Path& p : paths)
        for (const Sighting* s : p.kept)
            sums.Add(s->width, s->y);
    std::tie(m.p, m.q) = sums.Fit();
    // Once more without the blobs far from the first fit.
    LineSums again;
    for (const Path& p : paths)
        for (const Sighting* s : p.kept)
            if (s->width < 1.4 * m.At(s->y) && s->width > 0.5 * m.At(s->y))
                again.Add(s->width, s->y);
    if (again.n >= 8)
        std::tie(m.p, m.q) = again.Fit();
    return m;
}

struct Cluster {
    LineSums sums;
    double a = 0, b = 0, top = 0, bottom = 0;
    Direction direction = Direction::Down;
    std::vector<size_t> paths;
};

// Mean distance across the rows both cover (or the first's rows when they
// hardly overlap), in vehicle widths.
double Apart(double a1, double b1, double top1, double bottom1, double a2, double b2, double top2,
             double bottom2, const WidthModel& widths) {
    double from = std::max(top1, top2), to = std::min(bottom1, bottom2);
    if (to - from < 8)
        from = top1, to = bottom1;
    double sum = 0;
    for (int i = 0; i < 5; ++i) {
        const double y = from + (to - from) * i / 4.0;
        sum += std::fabs((a1 + b1 * y) - (a2 + b2 * y)) / widths.At(y);
    }
    return sum / 5;
}

void Join(Cluster& into, const Cluster& from) {
    into.sums.Add(from.sums);
    std::tie(into.a, into.b) = into.sums.Fit();
    into.top = std::min(into.top, from.top);
    into.bottom = std::max(into.bottom, from.bottom);
    into.paths.insert(into.paths.end(), from.paths.begin(), from.paths.end());
}

std::vector<Cluster> Group(const std::vector<Path>& paths, const WidthModel& widths) {
    constexpr double kSameLane = 0.5;
    std::vector<size_t> order(paths.size());
    std::iota(order.begin(), order.end(), 0);
    // Long paths first: they settle the lanes, short ones join them.
    std::sort(order.begin(), order.end(),
              [&](size_t l, size_t r) { return paths[l].kept.size() > paths[r].kept.size(); });
    std::vector<Cluster> clusters;
    for (size_t i : order) {
        const Path& p = paths[i];
        Cluster* best = nullptr;
        double bestApart = kSameLane;
        for (Cluster& c : clusters) {
            if (c.direction != p.direction)
                continue;
            const double d = Apart(p.a, p.b, p.top, p.bottom, c.a, c.b, c.top, c.bottom, widths);
            if (d < bestApart)
                bestApart = d, best = &c;
        }
        Cluster own;
        own.sums = p.sums;
        own.a = p.a, own.b = p.b, own.top = p.top, own.bottom = p.bottom;
        own.direction = p.direction;
        own.paths = {i};
        if (best)
            Join(*best, own);
        else
            clusters.push_back(own);
    }
    // Lanes that grew towards each other become one.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < clusters.size() && !merged; ++i)
            for (size_t j = i + 1; j < clusters.size() && !merged; ++j) {
                const Cluster &c = clusters[i], &d = clusters[j];
                if (c.direction == d.direction &&
                    Apart(c.a, c.b, c.top, c.bottom, d.a, d.b, d.top, d.bottom, widths) < kSameLane) {
                    Join(clusters[i], clusters[j]);
                    clusters.erase(clusters.begin() + long(j));
                    merged = true;
                }
            }
    }
    return clusters;
}

// Keeps the lanes with enough traffic to be more than a stray path.
// Also drops a thin cluster hugging a busy one of the same direction: the
// paths of vehicles that were seen together with their neighbours.
void DropStrays(std::vector<Cluster>& clusters, const WidthModel& widths) {
    double most = 0;
    for (const Cluster& c : clusters)
        most = std::max(most, c.sums.n);
    std::vector<char> drop(clusters.size(), 0);
    for (size_t i = 0; i < clusters.size(); ++i) {
        const Cluster& c = clusters[i];
        drop[i] = c.paths.size() < 2 || c.sums.n < 0.08 * most;
        for (const Cluster& d : clusters)
            if (&d != &c && d.direction == c.direction && c.paths.size() * 4 < d.paths.size() &&
                Apart(c.a, c.b, c.top, c.bottom, d.a, d.b, d.top, d.bottom, widths) < 1.1)
                drop[i] = 1;
    }
    size_t k = 0;
    std::erase_if(clusters, [&](const Cluster&) { return drop[k++] != 0; });
}

double Percentile(std::vector<double> v, double share) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(share * double(v.size())))];
}

} // namespace

LaneModel LanesFromTracks(const std::vector<Track>& tracks, int width, int height) {
    LaneModel model;
    model.laneOfTrack.assign(tracks.size(), -1);
    std::vector<Path> paths;
    // Twice: the second time without the blobs of vehicles side by side,
    // now that a vehicle's width is known.
    const WidthModel* known = nullptr;
    WidthModel widths;
    for (int pass = 0; pass < 2; ++pass) {
        paths.clear();
        for (size_t i = 0; i < tracks.size(); ++i) {
            Path p;
            if (MakePath(tracks[i], i, height, known, p))
                paths.push_back(std::move(p));
        }
        if (paths.size() < 2)
            return model;
        widths = FitWidths(paths);
        known = &widths;
    }
    model.usableTracks = int(paths.size());
    std::vector<Cluster> clusters = Group(paths, widths);
    DropStrays(clusters, widths);
    const double near = 0.85 * height;
    std::sort(clusters.begin(), clusters.end(),
              [&](const Cluster& l, const Cluster& r) { return l.a + l.b * near < r.a + r.b * near; });
    const size_t n = clusters.size();
    for (size_t i = 0; i < n; ++i) {
        const Cluster& c = clusters[i];
        Lane lane;
        lane.direction = c.direction;
        lane.vehicles = int(c.paths.size());
        // Sides halfway to the neighbours; the outer sides as far out as the
        // inner ones are in, or for a single lane from the vehicles' width.
        auto half = [&](const Cluster& o) { return std::pair{(o.a - c.a) / 2, (o.b - c.b) / 2}; };
        std::pair<double, double> left, right;
        if (n == 1) {
            left = {-0.75 * widths.p, -0.75 * widths.q};
            right = {0.75 * widths.p, 0.75 * widths.q};
        } else {
            if (i > 0)
                left = half(clusters[i - 1]);
            if (i + 1 < n)
                right = half(clusters[i + 1]);
            if (i == 0)
                left = {-right.first, -right.second};
            if (i + 1 == n)
                right = {-left.first, -left.second};
        }
        lane.leftA = c.a + left.first, lane.leftB = c.b + left.second;
        lane.rightA = c.a + right.first, lane.rightB = c.b + right.second;
        std::vector<double> tops, bottoms;
        for (size_t pi : c.paths) {
            model.laneOfTrack[paths[pi].track] = int(model.lanes.size());
            for (const Sighting* s : paths[pi].kept) {
                tops.push_back(s->y - s->height / 2);
                bottoms.push_back(s->y + s->height / 2);
            }
        }
        lane.top = std::clamp(Percentile(tops, 0.03), 0.0, height - 1.0);
        lane.bottom = std::clamp(Percentile(bottoms, 0.97), 0.0, height - 1.0);
        // Where the sides meet towards the horizon the lane ends.
        const double wa = lane.rightA - lane.leftA, wb = lane.rightB - lane.leftB;
        if (wa + wb * lane.top < 4 && wb > 1e-6)
            lane.top = std::max(lane.top, (4 - wa) / wb);
        if (lane.bottom - lane.top < 8 || wa + wb * lane.bottom < 4) {
            for (size_t pi : c.paths)
                model.laneOfTrack[paths[pi].track] = -1;
            continue;
        }
        (void)width;
        model.lanes.push_back(lane);
    }
    return model;
}

} // namespace korvex::vision
