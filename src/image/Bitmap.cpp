#include "image/Bitmap.h"

#include "framework/ByteOrder.h"
#include "framework/InputFile.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"
#include "image/Placement.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace korvex {

Bitmap::Bitmap(uint32_t w, uint32_t h) : width(w), height(h) {
    if (w % 4 != 0)
        throw std::invalid_argument("Bitmap width not multiple of 4");
    pixels = std::make_shared<Pixels>(size_t(w) * h * 3, uint8_t(0xFF));
}

Bitmap Bitmap::White(uint32_t w, uint32_t h) {
    // A few sizes are kept (the canvas sizes in practice); a size not among
    // them takes the place of the one asked for least recently.
    struct Kept {
        uint32_t width, height;
        std::shared_ptr<Pixels> pixels;
    };
    static std::mutex lock;
    static std::vector<Kept> kept;
    constexpr size_t MaxKept = 4;
    Bitmap white;
    std::lock_guard<std::mutex> hold(lock);
    auto found =
        std::find_if(kept.begin(), kept.end(), [&](const Kept& k) { return k.width == w && k.height == h; });
    if (found == kept.end()) {
        white = Bitmap(w, h);
        if (kept.size() == MaxKept)
            kept.erase(kept.begin());
        kept.push_back({w, h, white.pixels});
    } else {
        std::rotate(found, found + 1, kept.end());
        white.width = w;
        white.height = h;
        white.pixels = kept.back().pixels;
    }
    return white;
}

const Bitmap::Pixels& Bitmap::NoPixels() {
    static const Pixels none;
    return none;
}

void Bitmap::Detach() {
    if (!pixels) {
        pixels = std::make_shared<Pixels>();
    } else if (pixels.use_count() == 1) {
        // The only reference: the last other holder let go with a release
        // (the count's decrement); this fence orders our writes after its
        // reads of the pixels.
        std::atomic_thread_fence(std::memory_order_acquire);
    } else {
        pixels = std::make_shared<Pixels>(*pixels);
    }
}

bool Bitmap::operator==(const Bitmap& other) const {
    if (width != other.width || height != other.height)
        return false;
    return pixels == other.pixels || Data() == other.Data();
}

void Bitmap::Check(uint32_t x, uint32_t y) const {
    if (x >= width || y >= height)
        throw std::out_of_range("Bitmap index out of range");
}

void Bitmap::SetPixelColour(uint32_t x, uint32_t y, uint32_t colour) {
    Check(x, y);
    uint8_t* p = Row(y) + size_t(x) * 3;
    p[0] = uint8_t(colour >> 16);
    p[1] = uint8_t(colour >> 8);
    p[2] = uint8_t(colour);
}

