// korvex-cli info: describes a project: size, backgrounds, detectors with
// every parameter and their pixel counts, and the composer rows.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"

#include "composer/Composer.h"
#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "raster/DetectorRaster.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli info PROJECT.kvx [--json]";

struct Row {
    std::string name, text;
};

// The composer rows that carry a formula: every Y row, the used Z rows and
// the card rows that are not left at 1, as the script lists them.
std::vector<Row> ComposerRows(const RenderState& s) {
    std::vector<Row> rows;
    for (size_t i = 0; i < s.composer_y.size(); ++i)
        rows.push_back({"Y" + std::to_string(i + 1), ItemScriptText(s.composer_y[i])});
    for (size_t i = 0; i < s.composer_z.size(); ++i)
        if (s.composer_z[i].kind != ComposerItem::Empty)
            rows.push_back({"Z" + std::to_string(i + 1), ItemScriptText(s.composer_z[i])});
    for (size_t i = 0; i < s.composer_a.size(); ++i)
        if (s.composer_a[i].kind != ComposerItem::One)
            rows.push_back({std::string(1, char('A' + i)) + "c", ItemScriptText(s.composer_a[i])});
    return rows;
}

struct DetectorFacts {
    uint32_t pixels = 0;     // rasterised pixels, as the inspector shows
    uint32_t maskPixels = 0; // bits set in the device mask
    uint32_t excluded = 0;   // black pixels of the exclusion map
};

DetectorFacts Facts(const RenderState& s, const Detector& d) {
    DetectorFacts f;
    DetectorMask mask = ComputeDetectorMask(d, s.CanvasWidth(), s.CanvasHeight());
    f.pixels = mask.count;
    uint32_t offset = PictureOffsetX(s);
    for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t x = 0; x < s.width; ++x)
            f.maskPixels += mask.At(x + offset, y) ? 1 : 0;
    for (uint32_t y = 0; y < d.exclusion.Height(); ++y)
        for (uint32_t x = 0; x < d.exclusion.Width(); ++x)
            f.excluded += d.exclusion.IsBlack(x, y) ? 1 : 0;
    return f;
}

std::string Name(const Detector& d) {
    return (d.card < 26 ? std::string(1, char('A' + d.card)) : "?") + std::to_string(d.number);
}

void PrintText(const std::string& path, const RenderState& s) {
    std::printf("project: %s\n", path.c_str());
    std::printf("size: %ux%u (canvas %ux%u)\n", s.width, s.height, s.CanvasWidth(), s.CanvasHeight());
    std::printf("backgrounds: %zu\n", s.backgrounds.size());
    for (size_t i = 0; i < s.backgrounds.size(); ++i)
        std::printf("  %c: %ux%u\n", char('A' + i), s.backgrounds[i].Width(), s.backgrounds[i].Height());
    std::printf("detectors: %zu\n", s.detectors.size());
    for (size_t i = 0; i < s.detectors.size(); ++i) {
        const Detector& d = s.detectors[i];
        DetectorFacts f = Facts(s, d);
        std::printf("  det%zu %s: %s", i + 1, Name(d).c_str(), d.line ? "line" : "quadrilateral");
        int corners = d.line ? 2 : 4;
        for (int k = 0; k < corners; ++k)
            std::printf(" (%d,%d)", d.points[size_t(k)].x, d.points[size_t(k)].y);
        std::printf("\n    card %u number %u divisions %u pen_width %u fill %d\n", d.card, d.number, d.divisions,
                    d.pen_width, d.fill);
        std::printf("    contrast %d directional %d angle %u feature_threshold %u threshold %u delay %u extend %u\n",
                    d.contrast ? 1 : 0, d.directional ? 1 : 0, d.angle, d.feature_threshold, d.threshold, d.delay,
                    d.extend);
        std::printf("    pixels %u mask_pixels %u excluded_pixels %u\n", f.pixels, f.maskPixels, f.excluded);
    }
    std::vector<Row> rows = ComposerRows(s);
    std::printf("composer: %zu\n", rows.size());
    for (const Row& r : rows)
        std::printf("  %s = %s\n", r.name.c_str(), r.text.c_str());
}

