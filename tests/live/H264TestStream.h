#pragma once

#include "image/Bitmap.h"

#include <cstdint>
#include <vector>

namespace korvex::test {

// One encoded access unit.
struct EncodedUnit {
    std::vector<uint8_t> data;
    bool keyFrame = false;
};

// Encodes `count` 352 x 288 pictures of a moving test picture with the
// H.264 encoder of libavcodec (no B-frames, so units decode in order).
// `bitRate` 0 = constant quality (a light stream). `detail` adds noise so
// the stream costs more to decode. Returns an empty list when no H.264
// encoder is available.
std::vector<EncodedUnit> EncodeTestStream(int count, int keyInterval, int bitRate = 0, bool detail = false);

// Luma of the test picture at decoded pixel (x, y) of picture n (what the
// encoder was fed).
uint8_t TestLuma(int x, int y, int n, bool detail);

// Decodes the units with a decoder of its own and crops the 320 x 240 centre
// with the BT.601 formula written out in the test code: what the live
// pictures of the same units must equal.
std::vector<Bitmap> IndependentDecode(const std::vector<EncodedUnit>& units);

} // namespace korvex::test
