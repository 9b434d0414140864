// The turn a camera records in a JPEG's Exif block instead of turning the
// pixels (a phone held upright): read from the block, applied to the
// decoded picture, so the picture shows as the camera's user saw it.
#include "image/PictureDecoders.h"

#include <cstring>

namespace korvex {

namespace {

uint32_t Read(const uint8_t* p, int bytes, bool bigEndian) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(p[bigEndian ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
    return v;
}

} // namespace

int ExifOrientation(const uint8_t* block, size_t size) {
    // "Exif\0\0", then a TIFF header: byte order, 42, offset of the first
    // directory; each directory entry is 12 bytes: tag, type, count, value.
    if (size < 14 || std::memcmp(block, "Exif\0\0", 6) != 0)
        return 1;
    const uint8_t* tiff = block + 6;
    const size_t length = size - 6;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return 1;
    if (Read(tiff + 2, 2, big) != 42)
        return 1;
    const uint32_t directory = Read(tiff + 4, 4, big);
    if (directory > length || length - directory < 2)
        return 1;
    const uint32_t entries = Read(tiff + directory, 2, big);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t at = directory + 2 + size_t(i) * 12;
        if (at + 12 > length)
            break;
        if (Read(tiff + at, 2, big) == 0x0112 && Read(tiff + at + 2, 2, big) == 3) {
            const uint32_t value = Read(tiff + at + 8, 2, big);
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
    }
    return 1;
}

void ApplyOrientation(Picture& picture, int orientation) {
    if (orientation <= 1 || orientation > 8)
        return;
    const uint32_t w = picture.width, h = picture.height;
    // Orientations 5 to 8 swap width and height.
    const bool swap = orientation >= 5;
    Picture turned;
    turned.width = swap ? h : w;
    turned.height = swap ? w : h;
    turned.bgr.resize(picture.bgr.size());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t tx = x, ty = y;
            switch (orientation) {
            case 2:
                tx = w - 1 - x;
                break;
            case 3:
                tx = w - 1 - x, ty = h - 1 - y;
                break;
            case 4:
                ty = h - 1 - y;
                break;
            case 5:
                tx = y, ty = x;
                break;
            case 6:
                tx = h - 1 - y, ty = x;
                break;
            case 7:
                tx = h - 1 - y, ty = w - 1 - x;
                break;
            case 8:
                tx = y, ty = w - 1 - x;
                break;
            default:
                break;
            }
            std::memcpy(turned.bgr.data() + (size_t(ty) * turned.width + tx) * 3,
                        picture.bgr.data() + (size_t(y) * w + x) * 3, 3);
        }
    picture = std::move(turned);
}

} // namespace korvex
