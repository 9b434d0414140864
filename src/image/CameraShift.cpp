#include "image/CameraShift.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <string>

namespace korvex {

namespace {

// A grey picture of any width.
struct Plane {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    uint8_t At(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

Plane GreyOf(const Bitmap& b) {
    Plane p{int(b.Width()), int(b.Height()), {}};
    p.px.resize(size_t(p.w) * size_t(p.h));
    const uint8_t* s = b.Data().data();
    for (size_t i = 0; i < p.px.size(); ++i, s += 3)
        p.px[i] = uint8_t((29u * s[0] + 150u * s[1] + 77u * s[2]) >> 8);
    return p;
}

// A [1 2 1] x [1 2 1] blur (edges repeated): takes the edge off sensor
// noise before brightness order is compared.
Plane Smooth(const Plane& in) {
    Plane tmp = in, out = in;
    const int w = in.w;
    for (int y = 0; y < in.h; ++y) {
        const uint8_t* s = &in.px[size_t(y) * size_t(w)];
        uint8_t* d = &tmp.px[size_t(y) * size_t(w)];
        for (int x = 0; x < w; ++x)
            d[x] = uint8_t((s[std::max(x - 1, 0)] + 2 * s[x] + s[std::min(x + 1, w - 1)] + 2) >> 2);
    }
    for (int y = 0; y < in.h; ++y) {
        const uint8_t* u = &tmp.px[size_t(std::max(y - 1, 0)) * size_t(w)];
        const uint8_t* c = &tmp.px[size_t(y) * size_t(w)];
        const uint8_t* l = &tmp.px[size_t(std::min(y + 1, in.h - 1)) * size_t(w)];
        uint8_t* d = &out.px[size_t(y) * size_t(w)];
        for (int x = 0; x < w; ++x)
            d[x] = uint8_t((u[x] + 2 * c[x] + l[x] + 2) >> 2);
    }
    return out;
}

// Half the size, each pixel the mean of four.
Plane Halve(const Plane& in) {
    Plane out{in.w / 2, in.h / 2, {}};
    out.px.resize(size_t(out.w) * size_t(out.h));
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x) {
            const int sum = in.At(2 * x, 2 * y) + in.At(2 * x + 1, 2 * y) + in.At(2 * x, 2 * y + 1) +
                            in.At(2 * x + 1, 2 * y + 1);
            out.px[size_t(y) * size_t(out.w) + size_t(x)] = uint8_t((sum + 2) >> 2);
        }
    return out;
}

// Brightness order against four neighbours (right, below, below right,
// below left): two bits each, "clearly brighter" and "clearly darker" by
// more than `t`. Flat neighbourhoods give 0, so they agree with each other
// wherever they are and take no side. Edges are repeated.
Plane Census(const Plane& in, int t) {
    Plane out{in.w, in.h, std::vector<uint8_t>(in.px.size())};
    const int w = in.w;
    auto order = [t](int c, int n, int bit) {
        return unsigned(n > c + t) << bit | unsigned(n < c - t) << (bit + 1);
    };
    for (int y = 0; y < in.h; ++y) {
        const uint8_t* row = &in.px[size_t(y) * size_t(w)];
        const uint8_t* below = &in.px[size_t(std::min(y + 1, in.h - 1)) * size_t(w)];
        uint8_t* d = &out.px[size_t(y) * size_t(w)];
        for (int x = 0; x < w; ++x) {
            const int c = row[x];
            const int r = std::min(x + 1, w - 1), l = std::max(x - 1, 0);
            d[x] = uint8_t(order(c, row[r], 0) | order(c, below[x], 2) | order(c, below[r], 4) |
                           order(c, below[l], 6));
        }
    }
    return out;
}

inline unsigned Bits64(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return unsigned((v * 0x0101010101010101ull) >> 56);
}

// Mean differing bits per overlapping pixel when `pic` is `ref` moved by
// (dx, dy); infinity when the pictures overlap on less than a third.
double Cost(const Plane& ref, const Plane& pic, int dx, int dy) {
    const int x0 = std::max(0, -dx), x1 = std::min(ref.w, ref.w - dx);
    const int y0 = std::max(0, -dy), y1 = std::min(ref.h, ref.h - dy);
    const int64_t area = int64_t(std::max(0, x1 - x0)) * std::max(0, y1 - y0);
    if (area * 3 < int64_t(ref.w) * ref.h)
        return std::numeric_limits<double>::infinity();
    uint64_t bits = 0;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* a = &ref.px[size_t(y) * size_t(ref.w) + size_t(x0)];
        const uint8_t* b = &pic.px[size_t(y + dy) * size_t(pic.w) + size_t(x0 + dx)];
        const int n = x1 - x0;
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t va, vb;
            std::memcpy(&va, a + i, 8);
            std::memcpy(&vb, b + i, 8);
            bits += Bits64(va ^ vb);
        }
        for (; i < n; ++i)
            bits += Bits64(uint64_t(a[i] ^ b[i]));
    }
    return double(bits) / double(area);
}

struct Level {
    Plane ref, pic;
};

struct Candidate {
    int dx = 0, dy = 0;
    double cost = std::numeric_limits<double>::infinity();
};

// The best offset within `radius` of (cx, cy) at one level, kept in range.
Candidate Refine(const Level& level, int cx, int cy, int radius, int range) {
    Candidate best{cx, cy};
    for (int dy = cy - radius; dy <= cy + radius; ++dy)
        for (int dx = cx - radius; dx <= cx + radius; ++dx) {
            if (std::abs(dx) > range || std::abs(dy) > range)
                continue;
            const double c = Cost(level.ref, level.pic, dx, dy);
            if (c < best.cost)
                best = {dx, dy, c};
        }
    return best;
}

double FractionStructured(const Plane& census) {
    size_t n = 0;
    for (uint8_t c : census.px)
        n += c != 0;
    return census.px.empty() ? 0.0 : double(n) / double(census.px.size());
}

// The coarse grid's local minima, lowest first, at most `count`, each at
// least three cells from the ones before.
std::vector<Candidate> Minima(const std::vector<double>& grid, int r, size_t count) {
    const int side = 2 * r + 1;
    std::vector<Candidate> all;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double c = grid[size_t(y * side + x)];
            bool lowest = c < std::numeric_limits<double>::infinity();
            for (int v = std::max(0, y - 1); lowest && v <= std::min(side - 1, y + 1); ++v)
                for (int u = std::max(0, x - 1); u <= std::min(side - 1, x + 1); ++u)
                    if (grid[size_t(v * side + u)] < c)
                        lowest = false;
            if (lowest)
                all.push_back({x - r, y - r, c});
        }
    std::sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
    std::vector<Candidate> kept;
    for (const Candidate& c : all) {
        bool apart = true;
        for (const Candidate& k : kept)
            apart = apart && (std::abs(k.dx - c.dx) > 2 || std::abs(k.dy - c.dy) > 2);
        if (apart)
            kept.push_back(c);
        if (kept.size() == count)
            break;
    }
    return kept;
}

