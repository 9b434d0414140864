#pragma once

#include "image/Bitmap.h"

#include <cstdint>

namespace korvex {

// The built-in 8 x 16 cell font: 96 glyphs for the codes 0x20-0x7F, 16 row
// bytes each (top row first, bit 0 = leftmost pixel, set bit = foreground).
constexpr unsigned kCellFontFirst = 0x20;
constexpr unsigned kCellFontGlyphs = 96;
extern const uint8_t kCellFont[kCellFontGlyphs][16];

// The 16 row bytes of `code`; codes outside 0x20-0x7F get the glyph of "?".
const uint8_t* CellGlyph(unsigned char code);

// Writes `text` white on black cells with its top-left corner at (left, top),
// every cell pixel that lies inside the picture; nothing outside it.
void DrawCellText(Bitmap& picture, int left, int top, const char* text);

// Marks a flagged live picture with "BLUR" in its top-left corner: a black
// box of 32 x 16 pixels at columns 4-35, rows 4-19, clipped to the picture.
void MarkBlur(Bitmap& picture);

} // namespace korvex
