#include "vision/LaneModel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace korvex::vision {

namespace {

// Sums for a least-squares line x = a + b * y.
struct LineSums {
    double n = 0, y = 0, yy = 0, x = 0, xy = 0, xx = 0;

    void Add(double px, double py) { n += 1, y += py, yy += py * py, x += px, xy += px * py, xx += px * px; }
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
    double a = 0, b = 0; // centre line x = a + b * y
    double u = 0;        // across the road, in vehicle widths
    Direction direction = Direction::Down;
    std::vector<size_t> paths;
};

// Where the paths meet: a straight road's lanes all run towards one
// vanishing point. Each path is then one number, u, its place across the
// road in vehicle widths (the same on every row), and lanes are the peaks
// of how the paths spread over u.
struct RoadFrame {
    double xv = 0, yv = 0; // vanishing point
    double yr = 0, wr = 1; // reference row and a vehicle's width there

    double U(const Path& p) const {
        double num = 0, den = 0;
        for (const Sighting* s : p.kept)
            num += (s->x - xv) * (s->y - yv), den += (s->y - yv) * (s->y - yv);
        return den > 0 ? (xv + num / den * (yr - yv)) / wr : 0;
    }
    // The line across the road at u.
    std::pair<double, double> Line(double u) const {
        const double k = (u * wr - xv) / (yr - yv);
        return {xv - k * yv, k};
    }
};

// The vanishing point's column for row yv when the paths' best lines
// through it are fitted by least squares: for a fixed row the problem is
// linear.
double ColumnThrough(const std::vector<const LineSums*>& paths, double yv) {
    double num = 0, den = 0;
    for (const LineSums* p : paths) {
        const double st = p->y - p->n * yv, stt = p->yy - 2 * yv * p->y + p->n * yv * yv;
        const double sxt = p->xy - yv * p->x;
        if (stt <= 0)
            continue;
        num += p->x - sxt * st / stt;
        den += p->n - st * st / stt;
    }
    return den > 1e-9 ? num / den : 0;
}

// Squared distances of a path's sightings from its best line through
// (xv, yv).
double Misfit(const LineSums& p, double xv, double yv) {
    const double st = p.y - p.n * yv, stt = p.yy - 2 * yv * p.y + p.n * yv * yv;
    const double sxt = p.xy - yv * p.x - xv * st;
    const double sxx = p.xx - 2 * xv * p.x + p.n * xv * xv;
    return stt > 0 ? std::max(0.0, sxx - sxt * sxt / stt) : 0;
}

// The vanishing point's row by search (far rows stand for lanes that hardly
// meet). A path counts at most `cap` against a point, so that a few bad
// paths (vehicles side by side) cannot pull it.
void Search(const std::vector<const LineSums*>& paths, const std::vector<double>& cap, double top, int height,
            RoadFrame& f) {
    double best = 1e300;
    for (double yv = top - 5; yv > -4 * height; yv -= yv > -height ? 2 : 20) {
        const double xv = ColumnThrough(paths, yv);
        double cost = 0;
        for (size_t i = 0; i < paths.size(); ++i)
            cost += std::min(cap[i], Misfit(*paths[i], xv, yv));
        if (cost < best)
            best = cost, f.xv = xv, f.yv = yv;
    }
}

RoadFrame FindFrame(const std::vector<Path>& paths, const WidthModel& widths, int height) {
    RoadFrame f;
    f.yr = 0.8 * height;
    f.wr = widths.At(f.yr);
    // The point lies above most paths; a few stray ones above it (blobs
    // near the horizon) must not push it up.
    std::vector<double> tops;
    std::vector<const LineSums*> sums;
    std::vector<double> cap;
    for (const Path& p : paths) {
        tops.push_back(p.top);
        sums.push_back(&p.sums);
        cap.push_back(p.sums.n * std::pow(0.25 * widths.At(p.sums.y / p.sums.n), 2));
    }
    std::sort(tops.begin(), tops.end());
    const double top = tops[tops.size() / 5];
    Search(sums, cap, top, height, f);
    // Again with the paths that fit that point.
    std::vector<const LineSums*> fitting;
    std::vector<double> fittingCap;
    for (size_t i = 0; i < sums.size(); ++i)
        if (Misfit(*sums[i], f.xv, f.yv) <= cap[i])
            fitting.push_back(sums[i]), fittingCap.push_back(cap[i]);
    if (fitting.size() >= 2)
        Search(fitting, fittingCap, top, height, f);
    return f;
}

double Density(const std::vector<std::pair<double, double>>& points, double u) {
    constexpr double kSpread = 0.15;
    double sum = 0;
    for (const auto& [pu, weight] : points)
        sum += weight * std::exp(-0.5 * std::pow((u - pu) / kSpread, 2));
    return sum;
}

// Lanes of one direction: the peaks of the paths' spread over u, at least
// 0.8 vehicle widths apart and no lower than `floor` of the highest.
std::vector<double> Peaks(const std::vector<std::pair<double, double>>& points, double floor) {
    std::vector<std::pair<double, double>> found; // (height, u)
    if (points.empty())
        return {};
    double lo = 1e9, hi = -1e9;
    for (const auto& [u, w] : points)
        lo = std::min(lo, u), hi = std::max(hi, u);
    constexpr double kStep = 0.03;
    double before = 0, here = Density(points, lo - 1);
    for (double u = lo - 1 + kStep; u <= hi + 1; u += kStep) {
        const double next = Density(points, u);
        if (here >= before && here > next && here >= floor)
            found.push_back({here, u - kStep});
        before = here, here = next;
    }
    std::sort(found.rbegin(), found.rend());
    std::vector<double> peaks;
    for (const auto& [height, u] : found)
        if (std::all_of(peaks.begin(), peaks.end(), [&](double p) { return std::fabs(p - u) >= 0.8; }))
            peaks.push_back(u);
    return peaks;
}

std::vector<Cluster> Group(const std::vector<Path>& paths, const RoadFrame& frame) {
    std::vector<double> u(paths.size());
    std::vector<std::pair<double, double>> byDirection[2];
    for (size_t i = 0; i < paths.size(); ++i) {
        u[i] = frame.U(paths[i]);
        byDirection[paths[i].direction == Direction::Up].push_back({u[i], double(paths[i].kept.size())});
    }
    double highest = 0;
    for (const auto& points : byDirection)
        for (double v = -50; v < 50; v += 0.05)
            highest = std::max(highest, Density(points, v));
    std::vector<Cluster> clusters;
    for (int d = 0; d < 2; ++d)
        for (double peak : Peaks(byDirection[d], 0.12 * highest)) {
            Cluster c;
            c.u = peak;
            c.direction = d ? Direction::Up : Direction::Down;
            clusters.push_back(c);
        }
    // Each path joins the nearest lane of its direction, when near enough.
    for (size_t i = 0; i < paths.size(); ++i) {
        Cluster* best = nullptr;
        for (Cluster& c : clusters)
            if (c.direction == paths[i].direction && std::fabs(c.u - u[i]) < 0.45 &&
                (!best || std::fabs(c.u - u[i]) < std::fabs(best->u - u[i])))
                best = &c;
        if (best)
            best->paths.push_back(i);
    }
    std::erase_if(clusters, [](const Cluster& c) { return c.paths.size() < 2; });
    for (Cluster& c : clusters) {
        double sum = 0, weight = 0;
        for (size_t i : c.paths)
            sum += u[i] * double(paths[i].kept.size()), weight += double(paths[i].kept.size());
        c.u = sum / weight;
        std::tie(c.a, c.b) = frame.Line(c.u);
    }
    std::sort(clusters.begin(), clusters.end(), [](const Cluster& l, const Cluster& r) { return l.u < r.u; });
    return clusters;
}

double Percentile(std::vector<double> v, double share) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(share * double(v.size())))];
}

} // namespace

LaneModel LanesFromTracks(const std::vector<Track>& tracks, int height) {
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
    const std::vector<Cluster> clusters = Group(paths, FindFrame(paths, widths, height));
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
        model.lanes.push_back(lane);
    }
    return model;
}

} // namespace korvex::vision
