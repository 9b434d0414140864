// korvex-cli diff: what changed between two projects, line by line in an
// engineer's words or as JSON; the exit status says whether anything did,
// as diff's does.
#include "cli/Cli.h"
#include "cli/JsonLine.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectDiff.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli diff A.kvx B.kvx [--json]";

enum DiffExit { Same = 0, Different = 1, Trouble = 2 };

std::string JsonText(const std::vector<ProjectChange>& changes) {
    Json list = Json::array();
    for (const ProjectChange& c : changes) {
        Json change = {{"kind", ChangeKindName(c.kind)}, {"subject", c.subject}};
        if (c.card >= 0)
            change["card"] = c.card;
        if (!c.field.empty())
            change["field"] = c.field;
        if (!c.before.empty())
            change["before"] = c.before;
        if (!c.after.empty())
            change["after"] = c.after;
        if (c.pixels)
            change["pixels"] = c.pixels;
        change["text"] = c.text;
        list.push_back(std::move(change));
    }
    return JsonLine({{"equal", changes.empty()}, {"changes", std::move(list)}}) + "\n";
}

int RunDiff(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Lists what changed from project A to project B: detectors added,\n"
                    "removed, renumbered or moved, their properties, exclusion maps and\n"
                    "backgrounds (pixels changed), output formulas and the picture size.\n"
                    "--json prints {\"equal\": ..., \"changes\": [{\"kind\", \"subject\", \"field\",\n"
                    "\"before\", \"after\", \"pixels\", \"text\"}, ...]}.\n"
                    "Exit status: 0 equal, 1 different, 2 trouble (a file that cannot be\n"
                    "read, bad usage).\n",
                    Usage);
        return Same;
    }
    auto parsed = ParseArgs(args, {}, {"--json"}, 2, 2, Usage);
    if (!parsed)
        return Trouble;
    std::vector<ProjectChange> changes;
    try {
        const RenderState a = LoadProject(parsed->positional[0]);
        const RenderState b = LoadProject(parsed->positional[1]);
        changes = DiffProjects(a, b);
    } catch (const std::exception& e) {
        Failure(e.what());
        return Trouble;
    }
    std::string text;
    if (parsed->options.count("--json")) {
        text = JsonText(changes);
    } else {
        for (const ProjectChange& c : changes)
            text += c.text + "\n";
    }
    if (!WriteStdout(text.data(), text.size())) {
        Failure("could not write to standard output");
        return Trouble;
    }
    return changes.empty() ? Same : Different;
}

} // namespace
KORVEX_CLI_COMMAND("diff", "list what changed between two projects (exit 1 when they differ)", RunDiff);
} // namespace korvex::cli
