// Detectors straight from a file can carry any corner coordinates, pen
// width, fill and division count. Whatever they hold, drawing must end, stay
// inside its maps and agree with itself: the count equals the covered
// flags, the mask lies inside the coverage and the canvas, and the surface
// changes only where the mask-mode drawing puts a pixel.

#include "raster/DetectorRaster.h"

#include <cstdint>
#include <cstring>

using namespace korvex;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    uint32_t U32() {
        uint32_t v = 0;
        const size_t n = size < 4 ? size : 4;
        std::memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
};

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const bool small = in.U32() & 1;
    const uint32_t cw = small ? 240 : 320, ch = small ? 144 : 240;
    Detector d(0, 1, 0, 0, 1, cw, ch);
    const uint32_t coordMode = in.U32();
    for (Point& p : d.points) {
        // Mostly near the canvas, sometimes anywhere in 32 bits.
        const uint32_t x = in.U32(), y = in.U32();
        if (coordMode & 1) {
            p = {int32_t(x), int32_t(y)};
        } else {
            p = {int32_t(x % 400) - 40, int32_t(y % 320) - 40};
        }
    }
    d.divisions = in.U32();
    if (!(coordMode & 2))
        d.divisions %= 64;
    d.pen_width = in.U32();
    d.fill = int32_t(in.U32());
    if (!(coordMode & 4))
        d.fill = int32_t(uint32_t(d.fill) % 101);
    d.line = in.U32() & 1;
    d.contrast = in.U32() & 1;
    for (uint32_t k = 0, n = in.U32() % 64; k < n; ++k)
        d.exclusion.PaintBlack(in.U32() % cw, in.U32() % ch);

    DetectorRaster raster;
    raster.Rasterise(d.points, d, cw, ch);
    uint32_t covered = 0;
    for (uint8_t flag : raster.Coverage())
        covered += flag;
    Check(covered == raster.Count());

    const DetectorMask mask = ComputeDetectorMask(d, cw, ch);
    Check(mask.count == raster.Count());
    for (uint32_t y = 0; y < ch; ++y)
        for (uint32_t x = 0; x < cw; ++x)
            if (mask.At(x, y))
                Check(raster.Covered(x, y) && !d.exclusion.IsBlack(x, y));

    Bitmap surface(cw, ch);
    surface.ToGrey();
    const DrawResult r = DrawDetector(surface, d.points, d, -1, false, true, cw, ch, d.exclusion);
    Check(r.count == raster.Count() && r.flags == 2);
    for (uint32_t y = 0; y < ch; ++y)
        for (uint32_t x = 0; x < cw; ++x)
            Check((surface.GetPixelColour(x, y) == kRasterRed) == mask.At(x, y));
    return 0;
}
