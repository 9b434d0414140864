#pragma once

#include "image/Bitmap.h"

#include <cstdint>

namespace korvex {

// Conversions of live payloads into 24-bit pictures (blue, green, red bytes).
// Each has a plain per-pixel form (the reference) and a fast form that must
// give the same bytes; the fast form is what the live thread uses.

// 8-bit grey, one byte per pixel: red = green = blue = v.
void ConvertGrey(const uint8_t* payload, Bitmap& picture);
void ConvertGreyReference(const uint8_t* payload, Bitmap& picture);

// 16-bit colour, little-endian 5-6-5: red = (v >> 8) & 0xF8,
// green = (v >> 3) & 0xFC, blue = (v & 0x1F) << 3 (no bit replication).
void ConvertColour16(const uint8_t* payload, Bitmap& picture);
void ConvertColour16Reference(const uint8_t* payload, Bitmap& picture);

// Planes of a decoded I420 picture (rows may be padded).
struct I420Planes {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int yStride = 0;
    int uStride = 0;
    int vStride = 0;
    int width = 0;
    int height = 0;
};

// The exact integer BT.601 studio-range formula for one pixel, as 0x00BBGGRR
// (red in the low byte): C = 298 (Y - 16) + 128,
// red = (C + 409 (V - 128)) >> 8, green = (C - 100 (U - 128) - 208 (V - 128)) >> 8,
// blue = (C + 516 (U - 128)) >> 8, arithmetic shifts, clamped to 0-255.
uint32_t YuvToColour(uint8_t y, uint8_t u, uint8_t v);

// Converts the window of the picture's size whose top-left corner is decoded
// pixel (left, top) into `picture`. `left` and `top` must be even and the
// window must lie inside the decoded picture.
void ConvertI420Window(const I420Planes& planes, int left, int top, Bitmap& picture);
void ConvertI420WindowReference(const I420Planes& planes, int left, int top, Bitmap& picture);

// Which fast path the conversions use on this machine ("avx2", "ssse3",
// "portable"), and a switch so tests compare every path.
const char* ConversionPath();
void ForceConversionPath(const char* name);  // nullptr = best available

} // namespace korvex
