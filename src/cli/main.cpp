// korvex-cli: scripts the Korvex core. Each subcommand lives in a file of its
// own (*Command.cpp) and registers itself.
#include "cli/Cli.h"

#include "framework/Language.h"
#include "framework/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

using namespace korvex;

static void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: korvex-cli <command> [options]\n       korvex-cli --version\n\ncommands:\n");
    auto commands = cli::Commands();
    std::sort(commands.begin(), commands.end(),
              [](const cli::Command& a, const cli::Command& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const auto& c : commands)
        std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'korvex-cli <command> --help' explains a command.\n");
}

int main(int argc, char** argv) {
    StringTable::Select(ReadLanguage());
    if (argc < 2) {
        PrintUsage(stderr);
        return cli::ExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return cli::ExitOk;
    }
    if (name == "--version") {
        std::printf("korvex-cli %s\n", KORVEX_VERSION);
        return cli::ExitOk;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : cli::Commands()) {
        if (name == c.name) {
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                return cli::Failure(e.what());
            }
        }
    }
    std::fprintf(stderr, "korvex-cli: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return cli::ExitUsage;
}
