#include "raster/DetectorRaster.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace korvex {

namespace {

// 128-bit integers keep the line and triangle set-up exact for any 32-bit
// corner coordinates (products of two 33-bit differences).
__extension__ typedef __int128 Int128;

constexpr int32_t kDither[16] = {1, 9, 3, 11, 13, 5, 15, 7, 4, 12, 2, 10, 16, 8, 14, 6};

Int128 CeilDiv(Int128 p, Int128 q) { // q > 0
    return p >= 0 ? (p + q - 1) / q : -((-p) / q);
}

Int128 FloorDiv(Int128 p, Int128 q) { // q > 0
    return p >= 0 ? p / q : -((-p + q - 1) / q);
}

// Dividing lines that all cross the map yet are distinct (a fan of lines
// through one point, possible only with corners thousands of pixels apart
// and a huge `divisions`) cannot be grouped: each must be walked. Their
// drawing stops after this much work, a few hundredths of a second: pixel
// tests, and kRangeTestCost for each group of lines tested against the map.
// That is more than any detector with corners within 100 pixels of the map
// needs (each end coordinate is monotonic in the line number, so there are
// at most 1 + 2 * 520 + 2 * 440 distinct lines, of at most 5,280 tests
// each, and at most about twenty group tests per line). A group test costs
// about as much as a hundred pixel tests.
constexpr uint64_t kDividingLineProbeBudget = uint64_t(1) << 24;
constexpr uint64_t kRangeTestCost = 128;

// The box a thick line's step pixels must come near for its brush to reach
// the coverage map, with a margin for the half-pixel Bresenham rounding.
constexpr int64_t kReachMargin = 4;
constexpr int64_t kReachLeft = -kReachMargin;
constexpr int64_t kReachTop = -kReachMargin;
constexpr int64_t kReachRight = int64_t(DetectorRaster::kWidth) - 1 + kReachMargin;
constexpr int64_t kReachBottom = int64_t(DetectorRaster::kHeight) - 1 + kReachMargin;

struct IPoint {
    int64_t x, y;
};

// True when no segment with one end in box A and the other in box B (boxes
// given by two opposite corners each) can come near the coverage map: the
// convex hull of the two boxes is separated from the reach box along one of
// the axes, the hull's sloped edges, or the boxes' own edges. Exact integer
// arithmetic (coordinates are below 2^41 in magnitude).
bool SegmentsMissMap(IPoint a0, IPoint a1, IPoint b0, IPoint b1) {
    const int64_t ax0 = std::min(a0.x, a1.x), ax1 = std::max(a0.x, a1.x);
    const int64_t ay0 = std::min(a0.y, a1.y), ay1 = std::max(a0.y, a1.y);
    const int64_t bx0 = std::min(b0.x, b1.x), bx1 = std::max(b0.x, b1.x);
    const int64_t by0 = std::min(b0.y, b1.y), by1 = std::max(b0.y, b1.y);
    if (std::max(ax1, bx1) < kReachLeft || std::min(ax0, bx0) > kReachRight ||
        std::max(ay1, by1) < kReachTop || std::min(ay0, by0) > kReachBottom)
        return true;
    const IPoint ca[4] = {{ax0, ay0}, {ax1, ay0}, {ax0, ay1}, {ax1, ay1}};
    const IPoint cb[4] = {{bx0, by0}, {bx1, by0}, {bx0, by1}, {bx1, by1}};
    const IPoint w[4] = {{kReachLeft, kReachTop},
                         {kReachRight, kReachTop},
                         {kReachLeft, kReachBottom},
                         {kReachRight, kReachBottom}};
    // Every sloped hull edge joins a corner of A to a corner of B; trying
    // all sixteen such directions includes them.
    for (const IPoint& p : ca)
        for (const IPoint& q : cb) {
            const Int128 nx = -(q.y - p.y), ny = q.x - p.x;
            if (nx == 0 && ny == 0)
                continue;
            auto project = [&](const IPoint& r) { return nx * r.x + ny * r.y; };
            Int128 sMin = project(ca[0]), sMax = sMin;
            for (const IPoint* set : {ca, cb})
                for (int k = 0; k < 4; ++k) {
                    const Int128 v = project(set[k]);
                    sMin = std::min(sMin, v);
                    sMax = std::max(sMax, v);
                }
            Int128 wMin = project(w[0]), wMax = wMin;
            for (const IPoint& r : w) {
                wMin = std::min(wMin, project(r));
                wMax = std::max(wMax, project(r));
            }
            if (sMax < wMin || sMin > wMax)
                return true;
        }
    return false;
}

// Truncation towards zero of a float that may be far outside any int range;
// the caller clamps the result to the canvas, so values beyond +-2^40 can be
// pinned there without changing anything.
int64_t TruncToInt(float v) {
    if (!(v == v))
        return 0;
    constexpr float kLimit = 1099511627776.0f; // 2^40
    if (v > kLimit)
        return int64_t(1) << 40;
    if (v < -kLimit)
        return -(int64_t(1) << 40);
    return int64_t(v);
}

struct Edge {
    int64_t first = 0; // first row
    int64_t rows = 0;  // number of rows
    float slope = 0;
    float start = 0; // value at the first row
};

// Edge set-up from P to Q (P.y <= Q.y), single precision as the drawing
// rules fix it.
Edge MakeEdge(Point p, Point q) {
    Edge e;
    const float py = float(p.y);
    const float firstF = std::ceil(py - 0.5f);
    const float rowsF = std::ceil(float(q.y) - 0.5f - firstF);
    e.first = TruncToInt(firstF);
    e.rows = std::max<int64_t>(0, TruncToInt(rowsF));
    e.slope = q.y == p.y ? 0.0f : float(int64_t(q.x) - p.x) / float(int64_t(q.y) - p.y);
    e.start = float(p.x) + 0.5f + (firstF - (py - 0.5f)) * e.slope;
    return e;
}

uint32_t DetectorColour(const Detector& detector, bool selected, bool maskMode) {
    if (selected || maskMode)
        return kRasterRed;
    return detector.contrast ? kRasterDarkBlue : kRasterDarkGreen;
}

// One scratch raster per thread for the free functions below: a drawing
// then costs no allocation and clears only what the previous one set.
DetectorRaster& ThreadRaster() {
    thread_local DetectorRaster raster;
    return raster;
}

} // namespace

