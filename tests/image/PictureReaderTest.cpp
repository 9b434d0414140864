// The picture reader against pictures written by another program
// (ImageMagick), and the refusals that keep pixels it did not decode out.
#include "image/PictureReader.h"

#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// Four quadrants of 32 x 24: red, green / blue, white.
uint32_t QuadrantColour(uint32_t x, uint32_t y) { // 0xRRGGBB
    static const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    return colours[(y >= 24 ? 2 : 0) + (x >= 32 ? 1 : 0)];
}

uint32_t At(const Picture& p, uint32_t x, uint32_t y) {
    const uint8_t* px = p.bgr.data() + (size_t(y) * p.width + x) * 3;
    return uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
}

std::string ErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const LocalException& e) {
        return e.what();
    }
    return "";
}

class PictureReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunCommand("command -v convert >/dev/null 2>&1").status != 0)
            GTEST_SKIP() << "ImageMagick's convert is not installed; the pictures are made with it";
    }
    // The quadrant picture written by ImageMagick with `options`; `name`
    // may carry ImageMagick's format prefix ("BMP3:rgb.bmp").
    std::string Make(const std::string& options, const std::string& name) {
        const size_t colon = name.find(':');
        const std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon + 1);
        const std::string file = dir / name.substr(colon == std::string::npos ? 0 : colon + 1);
        const std::string run = "convert -size 32x24 xc:red xc:lime +append \\( -size 32x24 xc:blue xc:white "
                                "+append \\) -append " +
                                options + " " + prefix + "'" + file + "' 2>&1";
        EXPECT_EQ(RunCommand(run).status, 0) << run;
        return file;
    }
    TempDir dir{"korvex-picture-reader"};
};

TEST_F(PictureReaderTest, PicturesFromAnotherProgramReadWithTheirPixels) {
    struct Case {
        const char* options;
        const char* name;
        int tolerance; // 0: every pixel exact; JPEG: the quadrants' middles within this
    };
    const Case cases[] = {
        {"-type truecolor", "BMP3:rgb24.bmp", 0},
        {"-type palette", "BMP3:palette8.bmp", 0},
        {"-alpha set", "BMP:argb32.bmp", 0}, // 124-byte header with bit fields
        {"", "PNG24:rgb.png", 0},
        {"", "PNG8:palette.png", 0},
        {"-depth 16", "PNG48:deep.png", 0},
        {"-alpha set", "PNG32:rgba.png", 0},
        {"-interlace PNG", "PNG24:interlaced.png", 0},
        {"-quality 95", "JPEG:baseline.jpg", 24},
        {"-quality 95 -interlace JPEG", "JPEG:progressive.jpg", 24},
    };
    for (const Case& c : cases) {
        const std::string path = Make(c.options, c.name);
        Picture p;
        ASSERT_EQ(ErrorOf([&] { p = ReadPicture(path); }), "") << c.name;
        ASSERT_EQ(p.width, 64u) << c.name;
        ASSERT_EQ(p.height, 48u) << c.name;
        for (uint32_t y = 0; y < 48; ++y)
            for (uint32_t x = 0; x < 64; ++x) {
                const bool middle = x % 32 >= 8 && x % 32 < 24 && y % 24 >= 8 && y % 24 < 16;
                if (c.tolerance == 0) {
                    ASSERT_EQ(At(p, x, y), QuadrantColour(x, y)) << c.name << " at " << x << "," << y;
                } else if (middle) {
                    for (int shift : {0, 8, 16})
                        ASSERT_NEAR(int(At(p, x, y) >> shift & 0xFF),
                                    int(QuadrantColour(x, y) >> shift & 0xFF), c.tolerance)
                            << c.name << " at " << x << "," << y;
                }
            }
    }
}

TEST_F(PictureReaderTest, AJpegTurnedByItsCameraShowsUpright) {
    // 64 x 48 quadrants with an Exif block saying "turn 90 degrees
    // clockwise to show" (orientation 6), as an upright phone writes it.
    const std::string plain = ReadWholeFile(Make("-quality 95", "JPEG:plain.jpg"));
    const std::string exif("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 32);
    std::string app1 = "\xFF\xE1";
    app1 += char((exif.size() + 2) >> 8);
    app1 += char((exif.size() + 2) & 0xFF);
    const std::string turned = plain.substr(0, 2) + app1 + exif + plain.substr(2);
    const std::string path = dir / "turned.jpg";
    std::ofstream(path, std::ios::binary).write(turned.data(), std::streamsize(turned.size()));
    const Picture p = ReadPicture(path);
    ASSERT_EQ(p.width, 48u);
    ASSERT_EQ(p.height, 64u);
    // The left column of quadrants (red over blue) is now the top row,
    // blue on the left: (x, y) shows the picture's (y, 47 - x).
    for (auto [x, y] : {std::pair<uint32_t, uint32_t>{12, 16}, {36, 16}, {12, 48}, {36, 48}})
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int(At(p, x, y) >> shift & 0xFF), int(QuadrantColour(y, 47 - x) >> shift & 0xFF), 24)
                << x << "," << y;
}

TEST_F(PictureReaderTest, ACutPictureIsRefusedAndNeverShown) {
    // The 24-bit BMP of a camera, cut to its first 100,000 bytes: neither
    // the exact path nor the fitting path takes it, and the message is the
    // bitmap check's.
    const std::string bmp = Make("-resize 320x240! -type truecolor", "BMP3:camera.bmp");
    const std::string bytes = ReadWholeFile(bmp);
    ASSERT_EQ(bytes.size(), 320u * 240 * 3 + 54);
    const std::string cut = dir / "cut.bmp";
    std::ofstream(cut, std::ios::binary).write(bytes.data(), 100000);
    const Bitmap current(320, 240);
    EXPECT_EQ(ErrorOf([&] { ReadBackgroundSource(cut, current); }), LoadTextA(text::bitmap_bad_file_size));
    EXPECT_NE(ErrorOf([&] { ReadPicture(cut); }), "");
    // Whole, it goes in pixel for pixel.
    const BackgroundSource whole = ReadBackgroundSource(bmp, current);
    ASSERT_TRUE(whole.exact);
    EXPECT_EQ(whole.exact->GetPixelColour(0, 0), 0x0000FFu); // red, packed 0x00BBGGRR
}

TEST_F(PictureReaderTest, ThePixelCountIsBoundedBeforeAnythingIsDecoded) {
    // A BMP header that claims 8000 x 6000 (48 million pixels) on a file of
    // 54 bytes: refused as too large, from the header alone.
    std::string header(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + size_t(i)] = char(v >> (8 * i));
    };
    header[0] = 'B', header[1] = 'M';
    put32(10, 54), put32(14, 40), put32(18, 8000), put32(22, 6000);
    header[26] = 1, header[28] = 24;
    const std::string path = dir / "huge.bmp";
    std::ofstream(path, std::ios::binary).write(header.data(), std::streamsize(header.size()));
    const std::string error = ErrorOf([&] { ReadPicture(path); });
    EXPECT_NE(error.find("8000"), std::string::npos) << error;
    EXPECT_NE(error.find("6000"), std::string::npos) << error;
}

} // namespace
} // namespace korvex::test
