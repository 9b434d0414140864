#include "RasterTestUtil.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvex {
namespace {

using test::CoveredPixels;
using test::kSquare;
using test::PixelSet;
using test::Quad;
using test::Rect;

// The half-tone matrix as the drawing rules give it, row (y % 4) by column (x % 4).
constexpr int kMatrix[4][4] = {{1, 9, 3, 11}, {13, 5, 15, 7}, {4, 12, 2, 10}, {16, 8, 14, 6}};

PixelSet Rasterise(const Detector& d, uint32_t canvasWidth = 320, uint32_t canvasHeight = 240) {
    DetectorRaster r;
    r.Rasterise(d.points, d, canvasWidth, canvasHeight);
    PixelSet got = CoveredPixels(r);
    EXPECT_EQ(r.Count(), got.size());
    return got;
}

PixelSet SquareWhereMatrixAtMost(int level) {
    PixelSet out;
    for (int y = 10; y <= 19; ++y)
        for (int x = 10; x <= 19; ++x)
            if (kMatrix[y % 4][x % 4] <= level)
                out.insert({x, y});
    return out;
}

TEST(RasterFill, SquareAtEveryDensityOfTheText) {
    EXPECT_EQ(Rasterise(Quad(kSquare, 100, 0, 1)), Rect(10, 10, 19, 19)); // no outline
    const PixelSet half = Rasterise(Quad(kSquare, 50, 0, 1));
    EXPECT_EQ(half.size(), 50u);
    EXPECT_EQ(half, SquareWhereMatrixAtMost(8));
    // fill 20: level 3 -> entries 1, 2, 3. Rows 10..19 hold y % 4 = 2 three
    // times and 0 twice, columns likewise: 2*2 (entry 1) + 3*3 (entry 2) +
    // 2*3 (entry 3) = 19 pixels.
    const PixelSet twenty = Rasterise(Quad(kSquare, 20, 0, 1));
    EXPECT_EQ(twenty.size(), 19u);
    EXPECT_EQ(twenty, SquareWhereMatrixAtMost(3));
    EXPECT_TRUE(twenty.count({12, 12}) && twenty.count({14, 18}) && twenty.count({18, 16}));
    EXPECT_TRUE(Rasterise(Quad(kSquare, 5, 0, 1)).empty());
    EXPECT_TRUE(Rasterise(Quad(kSquare, 6, 0, 1)).empty());     // level 0
    EXPECT_EQ(Rasterise(Quad(kSquare, 7, 0, 1)), SquareWhereMatrixAtMost(1)); // level 1
    EXPECT_EQ(Rasterise(Quad(kSquare, 99, 0, 1)), SquareWhereMatrixAtMost(15));
}

TEST(RasterFill, PixelCentresOnTheEdges) {
    // Right-angled triangle: the hypotenuse runs through pixel centres of
    // x + y = 3, which are kept (span end truncated from 4 - i).
    Detector d = Quad({{{0, 0}, {4, 0}, {0, 4}, {0, 4}}}, 100, 0, 1);
    EXPECT_EQ(Rasterise(d), (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}}));
}

TEST(RasterFill, EdgesWalkInSinglePrecision) {
    // Edge (7, 0)->(0, 3): slope -7/3 = -2.3333333 (float), start 7.5 -
    // 1.1666666 = 6.3333335; row 1 is 6.3333335 - 2.3333333 = 4.0 exactly
    // after rounding, so the span is 0..3. In double precision the same
    // sum is 3.9999999999999996 and the span would stop at 2.
    Detector d = Quad({{{0, 0}, {7, 0}, {0, 3}, {0, 3}}}, 100, 0, 1);
    PixelSet expected = Rect(0, 0, 5, 0);
    for (auto p : Rect(0, 1, 3, 1))
        expected.insert(p);
    expected.insert({0, 2});
    EXPECT_EQ(Rasterise(d), expected);
}

TEST(RasterFill, VertexOrderDoesNotChangeTheTriangle) {
    DetectorRaster a, b;
    a.Begin(320, 240, 100);
    b.Begin(320, 240, 100);
    a.FillTriangle({5, 5}, {40, 5}, {17, 33});
    b.FillTriangle({17, 33}, {40, 5}, {5, 5});
    EXPECT_EQ(CoveredPixels(a), CoveredPixels(b));
    EXPECT_GT(a.Count(), 0u);
    DetectorRaster flat;
    flat.Begin(320, 240, 100);
    flat.FillTriangle({5, 5}, {10, 10}, {20, 20}); // collinear: zero area
    EXPECT_EQ(flat.Count(), 0u);
}

