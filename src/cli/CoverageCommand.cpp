// korvex-cli coverage: how the traffic of a clip meets the detectors of one
// camera of a project.
#include "cli/Cli.h"
#include "cli/LanesJson.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"
#include "model/PictureCoordinates.h"
#include "vision/ClipReader.h"
#include "vision/Coverage.h"

#include <cctype>
#include <cstdio>
#include <string>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli coverage PROJECT.kvx --card A CLIP [--json]";

std::vector<std::string> Warnings(const vision::DetectorCoverage& c) {
    std::vector<std::string> w;
    if (c.misplaced)
        w.push_back("misplaced");
    if (c.bleed)
        w.push_back("bleed");
    if (c.mostlyCovered)
        w.push_back("covered");
    return w;
}

const char* WarningText(const std::string& w) {
    if (w == "misplaced")
        return "traffic never reached it (misplaced?)";
    if (w == "bleed")
        return "traffic of two lanes reaches it (bleed)";
    return "covered most of the time (wrong background or lighting?)";
}

void PrintText(char card, const std::vector<const Detector*>& detectors, const vision::CoverageResult& r) {
    for (size_t i = 0; i < detectors.size(); ++i) {
        const vision::DetectorCoverage& c = r.detectors[i];
        std::printf("detector %c%u: covered %.1f %% of the time, %d vehicles", card, detectors[i]->number,
                    100 * c.share, c.vehicles);
        for (size_t lane = 0; lane < c.vehiclesByLane.size(); ++lane)
            if (c.vehiclesByLane[lane] > 0)
                std::printf(", %d from lane %zu", c.vehiclesByLane[lane], lane);
        std::printf("\n");
        for (const std::string& w : Warnings(c))
            std::printf("  warning: %s\n", WarningText(w));
    }
}

nlohmann::json Json(char card, const std::vector<const Detector*>& detectors, const vision::CoverageResult& r,
                    int width) {
    nlohmann::json list = nlohmann::json::array();
    for (size_t i = 0; i < detectors.size(); ++i) {
        const vision::DetectorCoverage& c = r.detectors[i];
        list.push_back({{"number", detectors[i]->number},
                        {"share", std::round(c.share * 1000) / 1000},
                        {"vehicles", c.vehicles},
                        {"vehicles_by_lane", c.vehiclesByLane},
                        {"warnings", Warnings(c)}});
    }
    nlohmann::json out = LanesJson(r.lanes, {}, width);
    out.erase("detectors");
    out["card"] = std::string(1, card);
    out["detectors"] = list;
    return out;
}

int RunCoverage(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Checks the detectors of camera A..H of PROJECT.kvx against the traffic of\n"
                    "CLIP (a recording of that camera: MP4 with H.264, or AVI). For each\n"
                    "detector: the share of time moving vehicles covered it, the vehicles that\n"
                    "reached it and the lanes they came from, and warnings: \"misplaced\"\n"
                    "(traffic never reached it), \"bleed\" (traffic of two lanes reaches it),\n"
                    "\"covered\" (covered most of the time: wrong background or lighting).\n"
                    "With --json one object: \"card\", \"lanes\" (as korvex-cli lanes gives\n"
                    "them) and \"detectors\" (\"number\", \"share\" 0..1, \"vehicles\",\n"
                    "\"vehicles_by_lane\", \"warnings\"); \"reason\" when the clip cannot be used.\n"
                    "Exit status: 0 no warnings, 3 warnings, 1 failure (the project cannot be\n"
                    "read, the camera has no detectors, the clip is too short or the camera\n"
                    "moves), 2 bad usage or an unreadable clip.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--card"}, {"--json"}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string letter = parsed->options.count("--card") ? parsed->options["--card"] : "";
    const char card = letter.size() == 1 ? char(std::toupper(static_cast<unsigned char>(letter[0]))) : 0;
    if (card < 'A' || card > 'H')
        return UsageError("--card must be a camera letter from A to H");
    const RenderState state = LoadProject(parsed->positional[0]);
    const PictureArea area = PictureAreaOf(state);
    std::vector<const Detector*> detectors;
    std::vector<vision::Quad> quads;
    for (const Detector& d : state.detectors) {
        if (d.card != uint32_t(card - 'A'))
            continue;
        detectors.push_back(&d);
        vision::Quad q;
        for (size_t k = 0; k < 4; ++k) {
            // A line detector is the line from P0 to P1.
            const Point p = ToPicture(area, d.points[d.IsLine() ? k % 2 : k]);
            q[k] = {double(p.x), double(p.y)};
        }
        quads.push_back(q);
    }
    if (detectors.empty())
        return Failure(std::string("camera ") + card + " has no detectors in " + parsed->positional[0]);
    vision::ClipInfo info;
    vision::CoverageResult result;
    vision::QuietDecoderMessages();
    try {
        vision::CoverageCheck check(quads, area.width, area.height);
        info = vision::ReadClip(parsed->positional[1], [&](const vision::GreyPicture& p) {
            check.Add(p);
            return true;
        });
        result = check.Finish(info.fps);
    } catch (const vision::ClipError& e) {
        return UsageError(e.what());
    }
    const vision::Failure failure = result.lanes.failure;
    const bool unusable = failure == vision::Failure::TooShort || failure == vision::Failure::CameraMoving;
    bool warned = false;
    for (const vision::DetectorCoverage& c : result.detectors)
        warned = warned || !Warnings(c).empty();
    if (parsed->options.count("--json")) {
        nlohmann::json out = Json(card, detectors, result, info.width);
        if (unusable)
            out["reason"] = vision::FailureText(failure);
        std::printf("%s\n", out.dump().c_str());
    } else if (!unusable) {
        PrintText(card, detectors, result);
    }
    if (unusable)
        return Failure(std::string("cannot check the coverage: ") + vision::FailureText(failure));
    return warned ? ExitProblems : ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("coverage", "check a camera's detectors against the traffic of a clip", RunCoverage);
} // namespace korvex::cli
