#pragma once

#include "image/Bitmap.h"
#include "image/PictureFit.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

// The most pixels a picture may have to become a background (or to be
// read at all): larger ones are refused from their header, before any
// pixel is decoded.
inline constexpr uint64_t kMaxBackgroundPixels = 40'000'000;

enum class PictureFormat { Unknown, Bmp, Png, Jpeg };

// The format a file's first bytes announce ("BM", the PNG signature, the
// JPEG start marker); Unknown for anything else.
PictureFormat SniffPictureFormat(const uint8_t* head, size_t size);

// A decoded picture: three bytes per pixel in the order blue, green, red,
// rows top to bottom without padding. Every pixel was decoded from the
// file; nothing is filled in.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgr;

    PixelsBgr Pixels() const { return {bgr.data(), width, height, size_t(width) * 3}; }
};

// Reads a BMP (any of the common layouts: 1, 4, 8, 16, 24 and 32 bits per
// pixel, uncompressed or with bit fields, bottom-up or top-down), PNG or
// JPEG file. The format comes from the content, never the name. The pixel
// count is checked against `maxPixels` from the header before anything is
// decoded. A file that ends early (rows missing, no end marker), that a
// decoder warns about, or (BMP, PNG) that carries bytes after its end is
// refused: a JPEG may carry more after its end marker (cameras store
// further pictures there), which is not read. Raises a LocalException with
// the file's name and the reason (text::picture_unreadable,
// text::picture_too_large, text::picture_damaged) or the file errors.
Picture ReadPicture(const std::string& path, uint64_t maxPixels = kMaxBackgroundPixels);

// What a picture file gives a card's background: a 24-bit BMP that passes
// the bitmap checks against the card's current background goes in exactly
// (`exact`, placed as Bitmap::LoadBmp places it, margins kept); any other
// picture is decoded (`picture`) to be fitted to the camera picture. A BMP
// that neither reading takes is refused with the bitmap check's own
// message, which says what is wrong with it.
struct BackgroundSource {
    std::optional<Bitmap> exact;
    Picture picture;
};
BackgroundSource ReadBackgroundSource(const std::string& path, const Bitmap& current,
                                      uint64_t maxPixels = kMaxBackgroundPixels);

// A picture the size of the camera picture (`width` x `height`), for
// comparing with a card's background: a 24-bit BMP of exactly that size
// through the bitmap checks, or any picture ReadPicture takes that has that
// size. Raises text::picture_wrong_size for another size.
Bitmap ReadCameraPicture(const std::string& path, uint32_t width, uint32_t height);

} // namespace korvex
