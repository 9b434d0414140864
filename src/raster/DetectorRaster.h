#pragma once

// The detector rasteriser: the pixels a detector covers are defined by how it
// is drawn here, and the device masks are read from this drawing. Everything
// is integer or single-precision arithmetic in a fixed order, so the result
// is the same pixel for pixel on every machine.
//
// Colours use the packing of Bitmap: 0x00BBGGRR (red in the low byte).

#include "image/Bitmap.h"
#include "model/Detector.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace korvex {

// Colours of the drawing.
inline constexpr uint32_t kRasterRed = 0x0000FF;       // selected or mask mode (R 255)
inline constexpr uint32_t kRasterDarkBlue = 0x800000;  // contrast detector (B 128)
inline constexpr uint32_t kRasterDarkGreen = 0x008000; // other detectors (G 128)
inline constexpr uint32_t kHandleActive = 0xFF0000;    // handle being edited (B 255)
inline constexpr uint32_t kHandleOther = 0x808080;     // other handles (grey 128)
inline constexpr uint32_t kArrowFill = 0x00F2FF;       // direction arrow (R 255, G 242, B 0)
inline constexpr uint32_t kArrowOutline = 0x000000;    // its 1-pixel outline
inline constexpr uint32_t kGuideLine = 0x0000FF;       // 1-pixel guide line while aiming

// What DrawDetector reports. flags is always 2 (the count is present).
struct DrawResult {
    uint32_t flags = 2;
    uint32_t number = 0;
    uint32_t card = 0;
    uint32_t count = 0; // distinct pixels rasterised inside 320 x 240
    bool operator==(const DrawResult&) const = default;
};

// Scratch state of one detector drawing: a 320 x 240 coverage map (each pixel
// drawn at most once), the number of drawn pixels, the canvas size used to
// clip fills, and the fill level. Reusable: Begin() starts a new drawing.
// The primitives below can be used on their own (tests, previews).
class DetectorRaster {
public:
    static constexpr uint32_t kWidth = 320;
    static constexpr uint32_t kHeight = 240;

    DetectorRaster();

    // Clears coverage and count and sets the canvas size (fills are clipped
    // to it) and the fill level fill * 16 / 100 (integer division; values
    // below 0 give level 0, above 100 give 16).
    void Begin(uint32_t canvasWidth, uint32_t canvasHeight, int32_t fill);

    // Draws one pixel: only when 0 <= x <= 319, 0 <= y <= 239 and not yet
    // covered; then marks it and counts it. True when it was drawn.
    bool DrawPixel(int64_t x, int64_t y) {
        ++probes;
        if (uint64_t(x) >= kWidth || uint64_t(y) >= kHeight)
            return false;
        uint8_t& flag = coverage[size_t(y) * kWidth + size_t(x)];
        if (flag)
            return false;
        flag = 1;
        // The bounds start empty (left past right) and only ever grow.
        minX = std::min(minX, int32_t(x));
        maxX = std::max(maxX, int32_t(x));
        minY = std::min(minY, int32_t(y));
        maxY = std::max(maxY, int32_t(y));
        ++count;
        return true;
    }

    // The square brush of pen width w around step pixel (x, y): 0/1 one
    // pixel, 2 columns x-1..x rows y-1..y, 3 x-1..x+1 / y-1..y+1, 4 or more
    // x-2..x+1 / y-2..y+1.
    void DrawBrush(int64_t x, int64_t y, uint32_t penWidth);

