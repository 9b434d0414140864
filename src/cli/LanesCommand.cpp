// korvex-cli lanes: the lanes vehicles use in a clip, and one proposed
// detector per lane.
#include "cli/Cli.h"
#include "cli/LanesJson.h"
#include "cli/ProjectArgs.h"
#include "vision/ClipReader.h"
#include "vision/LaneFinder.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli lanes CLIP [--band near|mid|far] [--json]";

void PrintText(const vision::LaneResult& r, const std::vector<vision::Proposal>& proposals, int width) {
    for (size_t i = 0; i < r.lanes.size(); ++i) {
        const vision::Lane& l = r.lanes[i];
        std::printf("lane %zu: %s, %d vehicles, polygon", i, vision::DirectionName(l.direction), l.vehicles);
        for (const vision::PointF& p : vision::LaneOutline(l, width))
            std::printf(" (%ld, %ld)", std::lround(p.x), std::lround(p.y));
        std::printf("\n");
    }
    for (const vision::Proposal& p : proposals)
        std::printf("detector for lane %d: (%d, %d) (%d, %d) (%d, %d) (%d, %d)\n", p.lane, p.points[0][0],
                    p.points[0][1], p.points[1][0], p.points[1][1], p.points[2][0], p.points[2][1],
                    p.points[3][0], p.points[3][1]);
}

int RunLanes(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Finds the lanes of a road from the vehicles moving in CLIP (a recording:\n"
                    "MP4 with H.264, or AVI) and proposes one detector per lane, inside the\n"
                    "lane and across its width, in the chosen band of the rows the lanes\n"
                    "share: near (default, the lower part of the picture, where a stop line\n"
                    "usually is), mid or far. Coordinates are picture pixels of the clip.\n"
                    "With --json one object: \"lanes\" (left to right, each with \"polygon\",\n"
                    "\"direction\" down or up, where vehicles go in the picture, and\n"
                    "\"vehicles\") and \"detectors\" (\"lane\", an index into \"lanes\", and four\n"
                    "\"points\" clockwise from the top left); \"reason\" when none were found.\n"
                    "The clip should show at least %.0f seconds of traffic.\n"
                    "Exit status: 0 lanes found, 1 none found (too short, no motion, camera\n"
                    "moving), 2 bad usage or an unreadable clip.\n",
                    Usage, vision::LaneFinder::kMinSeconds);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--band"}, {"--json"}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    const auto band = ParseBand(parsed->options.count("--band") ? parsed->options["--band"] : "near");
    if (!band)
        return UsageError("--band must be near, mid or far");
    vision::ClipInfo info;
    vision::LaneResult result;
    vision::QuietDecoderMessages();
    try {
        result = vision::FindLanesInClip(parsed->positional[0], &info);
    } catch (const vision::ClipError& e) {
        return UsageError(e.what());
    }
    const auto proposals = vision::ProposeDetectors(result.lanes, *band, info.width, info.height);
    if (parsed->options.count("--json")) {
        nlohmann::json out = LanesJson(result, proposals, info.width);
        if (result.lanes.empty())
            out["reason"] = vision::FailureText(result.failure);
        std::printf("%s\n", out.dump().c_str());
    } else {
        PrintText(result, proposals, info.width);
    }
    if (result.lanes.empty())
        return Failure(std::string("no lanes found: ") + vision::FailureText(result.failure));
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("lanes", "find lanes from the traffic in a clip and propose detectors", RunLanes);
} // namespace korvex::cli
