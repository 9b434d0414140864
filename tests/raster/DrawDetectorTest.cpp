#include "RasterTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace korvex {
namespace {

using test::kSquare;
using test::PixelSet;
using test::Quad;
using test::Rect;

constexpr uint32_t kRed = 0x0000FF, kDarkBlue = 0x800000, kDarkGreen = 0x008000;
constexpr uint32_t kBlue = 0xFF0000, kGrey = 0x808080, kWhite = 0xFFFFFF;

// Pixels of the surface that differ from white.
PixelSet Changed(const Bitmap& b) {
    PixelSet out;
    for (uint32_t y = 0; y < b.Height(); ++y)
        for (uint32_t x = 0; x < b.Width(); ++x)
            if (b.GetPixelColour(x, y) != kWhite)
                out.insert({int(x), int(y)});
    return out;
}

PixelSet Ring(int x0, int y0, int x1, int y1) {
    PixelSet r = Rect(x0, y0, x1, y1);
    for (auto p : Rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1))
        r.erase(p);
    return r;
}

TEST(RasterDraw, ColoursAndResult) {
    Detector d = Quad(kSquare, 100, 0, 1);
    d.number = 7;
    d.card = 3;
    struct Case {
        bool selected, maskMode, contrast;
        uint32_t colour;
    } cases[] = {{false, false, false, kDarkGreen}, {false, false, true, kDarkBlue},
                 {true, false, false, kRed},        {true, false, true, kRed},
                 {false, true, true, kRed},         {true, true, false, kRed}};
    for (const Case& c : cases) {
        d.contrast = c.contrast;
        Bitmap surface(320, 240);
        const DrawResult r =
            DrawDetector(surface, d.points, d, -1, c.selected, c.maskMode, 320, 240, d.exclusion);
        EXPECT_EQ(r, (DrawResult{2, 7, 3, 100}));
        EXPECT_EQ(surface.GetPixelColour(15, 15), c.colour);
        EXPECT_EQ(surface.GetPixelColour(20, 20), kWhite);
        EXPECT_EQ(surface.GetPixelColour(9, 10), kWhite);
    }
}

TEST(RasterDraw, UsesThePointsGivenNotTheDetectors) {
    Detector d = Quad(kSquare, 100, 0, 1);
    std::array<Point, 4> moved = kSquare;
    for (Point& p : moved)
        p.x += 100;
    Bitmap surface(320, 240);
    EXPECT_EQ(DrawDetector(surface, moved, d, -1, false, false, 320, 240, d.exclusion).count, 100u);
    EXPECT_EQ(Changed(surface), Rect(110, 10, 119, 19));
}

TEST(RasterDraw, HandlesOnlyWhenSelectedAndNotMasking) {
    Detector d = Quad({{{50, 40}, {70, 40}, {80, 80}, {40, 80}}}, 5, 0, 1); // fill level 0: no pixels
    Bitmap surface(320, 240);
    DrawDetector(surface, d.points, d, 1, true, false, 320, 240, d.exclusion);
    // Frame of (x - 3, y - 3) .. (x + 3, y + 3), right and bottom exclusive.
    PixelSet expected;
    for (const Point& p : d.points)
        for (auto q : Ring(p.x - 3, p.y - 3, p.x + 2, p.y + 2))
            expected.insert(q);
    EXPECT_EQ(Changed(surface), expected);
    EXPECT_EQ(Ring(0, 0, 5, 5).size(), 20u);
    EXPECT_EQ(surface.GetPixelColour(67, 37), kBlue); // P1 (70, 40), active
    EXPECT_EQ(surface.GetPixelColour(72, 42), kBlue);
    EXPECT_EQ(surface.GetPixelColour(73, 40), kWhite);
    EXPECT_EQ(surface.GetPixelColour(70, 40), kWhite); // the frame is hollow
    EXPECT_EQ(surface.GetPixelColour(47, 37), kGrey);  // P0
    EXPECT_EQ(surface.GetPixelColour(37, 82), kGrey);  // P3

    Bitmap masked(320, 240);
    DrawDetector(masked, d.points, d, 1, true, true, 320, 240, d.exclusion);
    EXPECT_TRUE(Changed(masked).empty());

    Detector line = d;
    line.line = 1;
    Bitmap lineSurface(320, 240);
    DrawDetector(lineSurface, line.points, line, -1, true, false, 320, 240, line.exclusion);
    EXPECT_EQ(lineSurface.GetPixelColour(77, 77), kWhite); // no handle on P2
    EXPECT_EQ(lineSurface.GetPixelColour(47, 37), kGrey);
    EXPECT_EQ(lineSurface.GetPixelColour(67, 37), kGrey);

    // Handles near the border are clipped, not an error.
    Bitmap small(240, 144);
    Detector corner = Quad({{{0, 0}, {239, 0}, {239, 143}, {0, 143}}}, 0, 0, 1);
    EXPECT_NO_THROW(DrawDetector(small, corner.points, corner, 2, true, false, 240, 144, corner.exclusion));
    EXPECT_EQ(small.GetPixelColour(2, 2), kGrey);
}

