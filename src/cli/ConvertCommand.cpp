// korvex-cli convert: moves a project to the other camera picture size.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"
#include "model/ProjectConvert.h"

#include <cstdio>
#include <filesystem>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli convert IN.kvx OUT.kvx --size 320x240|180x144 [--force]";

std::string OutputList(const std::vector<uint32_t>& outputs) {
    std::string text;
    for (uint32_t y : outputs)
        text += (text.empty() ? "Y" : ", Y") + std::to_string(y);
    return text;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec))
        return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec) && !ec;
}

int RunConvert(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Reads IN and writes OUT with every detector moved to the other camera\n"
                    "picture size: corners are scaled in picture coordinates and rounded half\n"
                    "away from zero (a 180 x 144 picture lies at canvas columns 30-209),\n"
                    "exclusion maps and backgrounds are resampled (grey at 180 x 144), and the\n"
                    "outputs become Y1-Y24 (320x240) or Y1-Y8 (180x144). Converting to 180x144\n"
                    "while Y9-Y24 hold expressions other than 1 is refused unless --force is\n"
                    "given, which drops them. An IN that could not be read whole (cut short\n"
                    "or damaged) is refused too unless --force is given, which converts what\n"
                    "was read. OUT is replaced only once it is complete; IN is never written.\n"
                    "Exit status: 0 written, 1 failure or refusal, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--size"}, {"--force"}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    if (!parsed->options.count("--size"))
        return UsageError(std::string("--size is required (") + Usage + ")");
    const std::string& size = parsed->options["--size"];
    uint32_t width = 0, height = 0;
    if (size == "320x240") {
        width = 320;
        height = 240;
    } else if (size == "180x144") {
        width = 180;
        height = 144;
    } else {
        return UsageError("--size must be 320x240 or 180x144");
    }
    const std::string& in = parsed->positional[0];
    const std::string& out = parsed->positional[1];
    if (SameFile(in, out))
        return UsageError("OUT must be another file than IN, which is never written");

    Document document;
    document.New();
    ProjectRead read = ReadProjectFile(in);
    if (int refused = RefuseIncomplete(in, read.gaps, parsed->options.count("--force") != 0))
        return refused;
    document.ReplaceWithLoaded(std::move(read.state), in);
    ConvertOutcome outcome = ConvertProject(document, width, height, parsed->options.count("--force") != 0);
    switch (outcome.refusal) {
    case ConvertRefusal::None:
        break;
    case ConvertRefusal::SameSize:
        return Failure("'" + in + "' already is " + size + "; nothing written");
    case ConvertRefusal::OutputsInUse:
        return Failure("outputs " + OutputList(outcome.outputsInUse) + " hold expressions that a " + size +
                       " device does not have; --force drops them. Nothing written");
    case ConvertRefusal::UnsupportedSize:
        return UsageError("--size must be 320x240 or 180x144");
    }
    SaveProject(document, out);
    if (!outcome.outputsInUse.empty())
        std::fprintf(stderr, "korvex-cli: dropped outputs %s\n", OutputList(outcome.outputsInUse).c_str());
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("convert", "move a project to the other camera picture size", RunConvert);
} // namespace korvex::cli
