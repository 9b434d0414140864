// The clipping shortcuts of the rasteriser (steps, lines and groups of
// dividing lines that cannot reach the map are skipped) checked against
// drawing everything, and the work they leave bounded by the map.
#include "RasterTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace korvex {
namespace {

using test::CoveredPixels;
using test::PixelSet;

PixelSet ReferenceWalk(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t pen) {
    // Every step of the walk, brush squares clipped per pixel.
    PixelSet out;
    const int64_t dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
    if (dx == 0 && dy == 0)
        return out;
    const bool xMajor = dy < dx;
    const int64_t a0 = xMajor ? x0 : y0, b0 = xMajor ? y0 : x0, a1 = xMajor ? x1 : y1, b1 = xMajor ? y1 : x1;
    const int64_t da = xMajor ? dx : dy, db = xMajor ? dy : dx;
    const bool fromA = a0 < a1;
    int64_t a = fromA ? a0 : a1, b = fromA ? b0 : b1;
    const int64_t aEnd = fromA ? a1 : a0, bOther = fromA ? b1 : b0;
    const int lo = pen <= 1 ? 0 : pen <= 3 ? -1 : -2;
    const int hi = pen <= 2 ? 0 : 1;
    int64_t e = 2 * db - da;
    for (; a <= aEnd; ++a) {
        if (a != a1)
            for (int oy = lo; oy <= hi; ++oy)
                for (int ox = lo; ox <= hi; ++ox) {
                    const int64_t px = (xMajor ? a : b) + ox, py = (xMajor ? b : a) + oy;
                    if (px >= 0 && px < 320 && py >= 0 && py < 240)
                        out.insert({int(px), int(py)});
                }
        if (e > 0) {
            b += bOther > b ? 1 : -1;
            e += 2 * (db - da);
        } else {
            e += 2 * db;
        }
    }
    return out;
}

// The ends of dividing line i, as the drawing rules compute them.
std::array<int64_t, 4> LineEnds(const std::array<Point, 4>& p, uint32_t divisions, uint64_t i) {
    const float n = float(uint64_t(divisions) + 1);
    auto c = [&](int32_t to, int32_t from) {
        const float v = std::round(float(int64_t(to) - from) / n * float(i) + float(from));
        return int64_t(v);
    };
    return {c(p[0].x, p[3].x), c(p[0].y, p[3].y), c(p[1].x, p[2].x), c(p[1].y, p[2].y)};
}

// Every dividing line drawn one by one.
PixelSet EveryDividingLine(const std::array<Point, 4>& p, uint32_t divisions, uint32_t pen) {
    DetectorRaster r;
    r.Begin(320, 240, 0);
    for (uint64_t i = 1; i <= divisions; ++i) {
        const auto e = LineEnds(p, divisions, i);
        r.ThickLine(e[0], e[1], e[2], e[3], pen);
    }
    return CoveredPixels(r);
}

PixelSet Grouped(const std::array<Point, 4>& p, uint32_t divisions, uint32_t pen, uint64_t* probes = nullptr) {
    DetectorRaster r;
    r.Begin(320, 240, 0);
    r.DividingLines(p, divisions, pen);
    if (probes)
        *probes = r.Probes();
    EXPECT_EQ(r.Count(), CoveredPixels(r).size());
    return CoveredPixels(r);
}

TEST(RasterClip, LinesPassingTheMapMatchTheFullWalk) {
    // Lines that span the map's columns but pass above, below or through a
    // corner: the minor axis decides what is drawn.
    std::mt19937 rng(777);
    std::uniform_int_distribution<int> far(-3000, 3300), near(-12, 12), pen(0, 5);
    for (int i = 0; i < 1500; ++i) {
        int64_t x0 = far(rng), y0 = far(rng), x1 = far(rng), y1 = far(rng);
        if (i % 3 == 0) { // grazing a map edge
            y0 = (i % 2 ? -3 : 242) + near(rng);
            y1 = y0 + near(rng);
        } else if (i % 3 == 1) {
            x0 = (i % 2 ? -3 : 322) + near(rng);
            x1 = x0 + near(rng);
        }
        const uint32_t w = uint32_t(pen(rng));
        DetectorRaster r;
        r.Begin(320, 240, 0);
        r.ThickLine(x0, y0, x1, y1, w);
        ASSERT_EQ(CoveredPixels(r), ReferenceWalk(x0, y0, x1, y1, w))
            << x0 << "," << y0 << " -> " << x1 << "," << y1 << " pen " << w;
    }
}

TEST(RasterClip, WorkOfALineFollowsTheMapNotItsLength) {
    // Two billion columns long, passing one row above the map or cutting a
    // corner: a handful of steps are looked at, not the whole walk.
    DetectorRaster r;
    r.Begin(320, 240, 0);
    r.ThickLine(-1000000000, -4, 1000000000, -3, 4);
    EXPECT_EQ(r.Count(), 0u);
    EXPECT_EQ(r.Probes(), 0u);
    r.ThickLine(-1000000000, -1000000000 + 20, 1000000000, 1000000000 + 20, 16777216);
    EXPECT_GT(r.Count(), 0u);
    EXPECT_LE(r.Probes(), 16u * 330u);
    r.Begin(320, 240, 0);
    r.ThickLine(-1000000000, 250, 1000000000, 251, 4); // below the map
    EXPECT_EQ(r.Probes(), 0u);
}

TEST(RasterClip, GroupedDividingLinesMatchDrawingEveryLine) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> coord(-1500, 1800), pen(0, 5);
    std::uniform_int_distribution<uint32_t> divisions(1, 120);
    for (int i = 0; i < 100; ++i) {
        std::array<Point, 4> p;
        for (Point& q : p)
            q = {coord(rng), coord(rng)};
        const uint32_t d = divisions(rng), w = uint32_t(pen(rng));
        ASSERT_EQ(Grouped(p, d, w), EveryDividingLine(p, d, w)) << "case " << i;
    }
    // Far corners: most lines miss the map, a few cross it.
    std::uniform_int_distribution<int> huge(-2000000000, 2000000000);
    for (int i = 0; i < 40; ++i) {
        std::array<Point, 4> p;
        for (Point& q : p)
            q = {huge(rng), huge(rng)};
        p[i % 4] = {coord(rng) / 8 + 160, coord(rng) / 8 + 120}; // one corner near the map
        const uint32_t d = 1 + uint32_t(i) * 41, w = uint32_t(pen(rng));
        ASSERT_EQ(Grouped(p, d, w), EveryDividingLine(p, d, w)) << "far case " << i;
    }
}

