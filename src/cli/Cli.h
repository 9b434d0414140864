#pragma once

#include <string>
#include <vector>

namespace korvex::cli {

// Exit codes shared by every subcommand.
enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitUsage = 2, ExitProblems = 3 };

// One subcommand of korvex-cli. `run` gets the arguments after the
// subcommand's name; it prints its own --help.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

// Registers a subcommand; used through KORVEX_CLI_COMMAND at namespace scope
// in the file that implements it.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Small helpers for the subcommands' argument handling.
bool WantsHelp(const std::vector<std::string>& args);
// Prints "korvex-cli: <message>" to stderr and returns ExitUsage.
int UsageError(const std::string& message);
// Prints "korvex-cli: <message>" to stderr and returns ExitFailure.
int Failure(const std::string& message);
// True when stderr is a terminal (progress bars are drawn only then).
bool StderrIsTerminal();

} // namespace korvex::cli

#define KORVEX_CLI_CONCAT2(a, b) a##b
#define KORVEX_CLI_CONCAT(a, b) KORVEX_CLI_CONCAT2(a, b)
#define KORVEX_CLI_COMMAND(name, summary, fn)                                                                    \
    static const bool KORVEX_CLI_CONCAT(korvexCliRegistered_, __LINE__) =                                      \
        ::korvex::cli::RegisterCommand({name, summary, fn})
