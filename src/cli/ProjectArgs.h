#pragma once

// Argument handling shared by the project subcommands (new, info, check,
// script, package, resave, render).

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvex {
struct ReadGaps;
}

namespace korvex::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "--size" -> "320x240"; flags -> ""
};

// Splits `args` into positionals and options. `valued` names the options
// that take a value ("--size 320x240" or "--size=320x240"), `flags` those
// that do not. Returns none and prints a usage error for an unknown option,
// a missing value, or a positional count outside [minPositional,
// maxPositional].
std::optional<ParsedArgs> ParseArgs(const std::vector<std::string>& args,
                                    const std::vector<std::string>& valued,
                                    const std::vector<std::string>& flags, size_t minPositional,
                                    size_t maxPositional, const char* usage);

// For commands that write what they read (IncompleteFiles.cpp): 0 when `gaps` is complete or
// `force` is set (a forced save of an incomplete file says so on stderr);
// otherwise prints why the file is refused and returns ExitFailure.
int RefuseIncomplete(const std::string& path, const ReadGaps& gaps, bool force);

// Parses a decimal number in [0, max]; none when it is not one.
std::optional<unsigned> ParseNumber(const std::string& text, unsigned max);

// Writes `bytes` to stdout exactly; false on a write error.
bool WriteStdout(const void* bytes, size_t size);

} // namespace korvex::cli
