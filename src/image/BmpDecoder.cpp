// The BMP layouts other programs write, for pictures that are fitted to
// the camera picture: the headers of 12, 40, 52, 56, 108 and 124 bytes,
// 1, 4 and 8 bits with a colour table, 16 and 32 bits plain or with bit
// fields, 24 bits; bottom-up or top-down. Compressed layouts are refused.
#include "framework/ByteOrder.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "image/PictureDecoders.h"

#include <array>
#include <vector>

namespace korvex {

namespace {

enum : uint32_t { CompressionNone = 0, CompressionBitFields = 3 };

struct BmpLayout {
    uint32_t headerSize = 0;
    int64_t width = 0, height = 0; // height negative: rows top-down
    uint32_t bits = 0, compression = 0, colours = 0;
    uint32_t masks[3] = {0, 0, 0}; // red, green, blue
    uint64_t pixelOffset = 0;
    uint64_t profileEnd = 0; // where an embedded colour profile ends, 0 without one
};

// One channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    uint32_t mask = 0, shift = 0, max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    uint8_t Of(uint32_t pixel) const { return max ? uint8_t(((pixel & mask) >> shift) * 255u / max) : 0; }
};

void RefuseLayout(const std::string& name, const BmpLayout& layout) {
    RefuseUnreadable(name,
                     FillPlaceholders(LoadTextA(text::picture_bmp_layout),
                                      {std::to_string(layout.compression), std::to_string(layout.bits)}));
}

void Read(std::FILE* file, uint64_t at, void* buffer, size_t n, const std::string& name) {
    if (fseeko(file, off_t(at), SEEK_SET) != 0 || std::fread(buffer, 1, n, file) != n)
        RefuseDamaged(name);
}

BmpLayout ReadLayout(std::FILE* file, uint64_t fileSize, const std::string& name) {
    uint8_t h[14 + 124] = {};
    if (fileSize < 14 + 12)
        RefuseDamaged(name);
    Read(file, 0, h, 14 + 4, name);
    BmpLayout l;
    l.headerSize = ReadLe32(h + 14);
    l.pixelOffset = ReadLe32(h + 10);
    const uint32_t hs = l.headerSize;
    if (hs != 12 && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124)
        RefuseLayout(name, l);
    if (fileSize < 14 + hs)
        RefuseDamaged(name);
    Read(file, 14, h + 14, hs, name);
    const uint8_t* info = h + 14;
    uint32_t planes = 0;
    if (hs == 12) {
        l.width = ReadLe16(info + 4);
        l.height = ReadLe16(info + 6);
        planes = ReadLe16(info + 8);
        l.bits = ReadLe16(info + 10);
    } else {
        l.width = int32_t(ReadLe32(info + 4));
        l.height = int32_t(ReadLe32(info + 8));
        planes = ReadLe16(info + 12);
        l.bits = ReadLe16(info + 14);
        l.compression = ReadLe32(info + 16);
        l.colours = ReadLe32(info + 32);
    }
    const bool known =
        l.bits == 1 || l.bits == 4 || l.bits == 8 || l.bits == 16 || l.bits == 24 || l.bits == 32;
    const bool fields = l.compression == CompressionBitFields && (l.bits == 16 || l.bits == 32);
    if (planes != 1 || !known || (l.compression != CompressionNone && !fields))
        RefuseLayout(name, l);
    if (fields) {
        // In the 40-byte layout the three masks follow the header.
        uint8_t m[12];
        if (hs == 40)
            Read(file, 14 + 40, m, 12, name);
        else
            std::copy(info + 40, info + 52, m);
        for (int i = 0; i < 3; ++i)
            l.masks[i] = ReadLe32(m + 4 * i);
    } else if (l.bits == 16) {
        l.masks[0] = 0x7C00, l.masks[1] = 0x03E0, l.masks[2] = 0x001F;
    } else if (l.bits == 32) {
        l.masks[0] = 0xFF0000, l.masks[1] = 0xFF00, l.masks[2] = 0xFF;
    }
    // An embedded colour profile ('MBED') lies after the pixels in the
    // largest header; its bytes belong to the file.
    if (hs == 124 && ReadLe32(info + 56) == 0x4D424544)
        l.profileEnd = 14 + uint64_t(ReadLe32(info + 112)) + ReadLe32(info + 116);
    return l;
}

// The colour table, B, G, R per entry (4 bytes each, 3 in the 12-byte layout).
std::vector<std::array<uint8_t, 3>> ReadColours(std::FILE* file, const BmpLayout& l,
                                                const std::string& name) {
    const uint32_t entries = l.colours ? l.colours : 1u << l.bits;
    const uint32_t entrySize = l.headerSize == 12 ? 3 : 4;
    const uint64_t at = 14 + uint64_t(l.headerSize);
    if (entries > (1u << l.bits) || at + uint64_t(entries) * entrySize > l.pixelOffset)
        RefuseDamaged(name);
    std::vector<uint8_t> raw(size_t(entries) * entrySize);
    Read(file, at, raw.data(), raw.size(), name);
    // Indices past a short table read as black, as they do in other readers.
    std::vector<std::array<uint8_t, 3>> table(size_t(1) << l.bits, {0, 0, 0});
    for (uint32_t i = 0; i < entries; ++i)
        table[i] = {raw[i * entrySize], raw[i * entrySize + 1], raw[i * entrySize + 2]};
    return table;
}

void ConvertRow(const uint8_t* in, uint8_t* out, const BmpLayout& l,
                const std::vector<std::array<uint8_t, 3>>& table, const Channel (&c)[3]) {
    const uint64_t w = uint64_t(l.width);
    for (uint64_t x = 0; x < w; ++x, out += 3) {
        if (l.bits <= 8) {
            const uint64_t bit = x * l.bits;
            const unsigned index = (in[bit / 8] >> (8 - l.bits - bit % 8)) & ((1u << l.bits) - 1);
            out[0] = table[index][0], out[1] = table[index][1], out[2] = table[index][2];
        } else if (l.bits == 24) {
            out[0] = in[x * 3], out[1] = in[x * 3 + 1], out[2] = in[x * 3 + 2];
        } else {
            const uint32_t pixel = l.bits == 16 ? ReadLe16(in + x * 2) : ReadLe32(in + x * 4);
            out[0] = c[2].Of(pixel), out[1] = c[1].Of(pixel), out[2] = c[0].Of(pixel);
        }
    }
}

} // namespace