TEST(RasterDraw, ExclusionRemovesPixelsButKeepsTheCount) {
    Detector d = Quad(kSquare, 100, 0, 1);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            d.exclusion.PaintBlack(x, y);
    Bitmap surface(320, 240);
    EXPECT_EQ(DrawDetector(surface, d.points, d, -1, false, false, 320, 240, d.exclusion).count, 100u);
    EXPECT_TRUE(Changed(surface).empty());
    EXPECT_EQ(ComputeDetectorMask(d, 320, 240).count, 100u);
    EXPECT_TRUE(std::ranges::all_of(ComputeDetectorMask(d, 320, 240).bits, [](uint8_t b) { return b == 0; }));

    Detector partial = Quad(kSquare, 100, 0, 1);
    partial.exclusion.PaintBlack(12, 13);
    partial.exclusion.PaintBlack(200, 200); // outside the detector: no effect
    Bitmap s2(320, 240);
    EXPECT_EQ(DrawDetector(s2, partial.points, partial, -1, false, false, 320, 240, partial.exclusion).count,
              100u);
    PixelSet expected = Rect(10, 10, 19, 19);
    expected.erase({12, 13});
    EXPECT_EQ(Changed(s2), expected);
}

TEST(RasterDraw, ExclusionIsABytewiseAnd) {
    // A coloured exclusion pixel ANDs with the colour: dark green & (G 0x80
    // cleared) is black (left out), red & (R 0x40) leaves (0x40, 0, 0).
    Detector d = Quad(kSquare, 100, 0, 1);
    d.exclusion.SetPixelColour(11, 11, 0xFF7F40); // R 0x40, G 0x7F, B 0xFF
    Bitmap green(320, 240), red(320, 240);
    DrawDetector(green, d.points, d, -1, false, false, 320, 240, d.exclusion);
    DrawDetector(red, d.points, d, -1, true, false, 320, 240, d.exclusion);
    EXPECT_EQ(green.GetPixelColour(11, 11), kWhite);
    EXPECT_EQ(red.GetPixelColour(11, 11), 0x000040u);
    // That pixel is red enough to be drawn but too dark for the mask.
    EXPECT_FALSE(ComputeDetectorMask(d, 320, 240).At(11, 11));
    EXPECT_TRUE(ComputeDetectorMask(d, 320, 240).At(12, 11));
}

TEST(RasterDraw, CanvasClipsPaintingNotLines) {
    // A 180-wide state: canvas 240 x 144. The line runs to column 300 and
    // the outline to row 200; everything inside 320 x 240 is counted.
    Detector d = Quad({{{200, 100}, {300, 100}, {300, 200}, {200, 200}}}, 0, 0, 1);
    Bitmap surface(240, 144);
    const DrawResult r = DrawDetector(surface, d.points, d, -1, false, false, 240, 144, Bitmap(240, 144));
    EXPECT_EQ(r.count, 400u); // ring of the 101 x 101 square
    PixelSet visible;
    for (auto p : Ring(200, 100, 300, 200))
        if (p.first < 240 && p.second < 144)
            visible.insert(p);
    EXPECT_EQ(Changed(surface), visible);
}

TEST(RasterDraw, LayerOperationsGiveTheSameSurface) {
    // Drawing through an explicit layer (colour on black, AND, transparent
    // copy) must give the pixels DrawDetector gives.
    Detector d = Quad({{{30, 20}, {150, 35}, {130, 120}, {20, 100}}}, 50, 3, 3);
    for (uint32_t x = 0; x < 320; ++x)
        d.exclusion.PaintBlack(x, 60);
    d.exclusion.SetPixelColour(100, 70, 0x00FF00);
    Bitmap background(320, 240);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            background.SetPixelColour(x, y, (x * 7 + y * 13) % 256 * 0x010101u);
    Bitmap direct = background;
    DrawDetector(direct, d.points, d, -1, false, false, 320, 240, d.exclusion);

    DetectorRaster r;
    r.Rasterise(d.points, d, 320, 240);
    Bitmap layer(320, 240);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            layer.SetPixelColour(x, y, r.Covered(x, y) ? kDarkGreen : 0);
    CombineExclusion(layer, d.exclusion);
    Bitmap composed = background;
    CopyTransparent(composed, layer);
    EXPECT_EQ(composed, direct);
    EXPECT_NE(direct, background);
}

