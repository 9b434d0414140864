// korvex-cli compose: sets one output expression of a project from a typed
// formula and saves the project.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "composer/Formula.h"
#include "files/ProjectFile.h"
#include "model/Document.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli compose PROJECT.kvx ROW FORMULA";

int RunCompose(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Sets ROW of the project's output expressions to FORMULA, saves the project\n"
                    "and prints the row as the device script writes it.\n\n"
                    "ROW is Y1, Y2, ... (as many outputs as the project has), Z1 to Z64, or Ac,\n"
                    "Bc, ... (one per camera). FORMULA uses the script's syntax: inputs A1 to\n"
                    "H32, Ablur to Hblur, Ablank to Hblank, the constants 0 and 1, the operators\n"
                    "& (binds tightest), ^ and | (binds loosest), and parentheses; blanks are\n"
                    "free and letters may be in either case. An empty FORMULA clears a Z row.\n"
                    "Quote the formula for the shell: 'A1 & (B2 | Cblur)'.\n\n"
                    "The file is replaced only once the new one is complete; on any error it is\n"
                    "left as it was.\n"
                    "Exit status: 0 saved, 1 failure, 2 bad usage, unknown row or formula error.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 3, 3, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string& path = parsed->positional[0];
    const std::string& rowName = parsed->positional[1];
    const std::string& formula = parsed->positional[2];

    Document document;
    document.New();
    OpenProject(document, path);
    std::optional<ComposerRow> row = ParseRowName(document.Current(), rowName);
    if (!row) {
        const RenderState& state = document.Current();
        return UsageError(
            "unknown row '" + rowName + "': this project has the rows Y1 to Y" +
            std::to_string(state.composer_y.size()) + ", Z1 to Z" + std::to_string(state.composer_z.size()) +
            " and Ac to " +
            std::string(
                1, static_cast<char>('A' + (state.composer_a.empty() ? 0 : state.composer_a.size() - 1))) +
            "c");
    }
    if (auto error = SetRowFormula(document, *row, formula))
        return UsageError(row->Name() + ": " + FormulaErrorText(*error));
    // A row that already held the formula leaves the file as it is.
    if (document.Modified())
        SaveProject(document, path);
    std::string line = row->Name() + " = " + FormulaText(*RowItem(document.Current(), *row)) + "\n";
    if (!WriteStdout(line.data(), line.size()))
        return Failure("could not write to standard output");
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("compose", "set one output expression from a formula", RunCompose);
} // namespace korvex::cli
