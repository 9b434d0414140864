#include "live/LiveBackground.h"

#include <cstring>

namespace korvex {

std::optional<Bitmap> LiveBackground(const Bitmap& live, uint32_t width, uint32_t height,
                                     const Bitmap& current) {
    if (live.Empty() || live.Width() != width || live.Height() != height)
        return std::nullopt;
    if (current.Width() == width && current.Height() == height)
        return live;
    if (current.Height() != height || current.Width() < width)
        return std::nullopt;
    Bitmap result = current;
    const size_t offset = size_t(current.Width() - width) / 2 * 3;
    const size_t rowBytes = size_t(width) * 3;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(result.Data().data() + size_t(y) * current.Width() * 3 + offset,
                    live.Data().data() + size_t(y) * rowBytes, rowBytes);
    return result;
}

} // namespace korvex