TEST(RasterDraw, ReusedScratchStateForgetsThePreviousDrawing) {
    // The free functions and a reused DetectorRaster clear only what the
    // previous drawing set; nothing of it may leak into the next one.
    Detector big = Quad({{{-10, -10}, {330, -10}, {330, 250}, {-10, 250}}}, 100, 6, 4);
    Detector small = Quad(kSquare, 100, 0, 1);
    EXPECT_EQ(DetectorPixelCount(big, 320, 240), 320u * 240u);
    EXPECT_EQ(DetectorPixelCount(small, 320, 240), 100u);
    EXPECT_EQ(DetectorPixelCount(big, 320, 240), 320u * 240u);
    const DetectorMask mask = ComputeDetectorMask(small, 320, 240);
    EXPECT_EQ(std::count(mask.bits.begin(), mask.bits.end(), 1), 100);
    Bitmap surface(320, 240);
    EXPECT_EQ(DrawDetector(surface, small.points, small, -1, false, false, 320, 240, small.exclusion).count,
              100u);
    EXPECT_EQ(Changed(surface), Rect(10, 10, 19, 19));

    DetectorRaster r;
    r.Rasterise(big.points, big, 320, 240);
    r.Begin(320, 240, 0);
    EXPECT_EQ(r.Count(), 0u);
    EXPECT_FALSE(r.Covered(0, 0));
    EXPECT_FALSE(r.Covered(319, 239));
    EXPECT_TRUE(r.DrawPixel(319, 239));
    EXPECT_FALSE(r.DrawPixel(319, 239)); // at most once
    EXPECT_FALSE(r.DrawPixel(320, 0));
    EXPECT_FALSE(r.DrawPixel(0, -1));
    EXPECT_EQ(r.Count(), 1u);
}

TEST(RasterMask, MatchesTheRedTestOnAMaskModeDrawing) {
    // The mask read from a grey background drawn in mask mode (bit = R >=
    // 192, G < 64, B < 64) is what ComputeDetectorMask gives, for both
    // canvas sizes.
    for (uint32_t w : {240u, 320u}) {
        const uint32_t h = w == 320 ? 240 : 144;
        Detector d = Quad({{{25, 10}, {230, 30}, {250, 130}, {28, 140}}}, 20, 2, 4);
        d.exclusion = Bitmap(w, h);
        for (uint32_t y = 0; y < h; ++y)
            d.exclusion.PaintBlack(100, y);
        d.exclusion.SetPixelColour(40, 40, 0x0000C0); // R 192: still a mask pixel
        d.exclusion.SetPixelColour(41, 40, 0x0000BF); // R 191: not
        Bitmap canvas(w, h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                canvas.SetPixelColour(x, y, (x * 3 + y * 5) % 256 * 0x010101u);
        canvas.ToGrey();
        DrawDetector(canvas, d.points, d, -1, false, true, w, h, d.exclusion);
        const DetectorMask mask = ComputeDetectorMask(d, w, h);
        ASSERT_EQ(mask.width, w);
        ASSERT_EQ(mask.height, h);
        uint32_t set = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t c = canvas.GetPixelColour(x, y);
                const bool red = (c & 0xFF) >= 192 && (c >> 8 & 0xFF) < 64 && (c >> 16 & 0xFF) < 64;
                ASSERT_EQ(mask.At(x, y), red) << w << ": " << x << "," << y;
                set += red;
            }
        EXPECT_GT(set, 500u);
        EXPECT_FALSE(mask.At(100, 40));
    }
}

TEST(RasterMask, PackedRowsTakeTheWindowAndBitOrder) {
    DetectorMask mask;
    mask.width = 240;
    mask.height = 2;
    mask.bits.assign(480, 0);
    mask.bits[30] = 1;  // (30, 0): first picture pixel of a 180-wide state
    mask.bits[209] = 1; // (209, 0): its last
    mask.bits[29] = 1;  // margins never reach the mask
    mask.bits[210] = 1;
    mask.bits[240 + 30 + 9] = 1; // (39, 1) -> picture x 9: byte 1, bit 6
    const std::vector<uint8_t> rows = PackMaskRows(mask, 30, 180, 2);
    ASSERT_EQ(rows.size(), 46u); // 23 bytes a row
    std::vector<uint8_t> expected(46, 0);
    expected[0] = 0x80;
    expected[22] = 0x10; // x 179: byte 22, bit 7 - 3
    expected[23 + 1] = 0x40;
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(PackMaskRows(mask, 0, 320, 1).size(), 40u); // wider than the mask: zeros
}