TEST(RasterClip, ManyDistinctLinesAreAllDrawn) {
    // 199,999 lines one row apart, nearly all above the map: the last two
    // hundred or so cross it and must all be drawn, however many distinct
    // lines come before them.
    const std::array<Point, 4> p{{{0, 200}, {10, 200}, {10, -200000}, {0, -200000}}};
    const PixelSet got = Grouped(p, 199999, 1);
    EXPECT_EQ(got, EveryDividingLine(p, 199999, 1));
    EXPECT_GT(got.size(), 1500u);
}

TEST(RasterClip, HostileCornersAndDivisionsCostWhatTheMapHolds) {
    // Sizes from a damaged file: fifty million divisions, a pen width of
    // sixteen million and corners near 4.7e8. The work stays within a small
    // multiple of the map's area, and matches drawing every line where that
    // can be afforded (the same shape at a hundred-thousandth of the size).
    Detector d = test::Quad({{{469762048, 469762047}, {469762047, -469762048}, {-469762048, 469762047},
                              {-469762048, -469762048}}},
                            0, 50331648, 16777216);
    DetectorRaster r;
    r.Rasterise(d.points, d, 320, 240);
    EXPECT_GT(r.Count(), 0u);
    EXPECT_LE(r.Probes(), uint64_t(20) * 320 * 240);
    const std::array<Point, 4> small{{{4697, 4697}, {4697, -4697}, {-4697, 4697}, {-4697, -4697}}};
    EXPECT_EQ(Grouped(small, 50331, 4), EveryDividingLine(small, 50331, 4));

    // A fan: every line runs through the map's corner, so none can be
    // skipped. The drawing stops within its budget instead of walking fifty
    // million lines.
    const std::array<Point, 4> fan{{{-469762048, 469762047}, {469762047, -469762048}, {469762047, 469762047},
                                    {-469762048, -469762048}}};
    uint64_t probes = 0;
    const PixelSet drawn = Grouped(fan, 50331648, 4, &probes);
    EXPECT_FALSE(drawn.empty());
    EXPECT_LE(probes, (uint64_t(1) << 24) + 128 + 16 * 400);

    // Lines from a short edge at the map to one sixteen million rows below
    // it, about one row apart there: every line crosses the map, and the
    // work of testing groups of them is bounded as well.
    const std::array<Point, 4> steep{{{50, 40}, {70, 16515112}, {80, 80}, {40, 80}}};
    Grouped(steep, 16777216, 1, &probes);
    EXPECT_LE(probes, (uint64_t(1) << 24) + 128 + 16 * 400);
}

} // namespace
} // namespace korvex
