#pragma once

#include <cstdint>

namespace korvex {

// Where a camera picture of `pictureWidth` columns sits on its canvas. The
// 144-high pictures (180, 192 or 240 wide) share a 240-wide canvas and are
// centred on it: columns 30..209, 24..215 and 0..239. A 320-wide picture is
// its own canvas. Every reader and writer of canvas columns (the bitmap
// loader, the view, the clamp, the masks, the project file) places pictures
// by this one rule, so a pixel the user sees is the pixel the device gets.
inline constexpr uint32_t PictureLeft(uint32_t pictureWidth) {
    return pictureWidth < 240 ? (240 - pictureWidth) / 2 : 0;
}

// The last canvas column of the picture (inclusive).
inline constexpr uint32_t PictureRight(uint32_t pictureWidth) {
    return PictureLeft(pictureWidth) + (pictureWidth > 0 ? pictureWidth - 1 : 0);
}

} // namespace korvex
