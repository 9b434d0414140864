// The picture reader's decoders on arbitrary bytes (through a memory
// stream). Each either gives a picture of exactly width x height pixels
// within the pixel bound, or refuses with its message.
#include "framework/LocalException.h"
#include "image/PictureDecoders.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    if (size == 0)
        return 0;
    constexpr uint64_t kMaxPixels = 1 << 20; // keeps each run small
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    try {
        Picture p;
        switch (SniffPictureFormat(data, size)) {
        case PictureFormat::Bmp:
            p = DecodeBmp(file, size, "fuzz", kMaxPixels);
            break;
        case PictureFormat::Png:
            p = DecodePng(file, size, "fuzz", kMaxPixels);
            break;
        case PictureFormat::Jpeg:
            p = DecodeJpeg(file, "fuzz", kMaxPixels);
            break;
        case PictureFormat::Unknown:
            break;
        }
        if (p.bgr.size() != size_t(p.width) * p.height * 3 || uint64_t(p.width) * p.height > kMaxPixels)
            std::abort();
    } catch (const LocalException&) {
    }
    std::fclose(file);
    return 0;
}
