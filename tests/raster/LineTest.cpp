#include "RasterTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace korvex {
namespace {

using test::CoveredPixels;
using test::PixelSet;
using test::Rect;

PixelSet Line(int x0, int y0, int x1, int y1, uint32_t pen = 1) {
    DetectorRaster r;
    r.Begin(320, 240, 0);
    r.ThickLine(x0, y0, x1, y1, pen);
    PixelSet got = CoveredPixels(r);
    EXPECT_EQ(r.Count(), got.size()) << "count must equal the distinct pixels";
    return got;
}

TEST(RasterLine, HorizontalStartIncludedEndExcludedBothWays) {
    EXPECT_EQ(Line(10, 5, 14, 5), (PixelSet{{10, 5}, {11, 5}, {12, 5}, {13, 5}}));
    EXPECT_EQ(Line(14, 5, 10, 5), (PixelSet{{11, 5}, {12, 5}, {13, 5}, {14, 5}}));
    EXPECT_EQ(Line(5, 10, 5, 14), (PixelSet{{5, 10}, {5, 11}, {5, 12}, {5, 13}}));
    EXPECT_EQ(Line(5, 14, 5, 10), (PixelSet{{5, 11}, {5, 12}, {5, 13}, {5, 14}}));
}

TEST(RasterLine, EqualPointsDrawNothingAtAnyPenWidth) {
    for (uint32_t pen = 0; pen <= 9; ++pen)
        EXPECT_TRUE(Line(30, 30, 30, 30, pen).empty()) << "pen " << pen;
}

TEST(RasterLine, SlopedLineFollowsTheErrorTerm) {
    // dx 5, dy 2, e = -1: e runs -1, 3 (step), -3, 1 (step), -5.
    EXPECT_EQ(Line(0, 0, 5, 2), (PixelSet{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    // Drawn the other way the walk still starts at the left point, so the
    // same rows are used and only the excluded column moves.
    EXPECT_EQ(Line(5, 2, 0, 0), (PixelSet{{1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
    // Rising towards the other point's y.
    EXPECT_EQ(Line(0, 2, 5, 0), (PixelSet{{0, 2}, {1, 2}, {2, 1}, {3, 1}, {4, 0}}));
    // Steep: the same walk along y.
    EXPECT_EQ(Line(0, 0, 2, 5), (PixelSet{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}));
}

TEST(RasterLine, FortyFiveDegreesIsYMajor) {
    // dx == dy walks the rows: e = 3 > 0 every step, x follows y.
    EXPECT_EQ(Line(0, 0, 3, 3), (PixelSet{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(Line(3, 3, 0, 0), (PixelSet{{1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(Line(3, 0, 0, 3), (PixelSet{{3, 0}, {2, 1}, {1, 2}}));
}

TEST(RasterLine, BrushSquares) {
    // One step pixel at (10, 5) in each case.
    EXPECT_EQ(Line(10, 5, 11, 5, 0), (PixelSet{{10, 5}}));
    EXPECT_EQ(Line(10, 5, 11, 5, 1), (PixelSet{{10, 5}}));
    EXPECT_EQ(Line(10, 5, 11, 5, 2), Rect(9, 4, 10, 5));
    EXPECT_EQ(Line(10, 5, 11, 5, 3), Rect(9, 4, 11, 6));
    EXPECT_EQ(Line(10, 5, 11, 5, 4), Rect(8, 3, 11, 6));
    EXPECT_EQ(Line(10, 5, 11, 5, 9), Rect(8, 3, 11, 6));
    // Two steps of width 2 overlap in one column: 6 distinct pixels.
    EXPECT_EQ(Line(10, 5, 12, 5, 2), Rect(9, 4, 11, 5));
}

TEST(RasterLine, ClippedToTheCoverageMap) {
    EXPECT_EQ(Line(-5, 0, 3, 0), (PixelSet{{0, 0}, {1, 0}, {2, 0}}));
    // Width 4 at the bottom-right corner: rows 237..240 and columns
    // 316..319 of the step pixel (318, 239); row 240 does not exist.
    EXPECT_EQ(Line(318, 239, 319, 239, 4), Rect(316, 237, 319, 239));
    EXPECT_EQ(Line(319, 239, 318, 239, 4), Rect(317, 237, 319, 239)); // step pixel (319, 239)
}

TEST(RasterLine, HugeCoordinatesStayExactAndFast) {
    EXPECT_EQ(Line(-2000000000, 7, 2000000000, 7), Rect(0, 7, 319, 7));
    EXPECT_EQ(Line(INT_MIN, 0, INT_MAX, 0), Rect(0, 0, 319, 0));
    EXPECT_EQ(Line(INT_MAX, 0, INT_MIN, 0), Rect(0, 0, 319, 0));
    PixelSet diagonal;
    for (int k = 0; k < 240; ++k)
        diagonal.insert({k, k});
    EXPECT_EQ(Line(-1000, -1000, 1000, 1000), diagonal);
    EXPECT_TRUE(Line(INT_MIN, INT_MIN, INT_MAX, INT_MIN).empty());
}

PixelSet ReferenceLine(long long x0, long long y0, long long x1, long long y1, uint32_t pen);

TEST(RasterLine, LongLinesEnteringTheMapFarFromTheirStart) {
    // The walk is resumed in closed form where it reaches the map; it must
    // agree with walking every one of the two million steps.
    EXPECT_EQ(Line(-1000000, -10000, 1000000, 10000, 1), ReferenceLine(-1000000, -10000, 1000000, 10000, 1));
    EXPECT_EQ(Line(1000000, 10007, -1000000, -9993, 4), ReferenceLine(1000000, 10007, -1000000, -9993, 4));
    EXPECT_EQ(Line(-3, -1000000, 300, 1000000, 3), ReferenceLine(-3, -1000000, 300, 1000000, 3));
    EXPECT_FALSE(Line(-1000000, -10000, 1000000, 10000, 1).empty());
}

// The walk written out step by step without any clipping, brush squares
// from the pen width table; the rasteriser clips and resumes the walk and
// must not change a single pixel.
PixelSet ReferenceLine(long long x0, long long y0, long long x1, long long y1, uint32_t pen) {
    PixelSet out;
    const long long dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
    if (dx == 0 && dy == 0)
        return out;
    std::vector<std::pair<long long, long long>> steps;
    if (dy < dx) {
        const bool fromA = x0 < x1;
        long long x = fromA ? x0 : x1, y = fromA ? y0 : y1;
        const long long xEnd = fromA ? x1 : x0, yOther = fromA ? y1 : y0;
        long long e = 2 * dy - dx;
        for (; x <= xEnd; ++x) {
            if (x != x1)
                steps.push_back({x, y});
            if (e > 0) {
                y += yOther > y ? 1 : -1;
                e += 2 * (dy - dx);
            } else {
                e += 2 * dy;
            }
        }
    } else {
        const bool fromA = y0 < y1;
        long long y = fromA ? y0 : y1, x = fromA ? x0 : x1;
        const long long yEnd = fromA ? y1 : y0, xOther = fromA ? x1 : x0;
        long long e = 2 * dx - dy;
        for (; y <= yEnd; ++y) {
            if (y != y1)
                steps.push_back({x, y});
            if (e > 0) {
                x += xOther > x ? 1 : -1;
                e += 2 * (dx - dy);
            } else {
                e += 2 * dx;
            }
        }
    }
    const int lo = pen <= 1 ? 0 : pen == 2 ? -1 : pen == 3 ? -1 : -2;
    const int hi = pen <= 1 ? 0 : pen == 2 ? 0 : 1;
    for (auto [sx, sy] : steps)
        for (int oy = lo; oy <= hi; ++oy)
            for (int ox = lo; ox <= hi; ++ox) {
                const long long px = sx + ox, py = sy + oy;
                if (px >= 0 && px < 320 && py >= 0 && py < 240)
                    out.insert({int(px), int(py)});
            }
    return out;
}

TEST(RasterLine, MatchesTheUnclippedWalkOnRandomLines) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> cx(-700, 1000), cy(-500, 800), pen(0, 5);
    for (int i = 0; i < 600; ++i) {
        const int x0 = cx(rng), y0 = cy(rng), x1 = cx(rng), y1 = cy(rng);
        const uint32_t w = uint32_t(pen(rng));
        ASSERT_EQ(Line(x0, y0, x1, y1, w), ReferenceLine(x0, y0, x1, y1, w))
            << x0 << "," << y0 << " -> " << x1 << "," << y1 << " pen " << w;
    }
}

} // namespace
} // namespace korvex