DetectorRaster::DetectorRaster() : coverage(size_t(kWidth) * kHeight, 0) {}

int32_t DetectorRaster::DitherEntry(uint32_t x, uint32_t y) {
    return kDither[(y % 4) * 4 + x % 4];
}

void DetectorRaster::Begin(uint32_t width, uint32_t height, int32_t fill) {
    // Only the rectangle of the last drawing can hold set flags.
    if (count != 0)
        for (int32_t y = minY; y <= maxY; ++y)
            std::fill_n(coverage.begin() + ptrdiff_t(y) * kWidth + minX, maxX - minX + 1, uint8_t(0));
    count = 0;
    probes = 0;
    canvasWidth = width;
    canvasHeight = height;
    fillLevel = std::clamp(fill, 0, 100) * 16 / 100;
    minX = minY = INT32_MAX;
    maxX = maxY = -1;
}

bool DetectorRaster::Covered(int64_t x, int64_t y) const {
    if (x < 0 || y < 0 || x >= int64_t(kWidth) || y >= int64_t(kHeight))
        return false;
    return coverage[size_t(y) * kWidth + size_t(x)] != 0;
}

void DetectorRaster::DrawBrush(int64_t x, int64_t y, uint32_t penWidth) {
    int64_t lo, hi; // offsets of the square, inclusive
    if (penWidth <= 1) {
        DrawPixel(x, y);
        return;
    }
    if (penWidth == 2) {
        lo = -1;
        hi = 0;
    } else if (penWidth == 3) {
        lo = -1;
        hi = 1;
    } else {
        lo = -2;
        hi = 1;
    }
    for (int64_t dy = lo; dy <= hi; ++dy)
        for (int64_t dx = lo; dx <= hi; ++dx)
            DrawPixel(x + dx, y + dy);
}

