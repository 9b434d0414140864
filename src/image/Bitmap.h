#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

// The picture size a BMP header declares.
struct BmpPicture {
    uint32_t width = 0, height = 0;
};

// A 24-bit picture: width a multiple of 4, rows top to bottom without
// padding, three bytes per pixel in the order blue, green, red. Colours are
// packed as 0x00BBGGRR (red in the low byte).
//
// Pictures are values whose pixels are shared until written: copying a
// bitmap copies a reference to its pixel buffer, and the first call of a
// writing member (the non-const Data and Row, SetPixelColour, PaintBlack,
// FillWhite, ToGrey, the loaders) on a bitmap whose buffer is shared gives
// that bitmap a buffer of its own first. A shared buffer is never written,
// so bitmaps that share one may be read from several threads at once; one
// bitmap object itself is not to be written from two threads, as for any
// value. A pointer from the non-const Row or Data stays valid only until
// the bitmap is copied or assigned.
class Bitmap {
public:
    Bitmap() = default;
    // Every byte 0xFF (white). Throws std::invalid_argument
    // "Bitmap width not multiple of 4" when width % 4 != 0.
    Bitmap(uint32_t width, uint32_t height);
    // The same white picture, sharing one buffer per size with every other
    // white picture made so (exclusion maps and new backgrounds start
    // so): nothing is allocated until the picture is written.
    static Bitmap White(uint32_t width, uint32_t height);

    uint32_t Width() const { return width; }
    uint32_t Height() const { return height; }
    bool Empty() const { return !pixels || pixels->empty(); }
    const std::vector<uint8_t>& Data() const { return pixels ? *pixels : NoPixels(); }
    std::vector<uint8_t>& Data() {
        Detach();
        return *pixels;
    }
    // True when both show one pixel buffer (a copy not written since).
    bool SharesPixels(const Bitmap& other) const { return pixels && pixels == other.pixels; }
    // The pixel buffer's identity, for telling whether two states hold the
    // very same picture; null for a bitmap without pixels.
    const void* PixelBuffer() const { return pixels.get(); }

    // Checked pixel access: std::out_of_range "Bitmap index out of range".
    void SetPixelColour(uint32_t x, uint32_t y, uint32_t colour);
    uint32_t GetPixelColour(uint32_t x, uint32_t y) const;
    // Sets the pixel black; true when it was not black before.
    bool PaintBlack(uint32_t x, uint32_t y);
    bool IsBlack(uint32_t x, uint32_t y) const;

    // Unchecked access for loops that have checked their bounds once.
    uint8_t* Row(uint32_t y) {
        Detach();
        return pixels->data() + size_t(y) * width * 3;
    }
    const uint8_t* Row(uint32_t y) const { return Data().data() + size_t(y) * width * 3; }

    void FillWhite();
    // g = (183 G + 53 R + 19 B) / 255 into all three channels.
    void ToGrey();

    // Reads a BMP file image into this bitmap, whose size is the target
    // size; raises a LocalException with the failed check's message and
    // leaves the bitmap unchanged on failure.
    void LoadBmp(const uint8_t* bytes, size_t size);
    // The same for a file: the 54-byte header and the file's size are
    // checked before any pixel data is read. File errors raise the file
    // messages (text::io_open_failed also for a folder), the checks their own.
    void LoadBmpFile(const std::string& path);

    // Same size and pixels (a shared buffer is equal without a look).
    bool operator==(const Bitmap& other) const;

private:
    using Pixels = std::vector<uint8_t>;
    static const Pixels& NoPixels();
    // Gives this bitmap a buffer of its own unless it already holds the
    // only reference to it.
    void Detach();

    void Check(uint32_t x, uint32_t y) const;
    // Checks 1 to 10 of a BMP header against the file's size; raises the
    // failed check's message.
    BmpPicture CheckBmpHeader(const uint8_t* header, size_t headerSize, uint64_t fileSize) const;
    // Copies bottom-up file rows into this bitmap at the picture's place.
    void CopyBmpPixels(const uint8_t* pixels, BmpPicture picture);

    uint32_t width = 0;
    uint32_t height = 0;
    std::shared_ptr<Pixels> pixels;
};

// A bottom-up 24-bit BMP file image of the picture (54-byte header).
std::vector<uint8_t> EncodeBmp24(const Bitmap& bitmap);

} // namespace korvex
