// korvex-cli script: prints the "compose.txt" text of a project.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "composer/Composer.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli script PROJECT.kvx";

int RunScript(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Writes the output expressions of the project to stdout exactly as the\n"
                    "device receives them in \"compose.txt\". For a file that is cut short or\n"
                    "damaged, the script of what could be read is written and the status is 1.\n"
                    "Exit status: 0 done, 1 failure or incomplete file, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    const ProjectRead read = ReadProjectFile(parsed->positional[0]);
    const ReadGaps& gaps = read.gaps;
    std::string script = ComposeScript(read.state);
    if (!WriteStdout(script.data(), script.size()))
        return Failure("could not write to standard output");
    if (!gaps.Complete())
        return Failure(IncompleteFileText(parsed->positional[0], gaps));
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("script", "print a project's compose.txt", RunScript);
} // namespace korvex::cli