TEST(RasterFill, ClippedToTheCanvas) {
    // A 180-wide state draws on a 240 x 144 canvas: fills stop there.
    Detector d = Quad({{{200, 100}, {300, 100}, {300, 200}, {200, 200}}}, 100, 0, 1);
    EXPECT_EQ(Rasterise(d, 240, 144), Rect(200, 100, 239, 143));
    // Lines may still set coverage beyond the canvas, up to 319 x 239.
    Detector outline = Quad({{{200, 100}, {300, 100}, {300, 200}, {200, 200}}}, 0, 0, 1);
    const PixelSet ring = Rasterise(outline, 240, 144);
    EXPECT_TRUE(ring.count({299, 100}));
    EXPECT_TRUE(ring.count({300, 199}));
    // A fill far larger than the picture, with coordinates near the 32-bit
    // limits: the canvas is covered row by row and nothing overflows.
    Detector huge = Quad({{{-2000000000, -10}, {2000000000, -10}, {2000000000, 2000000000}, {-2000000000, 2000000000}}},
                         100, 0, 1);
    EXPECT_EQ(Rasterise(huge, 320, 240).size(), 320u * 240u);
    EXPECT_EQ(Rasterise(huge, 240, 144).size(), 240u * 144u);
    Detector extreme = Quad({{{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}}}, 100, 0, 4);
    DetectorRaster r;
    r.Rasterise(extreme.points, extreme, 320, 240);
    EXPECT_LE(r.Count(), 320u * 240u);
}

TEST(RasterOutline, ClosedSquareDrawsEveryCornerOnce) {
    // The four sides each draw 10 pixels, start included, end excluded; the
    // ring of the 11 x 11 square has 40 pixels.
    PixelSet ring = Rect(10, 10, 20, 20);
    for (auto p : Rect(11, 11, 19, 19))
        ring.erase(p);
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 0, 1)), ring);
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 0, 9)), Rasterise(Quad(kSquare, 0, 0, 4)));
    EXPECT_NE(Rasterise(Quad(kSquare, 0, 0, 3)), Rasterise(Quad(kSquare, 0, 0, 4)));
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 0, 0)), ring);
}

TEST(RasterOutline, LineDetectorUsesOnlyItsFirstTwoPoints) {
    Detector d = Quad(kSquare, 100, 3, 1);
    d.line = 1;
    EXPECT_EQ(Rasterise(d), Rect(10, 10, 19, 10)); // no fill, no divisions
}

TEST(RasterDivisions, OneDivisionJoinsTheMidpoints) {
    // Midpoints of P3-P0 (10, 15) and P2-P1 (20, 15): columns 10..19 of
    // row 15; (10, 15) is already on the outline.
    PixelSet expected = Rasterise(Quad(kSquare, 0, 0, 1));
    for (auto p : Rect(10, 15, 19, 15))
        expected.insert(p);
    EXPECT_EQ(expected.size(), 49u);
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 1, 1)), expected);
}

TEST(RasterDivisions, ThirdsRoundToNearestRows) {
    // n = 3: y = (-10 / 3) * i + 20 -> 16.67 and 13.33 -> rows 17 and 13.
    PixelSet lines = Rect(10, 13, 19, 13);
    for (auto p : Rect(10, 17, 19, 17))
        lines.insert(p);
    EXPECT_EQ(Rasterise(Quad(kSquare, 5, 2, 1)), lines); // fill level 0: only the lines
    // Over a full fill the lines add nothing inside the square.
    EXPECT_EQ(Rasterise(Quad(kSquare, 100, 2, 1)), Rect(10, 10, 19, 19));
}

TEST(RasterDivisions, HalvesRoundAwayFromZero) {
    // B = P2 + (P1 - P2) / 2 = (0 + (-1) / 2, ...) = -0.5 -> -1. The line
    // (20, 15) -> (-1, 15) then draws columns 0..20; rounding -0.5 to 0
    // would end it at (0, 15), which is excluded.
    Detector d = Quad({{{20, 10}, {-1, 10}, {0, 20}, {20, 20}}}, 5, 1, 1); // level 0: lines only
    EXPECT_EQ(Rasterise(d), Rect(0, 15, 20, 15));
    // A = (10, 20 + (-7 / 2)) = (10, 16.5) -> 17; B = (20, 16.5) -> 17.
    Detector e = Quad({{{10, 13}, {20, 13}, {20, 20}, {10, 20}}}, 5, 1, 1);
    EXPECT_EQ(Rasterise(e), Rect(10, 17, 19, 17));
}

TEST(RasterDivisions, HugeCountFinishesWithEveryDistinctLine) {
    // 2^32 - 1 dividing lines land on every row 10..20; with the outline
    // the whole 11 x 11 block is covered.
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, UINT32_MAX, 1)), Rect(10, 10, 20, 20));
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 1000000, 1)), Rect(10, 10, 20, 20));
    // Ten lines on ten rows 11..19 plus the outline: the same block.
    EXPECT_EQ(Rasterise(Quad(kSquare, 0, 9, 1)), Rect(10, 10, 20, 20));
    // Corners near the 32-bit limits with a huge count (only a damaged file
    // holds such a detector): the drawing ends, within the map.
    Detector wild = Quad({{{-2000000000, 2000000000}, {5, -2000000000}, {300, 2000000000}, {INT_MAX, INT_MIN}}}, 0,
                         UINT32_MAX, 1);
    DetectorRaster r;
    r.Rasterise(wild.points, wild, 320, 240);
    EXPECT_LE(r.Count(), 320u * 240u);
}

} // namespace
} // namespace korvex
