#pragma once

// Passwords for the device commands: from the environment, or typed on the
// terminal without echo. Never from the command line.

#include <optional>
#include <string>

namespace korvex::cli {

// Reads a line from the terminal without echo; nothing when there is none.
std::optional<std::string> AskHidden(const char* prompt);

// The value of `variable` when it is set, else AskHidden(prompt).
std::optional<std::string> Secret(const char* variable, const char* prompt);

} // namespace korvex::cli
