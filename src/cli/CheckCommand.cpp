// korvex-cli check: lists what is wrong with a project before it goes to a
// device, as the problems list does.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"

#include "files/Problems.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli check PROJECT.kvx";

int RunCheck(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Prints one line per problem (detector numbers outside 1..32, duplicate\n"
                    "numbers on one camera, expressions that use missing detectors), sorted\n"
                    "as the problems list shows them.\n"
                    "Exit status: 0 no problems, 3 problems found, 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    RenderState state = LoadProject(parsed->positional[0]);
    std::vector<std::string> lines = ProblemLines(state);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    if (!WriteStdout(text.data(), text.size()))
        return Failure("could not write to standard output");
    return lines.empty() ? ExitOk : ExitProblems;
}

} // namespace
KORVEX_CLI_COMMAND("check", "list a project's problems (exit 3 when there are any)", RunCheck);
} // namespace korvex::cli
