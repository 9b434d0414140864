#include "live/Overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace korvex {
namespace {

TEST(CellFont, RowRulesHoldForEveryGlyph) {
    EXPECT_EQ(sizeof(kCellFont), 1536u);
    for (unsigned k = 0; k < kCellFontGlyphs; ++k) {
        const char ch = char(kCellFontFirst + k);
        const uint8_t* g = kCellFont[k];
        for (int row : {0, 1, 2, 14})
            EXPECT_EQ(g[row], 0) << "glyph 0x" << std::hex << (kCellFontFirst + k) << " row " << std::dec << row;
        EXPECT_EQ(g[15] != 0, ch == '_') << ch;
        if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) {
            EXPECT_EQ(g[3] | g[13], 0) << ch;
            EXPECT_NE(g[4], 0) << ch;
            EXPECT_NE(g[12], 0) << ch;
        }
        if (ch != ' ') {
            EXPECT_TRUE(g[3] | g[4] | g[5] | g[6] | g[7] | g[8] | g[9] | g[10] | g[11] | g[12] | g[13] | g[15]) << ch;
        }
    }
    // Distinct shapes for the letters the overlay writes.
    EXPECT_NE(std::memcmp(CellGlyph('B'), CellGlyph('R'), 16), 0);
    EXPECT_NE(std::memcmp(CellGlyph('L'), CellGlyph('U'), 16), 0);
    // Descenders reach row 13, the capitals never do.
    EXPECT_NE(CellGlyph('g')[13], 0);
    EXPECT_NE(CellGlyph('p')[13], 0);
    // The tilde is one wave over two adjacent rows, each row inked on both
    // sides of its middle, the upper row's ink further right at its end.
    const uint8_t* tilde = CellGlyph('~');
    int first = -1, inked = 0;
    for (int row = 0; row < 16; ++row)
        if (tilde[row] != 0) {
            first = first < 0 ? row : first;
            ++inked;
        }
    ASSERT_EQ(inked, 2);
    EXPECT_NE(tilde[first + 1], 0);
    for (int row : {first, first + 1})
        EXPECT_TRUE((tilde[row] & 0x07) != 0 && (tilde[row] & 0x38) != 0) << row;
    EXPECT_GT(tilde[first] & 0x38, tilde[first + 1] & 0x38);
}

TEST(CellFont, CodesOutsideTheTableUseTheQuestionMark) {
    for (int code : {0x00, 0x1F, 0x80, 0xC4, 0xFF})
        EXPECT_EQ(CellGlyph(static_cast<unsigned char>(code)), CellGlyph('?')) << code;
    EXPECT_EQ(CellGlyph(0x7F), kCellFont[95]);
    EXPECT_EQ(CellGlyph(' '), kCellFont[0]);
}

// Expected colour of picture pixel (x, y) after MarkBlur on a picture that
// was filled with `fill`.
uint32_t Expected(uint32_t x, uint32_t y, uint32_t fill) {
    if (x < 4 || x >= 36 || y < 4 || y >= 20)
        return fill;
    const uint8_t* glyph = CellGlyph("BLUR"[(x - 4) / 8]);
    return (glyph[y - 4] >> ((x - 4) % 8)) & 1 ? 0xFFFFFFu & 0xFFFFFF : 0;
}

void Fill(Bitmap& b, uint32_t colour) {
    for (uint32_t y = 0; y < b.Height(); ++y)
        for (uint32_t x = 0; x < b.Width(); ++x)
            b.SetPixelColour(x, y, colour);
}

TEST(MarkBlur, WritesTheWordWhiteOnBlackInEveryPictureSize) {
    // Full-size pictures, a narrow one that cuts "R", one cut inside "B"'s
    // cell, low ones, and pictures too small to hold any of it.
    for (auto [w, h] : {std::pair{320u, 240u}, std::pair{180u, 144u}, std::pair{32u, 18u}, std::pair{8u, 40u},
                        std::pair{36u, 20u}, std::pair{40u, 10u}, std::pair{4u, 4u}, std::pair{4u, 30u}, std::pair{0u, 0u}}) {
        Bitmap b(w, h);
        Fill(b, 0x123456);
        MarkBlur(b);
        ASSERT_EQ(b.Width(), w);
        ASSERT_EQ(b.Data().size(), size_t(w) * h * 3);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                ASSERT_EQ(b.GetPixelColour(x, y), Expected(x, y, 0x123456)) << w << "x" << h << " at " << x << "," << y;
    }
}

TEST(MarkBlur, BoxCoversColumns4To35AndRows4To19) {
    Bitmap b(320, 240);
    Fill(b, 0x808080);
    MarkBlur(b);
    unsigned changed = 0, minX = 999, maxX = 0, minY = 999, maxY = 0;
    for (uint32_t y = 0; y < 240; ++y)
        for (uint32_t x = 0; x < 320; ++x)
            if (b.GetPixelColour(x, y) != 0x808080) {
                ++changed;
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    EXPECT_EQ(changed, 32u * 16u);
    EXPECT_EQ(minX, 4u);
    EXPECT_EQ(maxX, 35u);
    EXPECT_EQ(minY, 4u);
    EXPECT_EQ(maxY, 19u);
}

} // namespace
} // namespace korvex