// Thresholds of "clearly brighter" per level (finest first): the finest
// level sees the most noise.
constexpr int kOrderThreshold[3] = {5, 3, 2};
constexpr int kLevels = 3;
// Below this share of structured pixels a picture is taken as flat.
constexpr double kMinStructure = 0.04;
// The relative rise of the cost one pixel away from the answer that
// counts as a clear whole-pixel answer.
constexpr double kSharp = 0.02;

int LevelRange(int range, int level) {
    return (range + (1 << level) - 1) / (1 << level) + 1;
}

// The smallest relative rise of the cost from `best` to an offset one pixel
// away on either axis.
double Sharpness(const Level& level, const Candidate& best, int range) {
    double rise = std::numeric_limits<double>::infinity();
    const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto& s : steps) {
        const int dx = best.dx + s[0], dy = best.dy + s[1];
        if (std::abs(dx) > range || std::abs(dy) > range)
            continue;
        const double c = Cost(level.ref, level.pic, dx, dy);
        rise = std::min(rise, best.cost > 0 ? (c - best.cost) / best.cost : 1.0);
    }
    return rise;
}

// The cost of every offset of the coarsest level over the whole range, and
// the median of those that could be measured; an empty grid when none
// could.
struct CoarseSearch {
    std::vector<double> grid; // (2r + 1)^2 costs, row by row from (-r, -r)
    int r = 0;
    double median = 0;
};

CoarseSearch SearchCoarse(const Level& top, int32_t range) {
    CoarseSearch out;
    const int scale = 1 << (kLevels - 1);
    out.r = (range + scale - 1) / scale + 1;
    const int side = 2 * out.r + 1;
    std::vector<double> grid(size_t(side) * size_t(side));
    std::vector<double> finite;
    for (int dy = -out.r; dy <= out.r; ++dy)
        for (int dx = -out.r; dx <= out.r; ++dx) {
            const double c = Cost(top.ref, top.pic, dx, dy);
            grid[size_t((dy + out.r) * side + dx + out.r)] = c;
            if (c < std::numeric_limits<double>::infinity())
                finite.push_back(c);
        }
    if (finite.empty())
        return out;
    std::nth_element(finite.begin(), finite.begin() + ptrdiff_t(finite.size() / 2), finite.end());
    out.median = finite[finite.size() / 2];
    out.grid = std::move(grid);
    return out;
}

} // namespace

