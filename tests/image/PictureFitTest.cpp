#include "image/PictureFit.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

using namespace korvex;

namespace {

// A source picture with its own row padding, so a scaler that ignores the
// stride reads the wrong bytes.
struct Source {
    uint32_t width, height;
    size_t stride;
    std::vector<uint8_t> bytes;

    Source(uint32_t w, uint32_t h, uint32_t colour = 0xFFFFFF)
        : width(w), height(h), stride(size_t(w) * 3 + 5) {
        bytes.assign(stride * h, 0xEE);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                Set(x, y, colour);
    }
    void Set(uint32_t x, uint32_t y, uint32_t colour) {
        uint8_t* p = bytes.data() + y * stride + x * 3;
        p[0] = uint8_t(colour >> 16);
        p[1] = uint8_t(colour >> 8);
        p[2] = uint8_t(colour);
    }
    PixelsBgr View() const { return {bytes.data(), width, height, stride}; }
};

// Columns (or rows) of `bitmap` along the middle row (column) with the bar
// grey.
uint32_t BarColumns(const Bitmap& b) {
    uint32_t n = 0;
    for (uint32_t x = 0; x < b.Width(); ++x)
        n += b.GetPixelColour(x, b.Height() / 2) == kFitBarColour;
    return n;
}
uint32_t BarRows(const Bitmap& b) {
    uint32_t n = 0;
    for (uint32_t y = 0; y < b.Height(); ++y)
        n += b.GetPixelColour(b.Width() / 2, y) == kFitBarColour;
    return n;
}

} // namespace

TEST(PictureFitTest, FitKeepsTheAspectWithCentredGreyBars) {
    // A 4:3 photo into a 180 x 144 (5:4) camera: full width, bars above
    // and below; a tall phone photo: full height, bars left and right.
    Bitmap wide = FitPicture(Source(400, 300, 0x0000FF).View(), 180, 144, PictureFitMode::Fit);
    EXPECT_EQ(BarColumns(wide), 0u);
    EXPECT_EQ(BarRows(wide), 144u - 135u);                // 300 * 180 / 400 = 135 rows of picture
    EXPECT_EQ(wide.GetPixelColour(90, 3), kFitBarColour); // 9 bar rows: 4 above, 5 below
    EXPECT_EQ(wide.GetPixelColour(90, 4), 0x0000FFu);
    EXPECT_EQ(wide.GetPixelColour(90, 138), 0x0000FFu);
    EXPECT_EQ(wide.GetPixelColour(90, 139), kFitBarColour);

    Bitmap tall = FitPicture(Source(300, 600, 0x00FF00).View(), 320, 240, PictureFitMode::Fit);
    EXPECT_EQ(BarRows(tall), 0u);
    EXPECT_EQ(BarColumns(tall), 320u - 120u);
    EXPECT_EQ(tall.GetPixelColour(99, 120), kFitBarColour);
    EXPECT_EQ(tall.GetPixelColour(100, 120), 0x00FF00u);
    EXPECT_EQ(tall.GetPixelColour(219, 120), 0x00FF00u);
    EXPECT_EQ(tall.GetPixelColour(220, 120), kFitBarColour);
}

TEST(PictureFitTest, FillCoversThePictureAndCropsTheMiddle) {
    // Left third red, middle green, right third blue, 600 x 240 into
    // 320 x 240: the middle 320 columns are kept, so the edges of the
    // result come from the red and blue thirds and no bar is left.
    Source s(600, 240);
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 600; ++x)
            s.Set(x, y, x < 200 ? 0x0000FF : x < 400 ? 0x00FF00 : 0xFF0000);
    Bitmap b = FitPicture(s.View(), 320, 240, PictureFitMode::Fill);
    EXPECT_EQ(BarColumns(b) + BarRows(b), 0u);
    EXPECT_EQ(b.GetPixelColour(0, 0), 0x0000FFu);   // source column 140
    EXPECT_EQ(b.GetPixelColour(59, 10), 0x0000FFu); // source column 199
    EXPECT_EQ(b.GetPixelColour(60, 10), 0x00FF00u);
    EXPECT_EQ(b.GetPixelColour(319, 239), 0xFF0000u);

    // A picture taller than the camera loses rows at top and bottom.
    Source t(100, 400, 0xFFFFFF);
    for (uint32_t x = 0; x < 100; ++x)
        t.Set(x, 0, 0); // the top row is cut off
    Bitmap c = FitPicture(t.View(), 320, 240, PictureFitMode::Fill);
    EXPECT_EQ(c.GetPixelColour(160, 0), 0xFFFFFFu);
}

