// korvex-cli render: draws one camera card as the editor shows it.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"

#include "files/ProjectFile.h"
#include "framework/BinaryFile.h"
#include "raster/DetectorRaster.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli render PROJECT.kvx OUT.bmp [--card N]";

int RunRender(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Draws camera card N (0..7, default 0) of the project as the editor does,\n"
                    "with nothing selected: its background on the canvas (240x144 for a\n"
                    "180x144 picture, else the picture size) and every detector of that card\n"
                    "over it in its unselected colour (dark green, dark blue for contrast\n"
                    "detectors), painted-out pixels left alone. Writes a 24-bit BMP.\n"
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
    std::vector<uint8_t> bmp = EncodeBmp24(canvas);
    AtomicFile::WriteAll(parsed->positional[1], bmp.data(), bmp.size());
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("render", "draw one camera card of a project as a BMP", RunRender);
} // namespace korvex::cli
