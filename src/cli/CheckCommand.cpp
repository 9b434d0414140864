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
                    "numbers on one camera, expressions that use missing detectors), then one\n"
                    "line per warning, beginning \"warning: \" (conditions of cameras the\n"
                    "project does not have, operators with two identical sides, outputs that\n"
                    "never change), sorted as the problems list shows them. Problems stop an\n"
                    "upload; warnings do not. A file that is cut short or damaged gives a\n"
                    "first line naming what could not be read whole, and counts as a problem.\n"
                    "Exit status: 0 no problems (warnings or none), 3 problems found,\n"
                    "1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 1, 1, Usage);
    if (!parsed)
        return ExitUsage;
    const ProjectRead read = ReadProjectFile(parsed->positional[0]);
    const ReadGaps& gaps = read.gaps;
    const RenderState& state = read.state;
    // A file read only in part is a problem of its own: what is missing
    // cannot be checked, and uploading it would lose it.
    bool problems = !gaps.Complete();
    std::string text = problems ? IncompleteFileText(parsed->positional[0], gaps) + "\n" : "";
    for (const ProblemLine& line : ListProblems(state)) {
        problems = problems || !line.warning;
        text += (line.warning ? "warning: " : "") + line.text + "\n";
    }
    if (!WriteStdout(text.data(), text.size()))
        return Failure("could not write to standard output");
    return problems ? ExitProblems : ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("check", "list a project's problems and warnings (exit 3 when there are problems)",
                   RunCheck);
} // namespace korvex::cli