TEST(PictureFitTest, ShrinkingAveragesAndEnlargingRepeats) {
    // A black-and-white checkerboard halved is an even grey, not a
    // pattern of whichever pixels were picked.
    Source board(640, 480);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; ++x)
            board.Set(x, y, (x + y) % 2 ? 0xFFFFFF : 0);
    Bitmap half = FitPicture(board.View(), 320, 240, PictureFitMode::Fit);
    for (uint32_t y = 0; y < 240; y += 37)
        for (uint32_t x = 0; x < 320; x += 41)
            EXPECT_EQ(half.GetPixelColour(x, y), 0x808080u) << x << "," << y;

    // A 2 x 2 picture of four colours enlarged: each quarter one colour.
    Source tiny(2, 2);
    tiny.Set(0, 0, 0x0000FF);
    tiny.Set(1, 0, 0x00FF00);
    tiny.Set(0, 1, 0xFF0000);
    tiny.Set(1, 1, 0x000000);
    Bitmap big = FitPicture(tiny.View(), 240, 240, PictureFitMode::Fit);
    EXPECT_EQ(big.GetPixelColour(0, 0), 0x0000FFu);
    EXPECT_EQ(big.GetPixelColour(119, 119), 0x0000FFu);
    EXPECT_EQ(big.GetPixelColour(120, 0), 0x00FF00u);
    EXPECT_EQ(big.GetPixelColour(0, 239), 0xFF0000u);
    EXPECT_EQ(big.GetPixelColour(239, 239), 0u);
}

TEST(PictureFitTest, ExtremeShapesStillGiveAPictureAndBadInputIsRefused) {
    // One row of 10,000 pixels: one row of picture between the bars.
    Bitmap strip = FitPicture(Source(10000, 1, 0x0000FF).View(), 320, 240, PictureFitMode::Fit);
    EXPECT_EQ(BarRows(strip), 239u);
    Bitmap strip2 = FitPicture(Source(10000, 1, 0x0000FF).View(), 320, 240, PictureFitMode::Fill);
    EXPECT_EQ(strip2.GetPixelColour(0, 0), 0x0000FFu);
    EXPECT_EQ(strip2.GetPixelColour(319, 239), 0x0000FFu);

    Source s(4, 4);
    PixelsBgr bad = s.View();
    bad.stride = 11; // shorter than a row
    EXPECT_THROW(FitPicture(bad, 320, 240, PictureFitMode::Fit), std::invalid_argument);
    EXPECT_THROW(FitPicture(PixelsBgr{}, 320, 240, PictureFitMode::Fit), std::invalid_argument);
    EXPECT_THROW(FitPicture(s.View(), 182, 144, PictureFitMode::Fit), std::invalid_argument);
}

TEST(PictureFitTest, SameAspectAllowsOnePixelOfRounding) {
    EXPECT_TRUE(SameAspect(640, 480, 320, 240));
    EXPECT_TRUE(SameAspect(1800, 1440, 180, 144));
    EXPECT_TRUE(SameAspect(641, 480, 320, 240));
    EXPECT_FALSE(SameAspect(4000, 3000, 180, 144));
    EXPECT_FALSE(SameAspect(0, 480, 320, 240));
}

TEST(PictureFitTest, NarrowBackgroundsSitInTheCanvasMiddleAndTurnGrey) {
    // A red 180 x 144 camera picture on the 240-wide canvas: columns
    // 30..209 get the grey of red, the margins keep the old background
    // (grey-converted as a whole, as loading a BMP does).
    Bitmap current(240, 144);
    current.SetPixelColour(0, 0, 0x00FF00);
    Bitmap b =
        BackgroundFromPicture(Source(360, 288, 0x0000FF).View(), 180, 144, current, PictureFitMode::Fit);
    ASSERT_EQ(b.Width(), 240u);
    const uint32_t redGrey = 53 * 0x010101;
    EXPECT_EQ(b.GetPixelColour(30, 0), redGrey);
    EXPECT_EQ(b.GetPixelColour(209, 143), redGrey);
    EXPECT_EQ(b.GetPixelColour(29, 10), 0xFFFFFFu);
    EXPECT_EQ(b.GetPixelColour(210, 10), 0xFFFFFFu);
    EXPECT_EQ(b.GetPixelColour(0, 0), 183 * 0x010101u); // green, made grey

    // 320 x 240 keeps its colour and replaces the whole canvas.
    Bitmap c = BackgroundFromPicture(Source(32, 24, 0x0000FF).View(), 320, 240, Bitmap(320, 240),
                                     PictureFitMode::Fill);
    EXPECT_EQ(c.GetPixelColour(0, 0), 0x0000FFu);
    EXPECT_EQ(c.GetPixelColour(319, 239), 0x0000FFu);
}