    // Bresenham thick line from a to b: start included, end excluded (the
    // column, or row for a steep line, of b is not drawn). x-major when
    // dy < dx, otherwise y-major; equal points draw nothing. Coordinates may
    // be anything: the walk is clipped, along both axes, to the steps whose
    // brush can reach 320 x 240, without changing which pixels are drawn.
    void ThickLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t penWidth);
    void ThickLine(Point a, Point b, uint32_t penWidth) { ThickLine(a.x, a.y, b.x, b.y, penWidth); }

    // Half-toned filled triangle at the current fill level: pixel centres
    // tested by single-precision edge walking, rows clipped to the canvas
    // height, spans to [0, canvas width), each pixel drawn when the fill
    // level >= its dither matrix entry. Zero-area triangles draw nothing.
    void FillTriangle(Point a, Point b, Point c);

    // The `divisions` dividing lines of quadrilateral p: line i (1..d) from
    // p3 + (p0 - p3) * i / n to p2 + (p1 - p2) * i / n, n = d + 1, each
    // coordinate computed in single precision as (difference / n) * i + base
    // and rounded half away from zero, drawn with penWidth. Lines that
    // cannot reach the map are skipped in groups and equal lines drawn once,
    // so the result is that of drawing every line, as long as the lines
    // crossing the map take fewer than 2^24 pixel tests (always so for
    // corners within 100 pixels of the map); beyond that, drawing stops.
    void DividingLines(const std::array<Point, 4>& p, uint32_t divisions, uint32_t penWidth);

    // Steps 3 to 6 of a detector drawing with these points: a line
    // detector's thick line P0->P1; otherwise the outline (fill <= 0) or the
    // two filled triangles (P0, P1, P2), (P0, P2, P3) (fill > 0), then the
    // dividing lines. Calls Begin() itself.
    void Rasterise(const std::array<Point, 4>& points, const Detector& detector, uint32_t canvasWidth,
                   uint32_t canvasHeight);

    uint32_t Count() const { return count; }
    // Pixel tests (DrawPixel calls, drawn or not) since Begin(), with the
    // groups of dividing lines tested against the map counted as a few
    // tests each: the work a drawing did, whatever its coordinates.
    uint64_t Probes() const { return probes; }
    uint32_t CanvasWidth() const { return canvasWidth; }
    uint32_t CanvasHeight() const { return canvasHeight; }
    // True when (x, y) has been drawn; false outside 320 x 240.
    bool Covered(int64_t x, int64_t y) const;
    // The 320 x 240 flags, row-major, 1 = drawn.
    const std::vector<uint8_t>& Coverage() const { return coverage; }
    // Smallest rectangle holding every drawn pixel (inclusive); empty
    // (left > right) when nothing was drawn.
    Rect DrawnBounds() const { return {minX, minY, maxX, maxY}; }

    // Dither matrix entry for (x, y), x, y >= 0: index (y % 4) * 4 + x % 4.
    static int32_t DitherEntry(uint32_t x, uint32_t y);

private:
    std::vector<uint8_t> coverage;
    uint32_t count = 0;
    uint64_t probes = 0;
    uint32_t canvasWidth = 0;
    uint32_t canvasHeight = 0;
    int32_t fillLevel = 0;
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = -1, maxY = -1;
};

// Draws a detector onto `surface` (normally a canvas-size copy of the card's
// background) as the editor and the mask builder do:
//  - rasterises `points` with the detector's line/fill/divisions/pen width;
//  - colour: red when `selected` or `maskMode`, otherwise dark blue for a
//    contrast detector and dark green for the others;
//  - the drawn layer (canvasWidth x canvasHeight, black elsewhere) is ANDed
//    byte by byte with `exclusion` and copied with black as transparent, so
//    only drawn pixels that survive the exclusion change the surface;
//  - when `selected` and not `maskMode`, the 6 x 6 handle frames of the two
//    (line) or four points go directly on the surface, blue for the point
//    index `activePoint` (-1: none), grey for the others.
// Pixels outside the surface are left out; an exclusion map smaller than the
// canvas counts as white where it has no pixels. The result carries the
// detector's number and card and the count of rasterised pixels (exclusion
// does not reduce it).
DrawResult DrawDetector(Bitmap& surface, const std::array<Point, 4>& points, const Detector& detector,
                        int32_t activePoint, bool selected, bool maskMode, uint32_t canvasWidth,
                        uint32_t canvasHeight, const Bitmap& exclusion);

