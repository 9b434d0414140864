// korvex-cli new: writes a new, empty project file.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"

#include "files/ProjectFile.h"

#include <cstdio>
#include <filesystem>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli new OUT.kvx [--size 320x240|180x144] [--force]";

// The new-project state for a 180 x 144 camera picture: the same lists as a
// 320 x 240 project, with the 8 output rows such a device has, on the
// 240 x 144 canvas.
RenderState NewSmallProject() {
    RenderState s;
    s.width = 180;
    s.height = 144;
    s.EnsureBackgrounds(4);
    s.composer_y.resize(8);
    s.composer_a.resize(4);
    s.composer_z.assign(64, ComposerItem(ComposerItem::Empty));
    return s;
}

int RunNew(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Creates a new project and saves it: four white camera backgrounds, no\n"
                    "detectors, every output Y at 1. --size picks the camera picture: 320x240\n"
                    "(default) or 180x144. An existing file is only replaced with --force.\n"
                    "Exit status: 0 saved, 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--size"}, {"--force"}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    std::string size = parsed->options.count("--size") ? parsed->options["--size"] : "320x240";
    if (size != "320x240" && size != "180x144")
        return UsageError("--size must be 320x240 or 180x144");
    const std::string& out = parsed->positional[0];
    std::error_code ec;
    if (!parsed->options.count("--force") && std::filesystem::exists(out, ec))
        return Failure("'" + out + "' exists; use --force to replace it");
    Document document;
    document.New();
    if (size == "180x144")
        document.ReplaceWithLoaded(NewSmallProject(), "");
    SaveProject(document, out);
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("new", "create a new project file", RunNew);
} // namespace korvex::cli