void DetectorRaster::ThickLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t penWidth) {
    const int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
    const int64_t dy = y1 > y0 ? y1 - y0 : y0 - y1;
    if (dx == 0 && dy == 0)
        return;
    // A line whose brush cannot reach the coverage map draws nothing.
    if (std::max(x0, x1) < -1 || std::min(x0, x1) > int64_t(kWidth) + 1 || std::max(y0, y1) < -1 ||
        std::min(y0, y1) > int64_t(kHeight) + 1)
        return;
    // Work in major/minor coordinates: x-major when dy < dx.
    const bool xMajor = dy < dx;
    const int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0;
    const int64_t a1 = xMajor ? x1 : y1, b1 = xMajor ? y1 : x1;
    const int64_t da = xMajor ? dx : dy, db = xMajor ? dy : dx; // da > 0, db <= da
    // The walk starts at the point with the smaller major coordinate; the
    // step of B (the end point) is walked but not drawn.
    const bool startIsA = a0 < a1;
    const int64_t sa = startIsA ? a0 : a1;
    const int64_t sb = startIsA ? b0 : b1;
    const int64_t eb = startIsA ? b1 : b0;
    const int64_t minorStep = eb > sb ? 1 : -1;
    int64_t kFirst = startIsA ? 0 : 1;
    int64_t kLast = startIsA ? da - 1 : da;
    // Only steps whose brush can reach the coverage map matter: the brush
    // spans major - 2 .. major + 1.
    const int64_t limit = xMajor ? int64_t(kWidth) : int64_t(kHeight);
    kFirst = std::max(kFirst, -1 - sa);
    kLast = std::min(kLast, limit + 1 - sa);
    if (kFirst > kLast)
        return;
    // The same for the minor coordinate sb + minorStep * n_k, whose offset
    // n_k (below) never decreases along the walk: keep the steps whose minor
    // coordinate lies in -1 .. minorLimit + 1.
    const int64_t minorLimit = xMajor ? int64_t(kHeight) : int64_t(kWidth);
    const Int128 nLo = minorStep > 0 ? Int128(-1) - sb : Int128(sb) - minorLimit - 1;
    const Int128 nHi = minorStep > 0 ? Int128(minorLimit) + 1 - sb : Int128(sb) + 1;
    if (db == 0) {
        if (nLo > 0 || nHi < 0) // the offset stays 0
            return;
    } else {
        // n_k >= N from k = floor((2 da (N - 1) + da) / (2 db)) + 1 on;
        // n_k <= N up to k = floor((2 da N + da) / (2 db)).
        const Int128 first = FloorDiv(Int128(2) * da * (nLo - 1) + da, Int128(2) * db) + 1;
        const Int128 lastK = FloorDiv(Int128(2) * da * nHi + da, Int128(2) * db);
        if (first > kLast || lastK < kFirst)
            return;
        if (first > kFirst)
            kFirst = int64_t(first);
        if (lastK < kLast)
            kLast = int64_t(lastK);
        if (kFirst > kLast)
            return;
    }
    // Minor offset and error term at step kFirst, in closed form: the walk
    // from step 0 (e = 2 db - da; e > 0 moves the minor coordinate and adds
    // 2 (db - da), otherwise adds 2 db) reaches offset
    // n_k = ceil((2 db k - da) / (2 da)) with e_k = 2 db (k + 1) - da - 2 da n_k.
    const Int128 n128 = CeilDiv(Int128(2) * db * kFirst - da, Int128(2) * da);
    const Int128 e128 = Int128(2) * db * (kFirst + 1) - da - Int128(2) * da * n128;
    int64_t n = int64_t(n128);
    int64_t e = int64_t(e128); // bounded by the step sizes from here on
    for (int64_t k = kFirst; k <= kLast; ++k) {
        const int64_t major = sa + k;
        const int64_t minor = sb + minorStep * n;
        if (xMajor)
            DrawBrush(major, minor, penWidth);
        else
            DrawBrush(minor, major, penWidth);
        if (e > 0) {
            ++n;
            e += 2 * (db - da);
        } else {
            e += 2 * db;
        }
    }
}

