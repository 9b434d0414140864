#pragma once

#include "image/Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace korvex {

// Decoded pixels of any size, as a picture reader hands them over: three
// bytes per pixel in the order blue, green, red, rows top to bottom,
// `stride` bytes from one row to the next (at least width * 3).
struct PixelsBgr {
    const uint8_t* data = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    size_t stride = 0;
};

// How a picture of another shape becomes a camera picture. Both keep the
// picture's aspect: Fit shows all of it with grey bars on two sides, Fill
// covers the whole camera picture and cuts off the part that overhangs.
enum class PictureFitMode { Fit, Fill };

// The grey of the bars.
inline constexpr uint32_t kFitBarColour = 0x808080;

// Scales `source` to `width` x `height` (width a multiple of 4) with the
// aspect kept. Shrinking averages the source pixels that fall on each
// camera pixel, so fine detail does not turn into noise; enlarging takes
// the nearest source pixel. Throws std::invalid_argument for an empty
// source, a stride shorter than a row or a bad target size.
Bitmap FitPicture(const PixelsBgr& source, uint32_t width, uint32_t height, PictureFitMode mode);

// True when the picture has the camera picture's aspect to within one
// camera pixel, so Fit and Fill give the same result and nobody needs to
// be asked.
bool SameAspect(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t width, uint32_t height);

// A card's new background from any picture: fitted to the camera picture
// (`width` x `height`), placed on a copy of the card's current background
// where the camera picture sits on the canvas (a 180-wide picture at
// columns 30-209 of 240, the margins kept), and turned grey for pictures
// narrower than 320, as loading a BMP does.
Bitmap BackgroundFromPicture(const PixelsBgr& source, uint32_t width, uint32_t height, const Bitmap& current,
                             PictureFitMode mode);

} // namespace korvex
