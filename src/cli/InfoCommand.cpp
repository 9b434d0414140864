// korvex-cli info: describes a project: size, backgrounds, detectors with
// every parameter and their pixel counts, and the composer rows.
#include "cli/Cli.h"
#include "cli/JsonLine.h"
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
        rows.push_back({std::string(1, 'Y') += std::to_string(i + 1), ItemScriptText(s.composer_y[i])});
    for (size_t i = 0; i < s.composer_z.size(); ++i)
        if (s.composer_z[i].kind != ComposerItem::Empty)
            rows.push_back({std::string(1, 'Z') += std::to_string(i + 1), ItemScriptText(s.composer_z[i])});
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
    std::string name(1, d.card < 26 ? char('A' + d.card) : '?');
    name += std::to_string(d.number);
    return name;
}

void PrintText(const std::string& path, const RenderState& s, const ReadGaps& gaps) {
    std::printf("project: %s\n", path.c_str());
    if (!gaps.Complete())
        std::printf("incomplete: %s\n", UnreadPartsText(gaps).c_str());
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
        std::printf("\n    card %u number %u divisions %u pen_width %u fill %d\n", d.card, d.number,
                    d.divisions, d.pen_width, d.fill);
        std::printf(
            "    contrast %d directional %d angle %u feature_threshold %u threshold %u delay %u extend %u\n",
            d.contrast ? 1 : 0, d.directional ? 1 : 0, d.angle, d.feature_threshold, d.threshold, d.delay,
            d.extend);
        std::printf("    pixels %u mask_pixels %u excluded_pixels %u\n", f.pixels, f.maskPixels, f.excluded);
    }
    std::vector<Row> rows = ComposerRows(s);
    std::printf("composer: %zu\n", rows.size());
    for (const Row& r : rows)
        std::printf("  %s = %s\n", r.name.c_str(), r.text.c_str());
}

Json DetectorJson(const RenderState& s, const Detector& d, size_t index) {
    const DetectorFacts f = Facts(s, d);
    Json points = Json::array();
    for (const Point& p : d.points)
        points.push_back({p.x, p.y});
    return {{"index", index},
            {"name", Name(d)},
            {"points", std::move(points)},
            {"line", d.line},
            {"card", d.card},
            {"number", d.number},
            {"divisions", d.divisions},
            {"pen_width", d.pen_width},
            {"fill", d.fill},
            {"contrast", bool(d.contrast)},
            {"directional", bool(d.directional)},
            {"angle", d.angle},
            {"feature_threshold", d.feature_threshold},
            {"threshold", d.threshold},
            {"delay", d.delay},
            {"extend", d.extend},
            {"pixels", f.pixels},
            {"mask_pixels", f.maskPixels},
            {"excluded_pixels", f.excluded}};
}

void PrintJson(const std::string& path, const RenderState& s, const ReadGaps& gaps) {
    Json out = {{"project", path},
                {"incomplete", gaps.Complete() ? Json(nullptr) : Json(UnreadPartsText(gaps))},
                {"width", s.width},
                {"height", s.height},
                {"canvas_width", s.CanvasWidth()},
                {"canvas_height", s.CanvasHeight()}};
    Json backgrounds = Json::array();
    for (size_t i = 0; i < s.backgrounds.size(); ++i)
        backgrounds.push_back(
            {{"card", i}, {"width", s.backgrounds[i].Width()}, {"height", s.backgrounds[i].Height()}});
    out["backgrounds"] = std::move(backgrounds);
    Json detectors = Json::array();
    for (size_t i = 0; i < s.detectors.size(); ++i)
        detectors.push_back(DetectorJson(s, s.detectors[i], i + 1));
    out["detectors"] = std::move(detectors);
    Json composer = Json::array();
    for (const Row& r : ComposerRows(s))
        composer.push_back({{"row", r.name}, {"text", r.text}});
    out["composer"] = std::move(composer);
    const std::string text = JsonLine(out) + "\n";
    WriteStdout(text.data(), text.size());
}

int RunInfo(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Describes a project: picture and canvas size, camera backgrounds, every\n"
                    "detector with all its parameters, its rasterised pixel count (\"pixels\",\n"
                    "the area the editor shows), the bits of its device mask (\"mask_pixels\")\n"
                    "and its painted-out pixels, and the composer rows that carry a formula.\n"
                    "--json prints the same as one JSON object whose keys and order are fixed.\n"
                    "A file that is cut short or damaged is described as far as it could be\n"
                    "read, with an \"incomplete\" line (key) naming what was not read whole,\n"
                    "and ends with status 1.\n"
                    "Exit status: 0 done, 1 failure or incomplete file, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {"--json"}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string& path = parsed->positional[0];
    const ProjectRead read = ReadProjectFile(path);
    const ReadGaps& gaps = read.gaps;
    const RenderState& state = read.state;
    if (parsed->options.count("--json"))
        PrintJson(path, state, gaps);
    else
        PrintText(path, state, gaps);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Failure("could not write to standard output");
    if (!gaps.Complete())
        return Failure(IncompleteFileText(path, gaps));
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("info", "describe a project (--json for machines)", RunInfo);
} // namespace korvex::cli