void PrintJson(const std::string& path, const RenderState& s) {
    std::string out = "{\n";
    out += "  \"project\": " + JsonString(path) + ",\n";
    out += "  \"width\": " + std::to_string(s.width) + ",\n";
    out += "  \"height\": " + std::to_string(s.height) + ",\n";
    out += "  \"canvas_width\": " + std::to_string(s.CanvasWidth()) + ",\n";
    out += "  \"canvas_height\": " + std::to_string(s.CanvasHeight()) + ",\n";
    out += "  \"backgrounds\": [";
    for (size_t i = 0; i < s.backgrounds.size(); ++i)
        out += std::string(i ? ", " : "") + "{\"card\": " + std::to_string(i) +
               ", \"width\": " + std::to_string(s.backgrounds[i].Width()) +
               ", \"height\": " + std::to_string(s.backgrounds[i].Height()) + "}";
    out += "],\n  \"detectors\": [";
    for (size_t i = 0; i < s.detectors.size(); ++i) {
        const Detector& d = s.detectors[i];
        DetectorFacts f = Facts(s, d);
        out += i ? ",\n    {" : "\n    {";
        out += "\"index\": " + std::to_string(i + 1) + ", \"name\": " + JsonString(Name(d)) + ", \"points\": [";
        for (size_t k = 0; k < 4; ++k)
            out += std::string(k ? ", " : "") + "[" + std::to_string(d.points[k].x) + ", " +
                   std::to_string(d.points[k].y) + "]";
        out += "], \"line\": " + std::to_string(d.line);
        out += ", \"card\": " + std::to_string(d.card);
        out += ", \"number\": " + std::to_string(d.number);
        out += ", \"divisions\": " + std::to_string(d.divisions);
        out += ", \"pen_width\": " + std::to_string(d.pen_width);
        out += ", \"fill\": " + std::to_string(d.fill);
        out += ", \"contrast\": " + std::string(d.contrast ? "true" : "false");
        out += ", \"directional\": " + std::string(d.directional ? "true" : "false");
        out += ", \"angle\": " + std::to_string(d.angle);
        out += ", \"feature_threshold\": " + std::to_string(d.feature_threshold);
        out += ", \"threshold\": " + std::to_string(d.threshold);
        out += ", \"delay\": " + std::to_string(d.delay);
        out += ", \"extend\": " + std::to_string(d.extend);
        out += ", \"pixels\": " + std::to_string(f.pixels);
        out += ", \"mask_pixels\": " + std::to_string(f.maskPixels);
        out += ", \"excluded_pixels\": " + std::to_string(f.excluded) + "}";
    }
    out += s.detectors.empty() ? "],\n" : "\n  ],\n";
    out += "  \"composer\": [";
    std::vector<Row> rows = ComposerRows(s);
    for (size_t i = 0; i < rows.size(); ++i)
        out += std::string(i ? ",\n    " : "\n    ") + "{\"row\": " + JsonString(rows[i].name) +
               ", \"text\": " + JsonString(rows[i].text) + "}";
    out += rows.empty() ? "]\n}\n" : "\n  ]\n}\n";
    WriteStdout(out.data(), out.size());
}

int RunInfo(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Describes a project: picture and canvas size, camera backgrounds, every\n"
                    "detector with all its parameters, its rasterised pixel count (\"pixels\",\n"
                    "the area the editor shows), the bits of its device mask (\"mask_pixels\")\n"
                    "and its painted-out pixels, and the composer rows that carry a formula.\n"
                    "--json prints the same as one JSON object whose keys and order are fixed.\n"
                    "Exit status: 0 done, 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {"--json"}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string& path = parsed->positional[0];
    RenderState state = LoadProject(path);
    if (parsed->options.count("--json"))
        PrintJson(path, state);
    else
        PrintText(path, state);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Failure("could not write to standard output");
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("info", "describe a project (--json for machines)", RunInfo);
} // namespace korvex::cli