void DetectorRaster::FillTriangle(Point a, Point b, Point c) {
    const Int128 area2 =
        Int128(int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) - Int128(int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
    if (area2 == 0 || fillLevel == 0) // level 0 draws no pixel at all
        return;
    std::array<Point, 3> v{a, b, c};
    std::stable_sort(v.begin(), v.end(), [](const Point& p, const Point& q) { return p.y < q.y; });
    const Point t = v[0], m = v[1], bm = v[2];
    const Int128 cross = Int128(int64_t(bm.x) - t.x) * (int64_t(m.y) - t.y) -
                         Int128(int64_t(bm.y) - t.y) * (int64_t(m.x) - t.x);
    const bool longIsRight = cross > 0;

    const Edge longEdge = MakeEdge(t, bm);
    const Edge upper = MakeEdge(t, m);
    const Edge lower = MakeEdge(m, bm);

    const int64_t width = canvasWidth;
    const int64_t height = canvasHeight;
    auto part = [&](const Edge& shortEdge, float longStart) {
        // Rows first + i for i in [0, rows), clipped to 0..height - 1.
        const int64_t iBegin = std::max<int64_t>(0, -shortEdge.first);
        const int64_t iEnd = std::min<int64_t>(shortEdge.rows, height - shortEdge.first);
        for (int64_t i = iBegin; i < iEnd; ++i) {
            const float fi = float(i);
            const float shortValue = shortEdge.start + fi * shortEdge.slope;
            const float longValue = longStart + fi * longEdge.slope;
            int64_t left = TruncToInt(longIsRight ? shortValue : longValue);
            int64_t right = TruncToInt(longIsRight ? longValue : shortValue);
            left = std::max<int64_t>(left, 0);
            right = std::min<int64_t>(right, width);
            const int64_t y = shortEdge.first + i;
            const int32_t* ditherRow = kDither + (y % 4) * 4;
            for (int64_t x = left; x < right; ++x)
                if (fillLevel >= ditherRow[x % 4])
                    DrawPixel(x, y);
        }
    };
    part(upper, longEdge.start);
    // The long edge continues into the lower part from where the upper part
    // left it.
    part(lower, longEdge.start + float(upper.rows) * longEdge.slope);
}

void DetectorRaster::DividingLines(const std::array<Point, 4>& p, uint32_t divisions, uint32_t penWidth) {
    if (divisions == 0)
        return;
    const float n = float(uint64_t(divisions) + 1);
    const float qAx = float(int64_t(p[0].x) - p[3].x) / n, baseAx = float(p[3].x);
    const float qAy = float(int64_t(p[0].y) - p[3].y) / n, baseAy = float(p[3].y);
    const float qBx = float(int64_t(p[1].x) - p[2].x) / n, baseBx = float(p[2].x);
    const float qBy = float(int64_t(p[1].y) - p[2].y) / n, baseBy = float(p[2].y);
    auto coord = [](float q, float base, uint64_t i) {
        const float v = std::round(q * float(i) + base); // half away from zero
        return TruncToInt(v);
    };
    using Ends = std::array<int64_t, 4>;
    auto ends = [&](uint64_t i) -> Ends {
        return {coord(qAx, baseAx, i), coord(qAy, baseAy, i), coord(qBx, baseBx, i), coord(qBy, baseBy, i)};
    };
    // Each end coordinate is a monotonic function of i (every step is a
    // monotonic rounding), so over a range of lines i0..i1 each end stays in
    // the box its values at i0 and i1 span, and every line of the range lies
    // in the convex hull of those two boxes. A range whose hull misses the
    // map is skipped whole; a range whose ends do not change is one line
    // (drawing a line again changes nothing). What is left is the lines
    // that come near the map, each drawn with the clipped walk, so the work
    // follows the map and not `divisions` or the corners' distance.
    struct Range {
        uint64_t first, last;
    };
    std::vector<Range> stack{{1, divisions}};
    const uint64_t budgetEnd = probes + kDividingLineProbeBudget;
    while (!stack.empty() && probes < budgetEnd) {
        const Range r = stack.back();
        stack.pop_back();
        const Ends e0 = ends(r.first);
        if (r.first == r.last) {
            ThickLine(e0[0], e0[1], e0[2], e0[3], penWidth);
            continue;
        }
        const Ends e1 = ends(r.last);
        if (e0 == e1) {
            ThickLine(e0[0], e0[1], e0[2], e0[3], penWidth);
            continue;
        }
        probes += kRangeTestCost;
        if (SegmentsMissMap({e0[0], e0[1]}, {e1[0], e1[1]}, {e0[2], e0[3]}, {e1[2], e1[3]}))
            continue;
        const uint64_t mid = r.first + (r.last - r.first) / 2;
        stack.push_back({mid + 1, r.last}); // lower half drawn first
        stack.push_back({r.first, mid});
    }
}

void DetectorRaster::Rasterise(const std::array<Point, 4>& points, const Detector& detector, uint32_t width,
                               uint32_t height) {
    Begin(width, height, detector.fill);
    if (detector.IsLine()) {
        ThickLine(points[0], points[1], detector.pen_width);
        return;
    }
    if (detector.fill <= 0) {
        for (int k = 0; k < 4; ++k)
            ThickLine(points[k], points[(k + 1) % 4], detector.pen_width);
    } else {
        FillTriangle(points[0], points[1], points[2]);
        FillTriangle(points[0], points[2], points[3]);
    }
    if (detector.divisions > 0)
        DividingLines(points, detector.divisions, detector.pen_width);
}

DrawResult DrawDetector(Bitmap& surface, const std::array<Point, 4>& points, const Detector& detector,
                        int32_t activePoint, bool selected, bool maskMode, uint32_t canvasWidth,
                        uint32_t canvasHeight, const Bitmap& exclusion) {
    DetectorRaster& raster = ThreadRaster();
    raster.Rasterise(points, detector, canvasWidth, canvasHeight);
    const uint32_t colour = DetectorColour(detector, selected, maskMode);

    // The layer holds the colour at every drawn pixel inside the canvas and
    // black elsewhere; after the AND with the exclusion map only its
    // non-black pixels reach the surface. Drawn pixels are exactly the
    // covered ones, so the layer is walked through the coverage map.
    if (raster.Count() > 0) {
        const Rect box = raster.DrawnBounds();
        const uint32_t right = std::min<uint32_t>({uint32_t(box.right) + 1, canvasWidth, surface.Width()});
        const uint32_t bottom =
            std::min<uint32_t>({uint32_t(box.bottom) + 1, canvasHeight, surface.Height()});
        const uint8_t c0 = uint8_t(colour >> 16), c1 = uint8_t(colour >> 8), c2 = uint8_t(colour);
        for (uint32_t y = uint32_t(box.top); y < bottom; ++y) {
            const uint8_t* cov = raster.Coverage().data() + size_t(y) * DetectorRaster::kWidth;
            uint8_t* out = surface.Row(y);
            for (uint32_t x = uint32_t(box.left); x < right; ++x) {
                if (!cov[x])
                    continue;
                uint8_t b = c0, g = c1, r = c2;
                if (x < exclusion.Width() && y < exclusion.Height()) {
                    const uint8_t* ex = exclusion.Row(y) + size_t(x) * 3;
                    b &= ex[0];
                    g &= ex[1];
                    r &= ex[2];
                }
                if ((b | g | r) == 0)
                    continue;
                uint8_t* px = out + size_t(x) * 3;
                px[0] = b;
                px[1] = g;
                px[2] = r;
            }
        }
    }

    if (selected && !maskMode) {
        const int handles = detector.IsLine() ? 2 : 4;
        for (int k = 0; k < handles; ++k)
            DrawHandle(surface, points[k], k == activePoint ? kHandleActive : kHandleOther);
    }
    return DrawResult{2, detector.number, detector.card, raster.Count()};
}

uint32_t DetectorPixelCount(const Detector& detector, uint32_t canvasWidth, uint32_t canvasHeight) {
    DetectorRaster& raster = ThreadRaster();
    raster.Rasterise(detector.points, detector, canvasWidth, canvasHeight);
    return raster.Count();
}

DetectorMask ComputeDetectorMask(const Detector& detector, uint32_t canvasWidth, uint32_t canvasHeight) {
    DetectorRaster& raster = ThreadRaster();
    raster.Rasterise(detector.points, detector, canvasWidth, canvasHeight);
    DetectorMask mask;
    mask.width = canvasWidth;
    mask.height = canvasHeight;
    mask.count = raster.Count();
    mask.bottom = 0;
    if (raster.Count() == 0)
        return mask;
    // Mask mode paints pure red; the AND with the exclusion pixel leaves
    // (exclusion red, 0, 0), which reads back as a mask pixel when that red
    // is at least 192 (the grey background never passes the test). Only the
    // drawn rows are kept, and in them only the drawn columns are written.
    const Rect box = raster.DrawnBounds();
    const uint32_t left = uint32_t(box.left);
    const uint32_t right = std::min<uint32_t>(uint32_t(box.right) + 1, canvasWidth);
    const uint32_t bottom = std::min<uint32_t>(uint32_t(box.bottom) + 1, canvasHeight);
    mask.top = std::min(uint32_t(box.top), bottom);
    mask.bottom = bottom;
    mask.left = left;
    mask.right = right;
    mask.bits.assign(size_t(bottom - mask.top) * canvasWidth, 0);
    const Bitmap& exclusion = detector.exclusion;
    for (uint32_t y = mask.top; y < bottom; ++y) {
        const uint8_t* cov = raster.Coverage().data() + size_t(y) * DetectorRaster::kWidth;
        uint8_t* out = mask.bits.data() + size_t(y - mask.top) * canvasWidth;
        // Columns with an exclusion pixel, then those without (white).
        const bool exclusionRow = y < exclusion.Height();
        const uint32_t excludable = exclusionRow ? std::max(left, std::min(exclusion.Width(), right)) : left;
        uint32_t x = left;
        if (excludable > left) {
            const uint8_t* ex = exclusion.Row(y);
            // The maps are large and read once: ask for a later row's part
            // now, so that reading it does not wait on the memory.
            if (y + 2 < std::min(bottom, exclusion.Height()))
                for (size_t at = size_t(left) * 3; at < size_t(excludable) * 3; at += 64)
                    __builtin_prefetch(exclusion.Row(y + 2) + at);
            for (; x + 8 <= excludable; x += 8) {
                uint64_t drawn;
                std::memcpy(&drawn, cov + x, 8);
                if (drawn == 0) // nothing drawn: the mask stays clear there
                    continue;
                for (uint32_t i = x; i < x + 8; ++i)
                    out[i] = uint8_t(cov[i] & (ex[size_t(i) * 3 + 2] >= 192 ? 1 : 0));
            }
            for (; x < excludable; ++x)
                out[x] = uint8_t(cov[x] & (ex[size_t(x) * 3 + 2] >= 192 ? 1 : 0));
        }
        for (; x < right; ++x)
            out[x] = cov[x];
    }
    return mask;
}

namespace {

// Eight mask values (0 or 1) as one row byte, the first in bit 7: each
// value's bit lands in its own place of the top byte, without carries.
uint8_t PackEight(const uint8_t* in) {
    uint64_t chunk;
    std::memcpy(&chunk, in, 8);
    if (chunk == 0)
        return 0;
    if constexpr (std::endian::native == std::endian::little)
        return uint8_t((chunk * 0x8040201008040201ULL) >> 56);
    uint8_t byte = 0;
    for (uint32_t b = 0; b < 8; ++b)
        byte = uint8_t(byte << 1 | (in[b] ? 1 : 0));
    return byte;
}

// Packs the kept row y of `mask` from column offsetX into `out`, which
// holds (width + 7) / 8 zero bytes.
void PackMaskRow(const DetectorMask& mask, uint32_t y, uint32_t offsetX, uint32_t columns, uint8_t* out) {
    const uint8_t* in = mask.Row(y) + offsetX;
    // Only the mask's columns can hold pixels: from the row byte holding
    // the first of them to the last of them.
    uint32_t x = mask.left > offsetX ? (mask.left - offsetX) / 8 * 8 : 0;
    const uint32_t end = mask.right > offsetX ? std::min(columns, mask.right - offsetX) : 0;
    for (; x + 8 <= end; x += 8)
        out[x / 8] = PackEight(in + x);
    for (; x < end; ++x)
        if (in[x])
            out[x / 8] |= uint8_t(0x80 >> (x % 8));
}

} // namespace

std::vector<uint8_t> PackMaskRows(const DetectorMask& mask, uint32_t offsetX, uint32_t width,
                                  uint32_t height) {
    const size_t rowBytes = (size_t(width) + 7) / 8;
    std::vector<uint8_t> rows(rowBytes * height, 0);
    if (offsetX >= mask.width)
        return rows;
    // Pixels x with x + offsetX inside the mask.
    const uint32_t columns = std::min<uint32_t>(width, mask.width - offsetX);
    const uint32_t lines = std::min(height, mask.Bottom());
    for (uint32_t y = mask.top; y < lines; ++y)
        PackMaskRow(mask, y, offsetX, columns, rows.data() + size_t(y) * rowBytes);
    return rows;
}

void AppendMaskRowsBottomUp(std::vector<uint8_t>& out, const DetectorMask& mask, uint32_t offsetX,
                            uint32_t width, uint32_t height) {
    const size_t rowBytes = (size_t(width) + 7) / 8;
    const size_t start = out.size();
    out.resize(start + rowBytes * height, 0);
    if (offsetX >= mask.width)
        return;
    const uint32_t columns = std::min<uint32_t>(width, mask.width - offsetX);
    const uint32_t lines = std::min(height, mask.Bottom());
    for (uint32_t y = mask.top; y < lines; ++y)
        PackMaskRow(mask, y, offsetX, columns, out.data() + start + size_t(height - 1 - y) * rowBytes);
}

void CombineExclusion(Bitmap& layer, const Bitmap& exclusion) {
    const uint32_t w = std::min(layer.Width(), exclusion.Width());
    const uint32_t h = std::min(layer.Height(), exclusion.Height());
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* out = layer.Row(y);
        const uint8_t* ex = exclusion.Row(y);
        for (size_t i = 0; i < size_t(w) * 3; ++i)
            out[i] &= ex[i];
    }
}