// Packing eight mask pixels at a time, and the kept rows only, give what
// packing pixel by pixel from At() gives, for any window of rows and
// columns; the bottom-up form holds the same rows in the opposite order.
TEST(RasterMask, PackedRowsMatchThePixelsOfAnyWindow) {
    struct Case {
        uint32_t width, height, top, bottom, offsetX, packWidth, packHeight;
    };
    const Case cases[] = {
        {320, 240, 0, 240, 0, 320, 240},    // the whole canvas
        {320, 240, 37, 101, 0, 320, 240},   // a window of rows
        {240, 144, 5, 144, 30, 180, 144},   // a 180-wide picture in its canvas
        {240, 144, 0, 144, 0, 192, 144},    // a width that is no multiple of 16
        {240, 144, 130, 144, 30, 180, 100}, // rows past the packed height
        {240, 144, 0, 10, 250, 180, 144},   // an offset past the mask: zeros
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " rows " << c.top << ".." << c.bottom);
        DetectorMask mask;
        mask.width = c.width;
        mask.height = c.height;
        mask.top = c.top;
        mask.bottom = c.bottom;
        mask.bits.resize(size_t(c.bottom - c.top) * c.width);
        for (uint8_t& bit : mask.bits)
            bit = rng() % 3 == 0 ? 1 : 0;
        const size_t rowBytes = (c.packWidth + 7) / 8;
        std::vector<uint8_t> expected(rowBytes * c.packHeight, 0);
        for (uint32_t y = 0; y < c.packHeight; ++y)
            for (uint32_t x = 0; x < c.packWidth; ++x)
                if (mask.At(x + c.offsetX, y))
                    expected[y * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
        EXPECT_EQ(PackMaskRows(mask, c.offsetX, c.packWidth, c.packHeight), expected);

        std::vector<uint8_t> bottomUp = {0xAB}; // appended after what is there
        AppendMaskRowsBottomUp(bottomUp, mask, c.offsetX, c.packWidth, c.packHeight);
        ASSERT_EQ(bottomUp.size(), 1 + expected.size());
        EXPECT_EQ(bottomUp[0], 0xAB);
        for (uint32_t y = 0; y < c.packHeight; ++y)
            EXPECT_TRUE(std::equal(expected.begin() + y * rowBytes, expected.begin() + (y + 1) * rowBytes,
                                   bottomUp.begin() + 1 + (c.packHeight - 1 - y) * rowBytes))
                << "row " << y;
    }
}

TEST(RasterArrow, PointsForTheFourDirectionsAndZoom) {
    const std::array<Point, 4> quad{{{40, 40}, {60, 40}, {60, 60}, {40, 60}}}; // centre (50, 50)
    using P = std::array<Point, 7>;
    EXPECT_EQ(DirectionArrowPolygon(quad, false, 0, 1),
              (P{{{53, 40}, {47, 40}, {47, 55}, {44, 55}, {50, 61}, {56, 55}, {53, 55}}}));
    // 90 degrees points right: (px, py) -> (py, -px) around the centre.
    EXPECT_EQ(DirectionArrowPolygon(quad, false, 90, 1),
              (P{{{40, 47}, {40, 53}, {55, 53}, {55, 56}, {61, 50}, {55, 44}, {55, 47}}}));
    // 180 points up, 270 left: the tip is the fifth point.
    EXPECT_EQ(DirectionArrowPolygon(quad, false, 180, 1)[4], (Point{50, 39}));
    EXPECT_EQ(DirectionArrowPolygon(quad, false, 270, 1)[4], (Point{39, 50}));
    EXPECT_EQ(DirectionArrowPolygon(quad, false, 0, 3)[0], (Point{159, 120}));
    // A line detector's centre is the mean of P0 and P1 only: (15.5, 10).
    const std::array<Point, 4> line{{{10, 10}, {21, 10}, {300, 200}, {300, 200}}};
    const P l = DirectionArrowPolygon(line, true, 0, 1);
    EXPECT_EQ(l[0], (Point{19, 0}));                                       // floor(18.5 + 0.5)
    EXPECT_EQ(l[1], (Point{13, 0}));                                       // floor(12.5 + 0.5)
    EXPECT_EQ(l[4], (Point{16, 21}));                                      // floor(15.5 + 0.5), 10 + 11
    EXPECT_EQ(DirectionArrowPolygon(line, true, 0, 2)[1], (Point{25, 0})); // floor(25 + 0.5)
}

} // namespace
} // namespace korvex
