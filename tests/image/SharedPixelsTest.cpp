#include "image/Bitmap.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace korvex;

namespace {

Bitmap Striped() {
    Bitmap b(8, 4);
    for (uint32_t y = 0; y < 4; ++y)
        b.SetPixelColour(1, y, 0x00102030 + y);
    return b;
}

struct Use {
    std::string name;
    std::function<void(Bitmap&)> apply;
};

} // namespace

// A copy shares the pixels until one of the two is written: every writing
// member gives the written bitmap its own buffer first (the other keeps
// its pixels), a bitmap that holds its buffer alone is written in place,
// and reading members share on.
TEST(SharedPixels, CopiesOnTheFirstWriteAndNeverBefore) {
    const std::vector<uint8_t> bmp = EncodeBmp24(Bitmap(8, 4));
    const std::vector<Use> writers = {
        {"SetPixelColour", [](Bitmap& b) { b.SetPixelColour(0, 0, 0x123456); }},
        {"PaintBlack", [](Bitmap& b) { b.PaintBlack(2, 2); }},
        {"Row", [](Bitmap& b) { b.Row(3)[0] = 7; }},
        {"Data", [](Bitmap& b) { b.Data()[5] = 9; }},
        {"FillWhite", [](Bitmap& b) { b.FillWhite(); }},
        {"ToGrey", [](Bitmap& b) { b.ToGrey(); }},
        {"LoadBmp", [&bmp](Bitmap& b) { b.LoadBmp(bmp.data(), bmp.size()); }},
    };
    const std::vector<Use> readers = {
        {"GetPixelColour", [](Bitmap& b) { (void)b.GetPixelColour(1, 1); }},
        {"IsBlack", [](Bitmap& b) { (void)b.IsBlack(1, 1); }},
        {"const Row", [](Bitmap& b) { (void)std::as_const(b).Row(2)[0]; }},
        {"const Data", [](Bitmap& b) { (void)std::as_const(b).Data().size(); }},
        {"compare", [](Bitmap& b) { (void)(b == Bitmap(8, 4)); }},
        {"encode", [](Bitmap& b) { (void)EncodeBmp24(b); }},
    };
    for (const Use& write : writers) {
        SCOPED_TRACE(write.name);
        const Bitmap original = Striped();
        Bitmap copy = original;
        for (const Use& read : readers)
            read.apply(copy);
        EXPECT_TRUE(copy.SharesPixels(original));
        const void* before = original.PixelBuffer();
        write.apply(copy);
        EXPECT_FALSE(copy.SharesPixels(original));
        EXPECT_EQ(original.PixelBuffer(), before);
        EXPECT_EQ(original, Striped()) << "the written copy changed the picture it came from";

        // Alone with its buffer: written in place.
        const void* own = copy.PixelBuffer();
        write.apply(copy);
        EXPECT_EQ(copy.PixelBuffer(), own);
    }
}

TEST(SharedPixels, WhitePicturesShareOneBufferPerSize) {
    Bitmap a = Bitmap::White(240, 144), b = Bitmap::White(240, 144);
    const Bitmap other = Bitmap::White(320, 240);
    EXPECT_TRUE(a.SharesPixels(b));
    EXPECT_FALSE(a.SharesPixels(other));
    EXPECT_EQ(a, Bitmap(240, 144));
    a.PaintBlack(3, 3);
    EXPECT_TRUE(b.IsBlack(3, 3) == false && Bitmap::White(240, 144) == Bitmap(240, 144));
    EXPECT_THROW(Bitmap::White(10, 2), std::invalid_argument);
}