Picture DecodeBmp(std::FILE* file, uint64_t fileSize, const std::string& name, uint64_t maxPixels) {
    const BmpLayout l = ReadLayout(file, fileSize, name);
    const bool topDown = l.height < 0;
    const uint64_t width = l.width < 0 ? 0 : uint64_t(l.width);
    const uint64_t height = uint64_t(topDown ? -l.height : l.height);
    CheckPictureSize(name, width, height, maxPixels);
    const uint64_t stride = (width * l.bits + 31) / 32 * 4;
    const uint64_t end = l.pixelOffset + stride * height;
    // Every row must be in the file, and nothing may follow the last one
    // but its row padding (some writers round the file up) or the colour
    // profile.
    if (l.pixelOffset < 14 + uint64_t(l.headerSize) || fileSize < end)
        RefuseDamaged(name);
    if (fileSize > std::max(end, l.profileEnd) + 3)
        RefuseDamaged(name);
    const std::vector<std::array<uint8_t, 3>> table =
        l.bits <= 8 ? ReadColours(file, l, name) : std::vector<std::array<uint8_t, 3>>{};
    const Channel channels[3] = {Channel(l.masks[0]), Channel(l.masks[1]), Channel(l.masks[2])};

    Picture picture;
    picture.width = uint32_t(width);
    picture.height = uint32_t(height);
    picture.bgr.resize(size_t(width * height * 3));
    std::vector<uint8_t> row(static_cast<size_t>(stride));
    if (fseeko(file, off_t(l.pixelOffset), SEEK_SET) != 0)
        RefuseDamaged(name);
    for (uint64_t i = 0; i < height; ++i) {
        if (std::fread(row.data(), 1, row.size(), file) != row.size())
            RefuseDamaged(name);
        const uint64_t y = topDown ? i : height - 1 - i;
        ConvertRow(row.data(), picture.bgr.data() + y * width * 3, l, table, channels);
    }
    return picture;
}

} // namespace korvex