// The pixel count DrawDetector reports for the detector's own points.
uint32_t DetectorPixelCount(const Detector& detector, uint32_t canvasWidth, uint32_t canvasHeight);

// Which canvas pixels a mask-mode drawing of the detector (its own points and
// exclusion map) turns into mask red (R >= 192, G < 64, B < 64) over a grey
// background: the rasterised pixels inside the canvas whose exclusion pixel
// keeps the red (a white pixel keeps it, a black one removes it).
//
// Only the rows [top, bottom) that can hold mask pixels are kept (a
// detector covers a small part of the canvas): `bits` holds width values a
// row for those rows, row y at (y - top) * width, 1 = mask pixel.
struct DetectorMask {
    uint32_t width = 0, height = 0; // the canvas size
    std::vector<uint8_t> bits;      // rows top .. Bottom() - 1, row-major
    uint32_t count = 0;             // DrawDetector's count (before exclusion)
    // Every mask pixel lies in rows [top, bottom) and columns [left, right)
    // (all rows and columns unless narrowed).
    uint32_t top = 0, bottom = UINT32_MAX;
    uint32_t left = 0, right = UINT32_MAX;
    uint32_t Bottom() const { return bottom < height ? bottom : height; }
    // The kept row y (top <= y < Bottom()).
    const uint8_t* Row(uint32_t y) const { return bits.data() + size_t(y - top) * width; }
    bool At(uint32_t x, uint32_t y) const { return x < width && y >= top && y < Bottom() && Row(y)[x]; }
};
DetectorMask ComputeDetectorMask(const Detector& detector, uint32_t canvasWidth, uint32_t canvasHeight);

// Packs a window of a mask into 1-bit rows, top row first: `height` rows of
// (width + 7) / 8 bytes; pixel x of a row is bit 7 - (x % 8) of byte x / 8
// and comes from mask pixel (x + offsetX, y). Pixels outside the mask are 0.
std::vector<uint8_t> PackMaskRows(const DetectorMask& mask, uint32_t offsetX, uint32_t width,
                                  uint32_t height);
// The same rows appended to `out` bottom row first, as a BMP file holds
// them, without a copy in between.
void AppendMaskRowsBottomUp(std::vector<uint8_t>& out, const DetectorMask& mask, uint32_t offsetX,
                            uint32_t width, uint32_t height);

// Layer operations of the drawing, for callers that compose their own layer:
// AND every colour byte of `layer` with the pixel of `exclusion` at the same
// place (pixels the exclusion map does not have are left as they are) ...
void CombineExclusion(Bitmap& layer, const Bitmap& exclusion);
// ... and copy `layer` onto `surface` at the origin, skipping black pixels.
void CopyTransparent(Bitmap& surface, const Bitmap& layer);

// The 1-pixel frame of the square (x - 3, y - 3) .. (x + 3, y + 3), right and
// bottom edges exclusive (6 x 6 pixels), clipped to the surface.
void DrawHandle(Bitmap& surface, Point p, uint32_t colour);

// Centre of a direction arrow: the single-precision mean of P0, P1 (line
// detector) or P0..P3.
struct PointF {
    float x = 0, y = 0;
};
PointF ArrowCentre(const std::array<Point, 4>& points, bool line);

// The seven corners of the direction arrow on a surface zoomed by `zoom`, in
// polygon order: the shape (3, -10), (-3, -10), (-3, 5), (-6, 5), (0, 11),
// (6, 5), (3, 5) turned by theta = -angle * 0.01745328 around the centre and
// mapped to (floor((px cos - py sin + cx) * zoom + 0.5),
// floor((px sin + py cos + cy) * zoom + 0.5)), all in single precision.
// Angle 0 points down the picture, 90 right, 180 up, 270 left. The caller
// fills it yellow (kArrowFill) and outlines it with a 1-pixel black pen; only
// directional detectors get an arrow.
std::array<Point, 7> DirectionArrowPolygon(const std::array<Point, 4>& points, bool line, uint32_t angle,
                                           int32_t zoom);

} // namespace korvex