ShiftEstimate EstimateShift(const Bitmap& reference, const Bitmap& picture, int32_t range) {
    ShiftEstimate out;
    if (reference.Empty() || picture.Empty() || reference.Width() != picture.Width() ||
        reference.Height() != picture.Height() || reference.Width() < 32 || reference.Height() < 32)
        return out;
    range = std::clamp(range, 0, int32_t(std::min(reference.Width(), reference.Height()) / 2));

    Level levels[kLevels];
    Plane ref = Smooth(GreyOf(reference)), pic = Smooth(GreyOf(picture));
    for (int l = 0; l < kLevels; ++l) {
        if (l > 0) {
            ref = Halve(ref);
            pic = Halve(pic);
        }
        levels[l] = {Census(ref, kOrderThreshold[l]), Census(pic, kOrderThreshold[l])};
    }
    if (FractionStructured(levels[1].ref) < kMinStructure ||
        FractionStructured(levels[1].pic) < kMinStructure) {
        out.verdict = ShiftEstimate::Verdict::Flat;
        return out;
    }

    // Whole range on the coarsest level.
    const CoarseSearch coarse = SearchCoarse(levels[kLevels - 1], range);
    if (coarse.grid.empty()) {
        out.verdict = ShiftEstimate::Verdict::Unmatched;
        return out;
    }
    const std::vector<double>& grid = coarse.grid;
    const int r = coarse.r;
    const double median = coarse.median;

    // The best few candidates followed down a level; the best two of them
    // down to whole pixels.
    std::vector<Candidate> finals;
    for (const Candidate& c : Minima(grid, r, 3)) {
        Candidate at = c;
        for (int l = kLevels - 2; l >= 1; --l)
            at = Refine(levels[l], 2 * at.dx, 2 * at.dy, 2, LevelRange(range, l));
        finals.push_back(at);
    }
    std::sort(finals.begin(), finals.end(),
              [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
    if (finals.size() > 2)
        finals.resize(2);
    for (Candidate& at : finals)
        at = Refine(levels[0], 2 * at.dx, 2 * at.dy, 1, range);
    std::sort(finals.begin(), finals.end(),
              [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
    const Candidate& best = finals.front();
    if (!(best.cost < std::numeric_limits<double>::infinity())) {
        out.verdict = ShiftEstimate::Verdict::Unmatched;
        return out;
    }

    // How much the fit stands out: against a typical offset on the coarse
    // level, against the runner-up, and against its neighbours one pixel
    // away (a blurred or stripy picture fits a pixel either way almost as
    // well, and then the whole pixel is a guess).
    const double distinct = median > 0 ? 1.0 - Minima(grid, r, 1).front().cost / median : 0.0;
    double apart = 1.0;
    if (finals.size() > 1 && (std::abs(finals[1].dx - best.dx) > 1 || std::abs(finals[1].dy - best.dy) > 1))
        apart = finals[1].cost > 0 ? 1.0 - best.cost / finals[1].cost : 0.0;
    const double sharp = Sharpness(levels[0], best, range);
    if (distinct < 0.1) {
        out.verdict = ShiftEstimate::Verdict::Unmatched;
        return out;
    }
    out.verdict = ShiftEstimate::Verdict::Shift;
    out.dx = best.dx;
    out.dy = best.dy;
    out.confidence = std::clamp(std::min({distinct / 0.4, apart / 0.2, sharp / kSharp}), 0.0, 1.0);
    return out;
}

ShiftEstimate AgreedShift(const std::vector<ShiftEstimate>& estimates) {
    if (estimates.size() == 1)
        return estimates.front();
    ShiftEstimate out;
    out.verdict = ShiftEstimate::Verdict::Unmatched;
    std::map<std::pair<int32_t, int32_t>, std::vector<double>> votes;
    for (const ShiftEstimate& e : estimates)
        if (e.Confident())
            votes[{e.dx, e.dy}].push_back(e.confidence);
    for (const auto& [offset, confidences] : votes)
        if (confidences.size() * 2 > estimates.size()) {
            out.verdict = ShiftEstimate::Verdict::Shift;
            out.dx = offset.first;
            out.dy = offset.second;
            out.confidence = *std::min_element(confidences.begin(), confidences.end());
        }
    return out;
}

std::string DescribeShift(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0)
        return "not moved";
    std::string text = "moved";
    if (dx != 0)
        text += " " + std::to_string(std::abs(dx)) + " px " + (dx > 0 ? "right" : "left");
    if (dy != 0)
        text += std::string(dx != 0 ? "," : "") + " " + std::to_string(std::abs(dy)) + " px " +
                (dy > 0 ? "down" : "up");
    return text;
}

} // namespace korvex
