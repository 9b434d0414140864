// korvex-cli diff: what changed between two projects, line by line in an
// engineer's words or as JSON; the exit status says whether anything did,
// as diff's does.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectDiff.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli diff A.kvx B.kvx [--json]";

enum DiffExit { Same = 0, Different = 1, Trouble = 2 };

std::string Json(const std::vector<ProjectChange>& changes) {
    std::string out = "{\"equal\": ";
    out += changes.empty() ? "true" : "false";
    out += ", \"changes\": [";
    for (size_t i = 0; i < changes.size(); ++i) {
        const ProjectChange& c = changes[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"kind\": " + JsonString(ChangeKindName(c.kind)) + ", \"subject\": " + JsonString(c.subject);
        if (c.card >= 0)
            out += ", \"card\": " + std::to_string(c.card);
        if (!c.field.empty())
            out += ", \"field\": " + JsonString(c.field);
        if (!c.before.empty())
            out += ", \"before\": " + JsonString(c.before);
        if (!c.after.empty())
            out += ", \"after\": " + JsonString(c.after);
        if (c.pixels)
            out += ", \"pixels\": " + std::to_string(c.pixels);
        out += ", \"text\": " + JsonString(c.text) + "}";
    }
    out += changes.empty() ? "]}\n" : "\n]}\n";
    return out;
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
        text = Json(changes);
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
