// korvex-cli render: draws one camera card as the editor shows it.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"
#include "framework/AtomicFile.h"
#include "raster/DetectorRaster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli render PROJECT.kvx OUT.bmp [--card N]";

void Plot(Bitmap& canvas, int64_t x, int64_t y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < int64_t(canvas.Width()) && y < int64_t(canvas.Height()))
        canvas.SetPixelColour(uint32_t(x), uint32_t(y), colour);
}

// The direction arrow of a directional detector at zoom 1, as the editor
// shows it: the polygon filled yellow where a pixel centre lies inside it
// (even-odd rule), then outlined by 1-pixel black lines from corner to
// corner, each line's end left to the next one.
void DrawArrow(Bitmap& canvas, const std::array<Point, 7>& poly) {
    int64_t top = poly[0].y, bottom = poly[0].y;
    for (const Point& p : poly) {
        top = std::min<int64_t>(top, p.y);
        bottom = std::max<int64_t>(bottom, p.y);
    }
    top = std::max<int64_t>(top, 0);
    bottom = std::min<int64_t>(bottom, int64_t(canvas.Height()) - 1);
    for (int64_t y = top; y <= bottom; ++y) {
        const double cy = double(y) + 0.5;
        std::vector<double> xs;
        for (size_t i = 0; i < poly.size(); ++i) {
            const Point& a = poly[i];
            const Point& b = poly[(i + 1) % poly.size()];
            if ((a.y <= cy) != (b.y <= cy))
                xs.push_back(a.x + (cy - a.y) * (b.x - a.x) / double(b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        // Spans clipped to the canvas, so a far-off arrow costs nothing.
        const double right = double(canvas.Width());
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
            for (double x = std::max(0.0, std::ceil(xs[i] - 0.5)); x + 0.5 < xs[i + 1] && x < right; ++x)
                Plot(canvas, int64_t(x), y, kArrowFill);
    }
    for (size_t i = 0; i < poly.size(); ++i) {
        int64_t x0 = poly[i].x, y0 = poly[i].y;
        const int64_t x1 = poly[(i + 1) % poly.size()].x, y1 = poly[(i + 1) % poly.size()].y;
        const int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1, dy = y1 > y0 ? y0 - y1 : y1 - y0;
        const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int64_t err = dx + dy;
        while (x0 != x1 || y0 != y1) {
            Plot(canvas, x0, y0, kArrowOutline);
            const int64_t e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
}

int RunRender(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Draws camera card N (0..7, default 0) of the project as the editor does,\n"
                    "with nothing selected: its background on the canvas (240x144 for a\n"
                    "180x144 picture, else the picture size) and every detector of that card\n"
                    "over it in its unselected colour (dark green, dark blue for contrast\n"
                    "detectors), painted-out pixels left alone, and the direction arrow of\n"
                    "every directional detector (yellow, black outline). Writes a 24-bit BMP.\n"
                    "Exit status: 0 written, 1 failure (also a card without background),\n"
                    "2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--card"}, {}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    unsigned card = 0;
    if (parsed->options.count("--card")) {
        auto n = ParseNumber(parsed->options["--card"], 7);
        if (!n)
            return UsageError("--card must be a number from 0 to 7");
        card = *n;
    }
    RenderState state = LoadProject(parsed->positional[0]);
    if (card >= state.backgrounds.size())
        return Failure(std::string("the project has no background for card ") += std::to_string(card));
    uint32_t cw = state.CanvasWidth(), ch = state.CanvasHeight();
    // The background sits at the canvas origin; a picture of another size is
    // cut at the canvas edges or leaves white beside it.
    Bitmap canvas(cw, ch);
    const Bitmap& background = state.backgrounds[card];
    uint32_t w = std::min(cw, background.Width()), h = std::min(ch, background.Height());
    for (uint32_t y = 0; y < h; ++y)
        std::memcpy(canvas.Row(y), background.Row(y), size_t(w) * 3);
    for (const Detector& d : state.detectors)
        if (d.card == card)
            DrawDetector(canvas, d.points, d, -1, false, false, cw, ch, d.exclusion);
    for (const Detector& d : state.detectors)
        if (d.card == card && d.directional)
            DrawArrow(canvas, DirectionArrowPolygon(d.points, d.IsLine(), d.angle, 1));
    std::vector<uint8_t> bmp = EncodeBmp24(canvas);
    AtomicFile::WriteAll(parsed->positional[1], bmp.data(), bmp.size());
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("render", "draw one camera card of a project as a BMP", RunRender);
} // namespace korvex::cli