void CopyTransparent(Bitmap& surface, const Bitmap& layer) {
    const uint32_t w = std::min(layer.Width(), surface.Width());
    const uint32_t h = std::min(layer.Height(), surface.Height());
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* out = surface.Row(y);
        const uint8_t* in = layer.Row(y);
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = in + x * 3;
            if ((p[0] | p[1] | p[2]) == 0)
                continue;
            out[x * 3] = p[0];
            out[x * 3 + 1] = p[1];
            out[x * 3 + 2] = p[2];
        }
    }
}

void DrawHandle(Bitmap& surface, Point p, uint32_t colour) {
    auto put = [&](int64_t x, int64_t y) {
        if (x >= 0 && y >= 0 && x < int64_t(surface.Width()) && y < int64_t(surface.Height()))
            surface.SetPixelColour(uint32_t(x), uint32_t(y), colour);
    };
    const int64_t left = int64_t(p.x) - 3, top = int64_t(p.y) - 3;
    const int64_t right = int64_t(p.x) + 2, bottom = int64_t(p.y) + 2; // inclusive
    for (int64_t x = left; x <= right; ++x) {
        put(x, top);
        put(x, bottom);
    }
    for (int64_t y = top + 1; y < bottom; ++y) {
        put(left, y);
        put(right, y);
    }
}

