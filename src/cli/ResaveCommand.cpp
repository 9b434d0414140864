// korvex-cli resave: opens a project and saves it again.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli resave IN.kvx OUT.kvx [--force]";

int RunResave(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Opens IN and saves it as OUT, as the editor's Open and Save As do: the\n"
                    "configuration package is built again with OUT's name as the alias. OUT\n"
                    "may be IN; it is replaced only once the new file is complete.\n"
                    "An IN that could not be read whole (cut short or damaged) is refused, as\n"
                    "saving it would make the loss permanent; --force saves what was read.\n"
                    "Exit status: 0 saved, 1 failure or refusal, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {"--force"}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    Document document;
    document.New();
    ProjectRead read = ReadProjectFile(parsed->positional[0]);
    if (int refused =
            RefuseIncomplete(parsed->positional[0], read.gaps, parsed->options.count("--force") != 0))
        return refused;
    document.ReplaceWithLoaded(std::move(read.state), parsed->positional[0]);
    SaveProject(document, parsed->positional[1]);
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("resave", "open a project and save it again", RunResave);
} // namespace korvex::cli
