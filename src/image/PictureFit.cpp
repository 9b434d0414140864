#include "image/PictureFit.h"

#include "image/Placement.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace korvex {

namespace {

// A rectangle of whole pixels.
struct Area {
    uint32_t x = 0, y = 0, w = 0, h = 0;
};

// The source pixels [first, last) that land on target pixel `i` of `count`
// when `length` source pixels are spread over them; never empty.
void Span(uint32_t i, uint32_t count, uint32_t length, uint32_t& first, uint32_t& last) {
    first = uint32_t(uint64_t(i) * length / count);
    last = uint32_t(uint64_t(i + 1) * length / count);
    if (last <= first) {
        // Enlarging: the source pixel under the target pixel's centre.
        first = uint32_t((uint64_t(2 * i + 1) * length) / (2 * uint64_t(count)));
        last = first + 1;
    }
}

// Scales the `from` area of the source into the `to` area of `target`.
void Resample(const PixelsBgr& source, Area from, Bitmap& target, Area to) {
    for (uint32_t ty = 0; ty < to.h; ++ty) {
        uint32_t y0 = 0, y1 = 0;
        Span(ty, to.h, from.h, y0, y1);
        uint8_t* out = target.Row(to.y + ty) + size_t(to.x) * 3;
        for (uint32_t tx = 0; tx < to.w; ++tx, out += 3) {
            uint32_t x0 = 0, x1 = 0;
            Span(tx, to.w, from.w, x0, x1);
            uint64_t sum[3] = {0, 0, 0};
            for (uint32_t y = y0; y < y1; ++y) {
                const uint8_t* in =
                    source.data + size_t(from.y + y) * source.stride + size_t(from.x + x0) * 3;
                for (uint32_t x = x0; x < x1; ++x, in += 3)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += in[c];
            }
            const uint64_t n = uint64_t(y1 - y0) * (x1 - x0);
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((sum[c] + n / 2) / n);
        }
    }
}

uint32_t RoundedRatio(uint64_t a, uint64_t b, uint64_t c) {
    return uint32_t((a * b + c / 2) / c);
}

} // namespace

bool SameAspect(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t width, uint32_t height) {
    if (sourceWidth == 0 || sourceHeight == 0 || width == 0 || height == 0)
        return false;
    // The height the picture gets at the camera's width, against the
    // camera's height.
    const uint32_t scaledHeight = RoundedRatio(sourceHeight, width, sourceWidth);
    return scaledHeight + 1 >= height && scaledHeight <= height + 1;
}

Bitmap FitPicture(const PixelsBgr& source, uint32_t width, uint32_t height, PictureFitMode mode) {
    if (!source.data || source.width == 0 || source.height == 0)
        throw std::invalid_argument("empty picture");
    if (source.stride < size_t(source.width) * 3)
        throw std::invalid_argument("picture rows shorter than the picture");
    if (width == 0 || height == 0)
        throw std::invalid_argument("empty target picture");
    Bitmap target(width, height);
    const uint64_t sw = source.width, sh = source.height;
    // Is the picture wider than the camera's (sw / sh > width / height)?
    const bool wider = sw * height > sh * width;
    Area from{0, 0, source.width, source.height};
    Area to{0, 0, width, height};
    if (mode == PictureFitMode::Fill) {
        if (wider) {
            from.w = std::clamp<uint32_t>(RoundedRatio(sh, width, height), 1, source.width);
            from.x = (source.width - from.w) / 2;
        } else {
            from.h = std::clamp<uint32_t>(RoundedRatio(sw, height, width), 1, source.height);
            from.y = (source.height - from.h) / 2;
        }
    } else {
        const uint32_t bar = kFitBarColour;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                target.SetPixelColour(x, y, bar);
        if (wider) {
            to.h = std::clamp<uint32_t>(RoundedRatio(sh, width, sw), 1, height);
            to.y = (height - to.h) / 2;
        } else {
            to.w = std::clamp<uint32_t>(RoundedRatio(sw, height, sh), 1, width);
            to.x = (width - to.w) / 2;
        }
    }
    Resample(source, from, target, to);
    return target;
}

Bitmap BackgroundFromPicture(const PixelsBgr& source, uint32_t width, uint32_t height, const Bitmap& current,
                             PictureFitMode mode) {
    const Bitmap picture = FitPicture(source, width, height, mode);
    const uint32_t canvasWidth = std::max<uint32_t>(240, width);
    Bitmap background = current;
    if (background.Width() != canvasWidth || background.Height() != height)
        background = Bitmap(canvasWidth, height);
    const uint32_t left = PictureLeft(width);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(background.Row(y) + size_t(left) * 3, picture.Row(y), size_t(width) * 3);
    if (width < 320)
        background.ToGrey();
    return background;
}

} // namespace korvex
