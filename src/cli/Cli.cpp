#include "cli/Cli.h"

#include <cstdio>
#include <unistd.h>

namespace korvex::cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
} // namespace

bool RegisterCommand(const Command& command) {
    Registry().push_back(command);
    return true;
}

const std::vector<Command>& Commands() { return Registry(); }

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "korvex-cli: %s\n", message.c_str());
    return ExitUsage;
}

int Failure(const std::string& message) {
    std::fprintf(stderr, "korvex-cli: %s\n", message.c_str());
    return ExitFailure;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

} // namespace korvex::cli
