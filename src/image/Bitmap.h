#pragma once

#include <cstddef>
#include <cstdint>
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
class Bitmap {
public:
    Bitmap() = default;
    // Every byte 0xFF (white). Throws std::invalid_argument
    // "Bitmap width not multiple of 4" when width % 4 != 0.
    Bitmap(uint32_t width, uint32_t height);

    uint32_t Width() const { return width; }
    uint32_t Height() const { return height; }
    bool Empty() const { return data.empty(); }
    const std::vector<uint8_t>& Data() const { return data; }
    std::vector<uint8_t>& Data() { return data; }

    // Checked pixel access: std::out_of_range "Bitmap index out of range".
    void SetPixelColour(uint32_t x, uint32_t y, uint32_t colour);
    uint32_t GetPixelColour(uint32_t x, uint32_t y) const;
    // Sets the pixel black; true when it was not black before.
    bool PaintBlack(uint32_t x, uint32_t y);
    bool IsBlack(uint32_t x, uint32_t y) const;

    // Unchecked access for loops that have checked their bounds once.
    uint8_t* Row(uint32_t y) { return data.data() + size_t(y) * width * 3; }
    const uint8_t* Row(uint32_t y) const { return data.data() + size_t(y) * width * 3; }

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

    bool operator==(const Bitmap& other) const = default;

private:
    void Check(uint32_t x, uint32_t y) const;
    // Checks 1 to 10 of a BMP header against the file's size; raises the
    // failed check's message.
    BmpPicture CheckBmpHeader(const uint8_t* header, size_t headerSize, uint64_t fileSize) const;
    // Copies bottom-up file rows into this bitmap at the picture's place.
    void CopyBmpPixels(const uint8_t* pixels, BmpPicture picture);

    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> data;
};

// A bottom-up 24-bit BMP file image of the picture (54-byte header).
std::vector<uint8_t> EncodeBmp24(const Bitmap& bitmap);

} // namespace korvex
