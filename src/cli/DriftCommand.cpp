// korvex-cli drift: how far a camera has moved since its background was
// taken.
#include "cli/Cli.h"
#include "cli/JsonLine.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"
#include "image/CameraShift.h"
#include "image/PictureReader.h"
#include "model/CameraFollow.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli drift PROJECT.kvx --card A PICTURE [--json]";

const char* Why(ShiftEstimate::Verdict verdict) {
    switch (verdict) {
    case ShiftEstimate::Verdict::Flat:
        return "too little to see in one of the pictures";
    case ShiftEstimate::Verdict::Unmatched:
        return "the picture does not match the background";
    case ShiftEstimate::Verdict::SizeMismatch:
        return "the pictures differ in size";
    case ShiftEstimate::Verdict::Shift:
        break;
    }
    return "";
}

const char* VerdictWord(ShiftEstimate::Verdict verdict) {
    switch (verdict) {
    case ShiftEstimate::Verdict::Flat:
        return "flat";
    case ShiftEstimate::Verdict::Unmatched:
        return "unmatched";
    case ShiftEstimate::Verdict::SizeMismatch:
        return "size";
    case ShiftEstimate::Verdict::Shift:
        break;
    }
    return "shift";
}

void PrintJson(char card, const ShiftEstimate& e) {
    Json out = {{"card", std::string(1, card)}};
    if (e.Known()) {
        out["dx"] = e.dx;
        out["dy"] = e.dy;
        // Two decimals, as the text says it.
        out["confidence"] = std::round(e.confidence * 100.0) / 100.0;
        out["text"] = DescribeShift(e.dx, e.dy);
    }
    out["confident"] = e.Confident();
    out["verdict"] = VerdictWord(e.verdict);
    std::fputs((JsonLine(out) + "\n").c_str(), stdout);
}

void PrintText(char card, const ShiftEstimate& e) {
    if (!e.Known()) {
        std::printf("camera %c: cannot tell (%s)\n", card, Why(e.verdict));
        return;
    }
    std::printf("camera %c: %s (dx %d, dy %d), confidence %.2f%s\n", card, DescribeShift(e.dx, e.dy).c_str(),
                e.dx, e.dy, e.confidence, e.Confident() ? "" : " - too low to act on");
}

int RunDrift(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Estimates how far camera A..H has moved: compares PICTURE, a picture of\n"
                    "the camera's picture size taken now (BMP, PNG or JPEG), with the project's\n"
                    "background for that camera, within 40 pixels each way. Prints the shift in words,\n"
                    "or \"cannot tell\" when a picture is flat or does not match the background.\n"
                    "With --json one object: \"dx\" and \"dy\" (whole pixels, positive when the\n"
                    "picture's content moved right or down, so moving the detectors by dx, dy\n"
                    "puts them back; absent when it cannot tell), \"confidence\" (0..1),\n"
                    "\"confident\" (true when the estimate is good enough to act on) and\n"
                    "\"verdict\" (shift, flat, unmatched or size).\n"
                    "Exit status: 0 estimated (also \"cannot tell\"), 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--card"}, {"--json"}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string letter = parsed->options.count("--card") ? parsed->options["--card"] : "";
    if (letter.size() != 1 || (std::toupper(static_cast<unsigned char>(letter[0])) < 'A') ||
        (std::toupper(static_cast<unsigned char>(letter[0])) > 'H'))
        return UsageError("--card must be a camera letter from A to H");
    const char card = char(std::toupper(static_cast<unsigned char>(letter[0])));
    const uint32_t index = uint32_t(card - 'A');

    const RenderState state = LoadProject(parsed->positional[0]);
    if (index >= state.backgrounds.size())
        return Failure(std::string("the project has no background for camera ") + card);
    const Bitmap picture = ReadCameraPicture(parsed->positional[1], state.width, state.height);
    const ShiftEstimate estimate = EstimateShift(CameraPictureOf(state, index), picture);
    if (parsed->options.count("--json"))
        PrintJson(card, estimate);
    else
        PrintText(card, estimate);
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("drift", "estimate how far a camera has moved against its background", RunDrift);
} // namespace korvex::cli