PointF ArrowCentre(const std::array<Point, 4>& points, bool line) {
    if (line)
        return {(float(points[0].x) + float(points[1].x)) / 2.0f,
                (float(points[0].y) + float(points[1].y)) / 2.0f};
    return {(float(points[0].x) + float(points[1].x) + float(points[2].x) + float(points[3].x)) / 4.0f,
            (float(points[0].y) + float(points[1].y) + float(points[2].y) + float(points[3].y)) / 4.0f};
}

std::array<Point, 7> DirectionArrowPolygon(const std::array<Point, 4>& points, bool line, uint32_t angle,
                                           int32_t zoom) {
    static constexpr float kShape[7][2] = {{3, -10}, {-3, -10}, {-3, 5}, {-6, 5}, {0, 11}, {6, 5}, {3, 5}};
    const PointF c = ArrowCentre(points, line);
    const float theta = -(float(angle) * 0.01745328f);
    const float cs = std::cos(theta), sn = std::sin(theta);
    const float z = float(zoom);
    auto toInt = [](float v) {
        const int64_t i = TruncToInt(std::floor(v));
        return int32_t(std::clamp<int64_t>(i, INT32_MIN, INT32_MAX));
    };
    std::array<Point, 7> out{};
    for (int k = 0; k < 7; ++k) {
        const float px = kShape[k][0], py = kShape[k][1];
        const float x = (px * cs - py * sn + c.x) * z + 0.5f;
        const float y = (px * sn + py * cs + c.y) * z + 0.5f;
        out[k] = {toInt(x), toInt(y)};
    }
    return out;
}

} // namespace korvex