uint32_t Bitmap::GetPixelColour(uint32_t x, uint32_t y) const {
    Check(x, y);
    const uint8_t* p = Row(y) + size_t(x) * 3;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

bool Bitmap::PaintBlack(uint32_t x, uint32_t y) {
    Check(x, y);
    uint8_t* p = Row(y) + size_t(x) * 3;
    if (p[0] == 0 && p[1] == 0 && p[2] == 0)
        return false;
    p[0] = p[1] = p[2] = 0;
    return true;
}

bool Bitmap::IsBlack(uint32_t x, uint32_t y) const {
    Check(x, y);
    const uint8_t* p = Row(y) + size_t(x) * 3;
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

void Bitmap::FillWhite() {
    Pixels& data = Data();
    std::fill(data.begin(), data.end(), uint8_t(0xFF));
}

void Bitmap::ToGrey() {
    Pixels& data = Data();
    for (size_t i = 0; i + 2 < data.size(); i += 3) {
        unsigned b = data[i], g = data[i + 1], r = data[i + 2];
        uint8_t grey = uint8_t((183 * g + 53 * r + 19 * b) / 255);
        data[i] = data[i + 1] = data[i + 2] = grey;
    }
}

BmpPicture Bitmap::CheckBmpHeader(const uint8_t* bytes, size_t headerSize, uint64_t fileSize) const {
    if (fileSize < 54 || headerSize < 54)
        RaiseError(text::bitmap_invalid_file);
    if (ReadLe16(bytes) != 0x4D42)
        RaiseError(text::bitmap_bad_signature);
    if (ReadLe16(bytes + 6) != 0 || ReadLe16(bytes + 8) != 0)
        RaiseError(text::bitmap_bad_header);
    if (ReadLe32(bytes + 14) != 40)
        RaiseError(text::bitmap_bad_header_size);
    if (ReadLe16(bytes + 26) != 1)
        RaiseError(text::bitmap_bad_planes);
    if (ReadLe32(bytes + 30) != 0)
        RaiseError(text::bitmap_bad_compression);
    if (ReadLe16(bytes + 28) != 24)
        RaiseError(text::bitmap_bad_depth);
    // Width and height are signed in the file; a top-down (negative) height
    // never matches a target.
    int32_t fileWidth = static_cast<int32_t>(ReadLe32(bytes + 18));
    int32_t fileHeight = static_cast<int32_t>(ReadLe32(bytes + 22));
    if (width == 240 && height == 144) {
        if ((fileWidth != 180 && fileWidth != 192 && fileWidth != 240) || fileHeight != 144)
            RaiseError(text::bitmap_bad_size_144);
    } else if (fileWidth != static_cast<int32_t>(width) || fileHeight != static_cast<int32_t>(height)) {
        RaiseError(text::bitmap_size_mismatch);
    }
    if (ReadLe32(bytes + 10) != 54)
        RaiseError(text::bitmap_invalid_file);
    uint64_t expected = uint64_t(fileWidth) * uint64_t(fileHeight) * 3 + 54;
    if (fileSize != expected)
        RaiseError(text::bitmap_bad_file_size);
    return {uint32_t(fileWidth), uint32_t(fileHeight)};
}

void Bitmap::CopyBmpPixels(const uint8_t* pixels, BmpPicture picture) {
    const uint32_t fw = picture.width, fh = picture.height;
    if (fw == 0) // an empty target took an empty picture: nothing to copy
        return;
    // A 144-high picture is centred on the 240-wide canvas; any other
    // target has the file's own size.
    const uint32_t left = width == 240 && height == 144 ? PictureLeft(fw) : 0;
    for (uint32_t y = 0; y < fh; ++y) {
        const uint8_t* src = pixels + size_t(fh - 1 - y) * fw * 3;
        std::memcpy(Row(y) + size_t(left) * 3, src, size_t(fw) * 3);
    }
}

void Bitmap::LoadBmp(const uint8_t* bytes, size_t size) {
    BmpPicture picture = CheckBmpHeader(bytes, size, size);
    CopyBmpPixels(bytes + 54, picture);
}

void Bitmap::LoadBmpFile(const std::string& path) {
    // Only the header is read before the checks: the declared picture must
    // account for the file's size exactly, so a huge or unrelated file is
    // refused after 54 bytes, and nothing more than the picture is read.
    InputFile file(path);
    const uint64_t size = file.Size();
    uint8_t header[54] = {};
    const size_t headerSize = size < sizeof header ? size_t(size) : sizeof header;
    file.Read(header, headerSize);
    BmpPicture picture = CheckBmpHeader(header, headerSize, size);
    std::vector<uint8_t> fileRows(size_t(size - 54));
    file.Read(fileRows.data(), fileRows.size());
    CopyBmpPixels(fileRows.data(), picture);
}

std::vector<uint8_t> EncodeBmp24(const Bitmap& bitmap) {
    uint32_t w = bitmap.Width(), h = bitmap.Height();
    size_t rowBytes = size_t(w) * 3; // widths are multiples of 4: no padding
    std::vector<uint8_t> out(54 + rowBytes * h, 0);
    uint8_t* p = out.data();
    WriteLe16(p, 0x4D42);
    WriteLe32(p + 2, uint32_t(out.size()));
    WriteLe32(p + 10, 54);
    WriteLe32(p + 14, 40);
    WriteLe32(p + 18, w);
    WriteLe32(p + 22, h);
    WriteLe16(p + 26, 1);
    WriteLe16(p + 28, 24);
    WriteLe32(p + 34, uint32_t(rowBytes * h));
    WriteLe32(p + 38, 2835);
    WriteLe32(p + 42, 2835);
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(p + 54 + size_t(h - 1 - y) * rowBytes, bitmap.Row(y), rowBytes);
    return out;
}

} // namespace korvex
