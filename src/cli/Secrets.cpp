#include "cli/Secrets.h"

#include <cstdio>
#include <cstdlib>
#include <termios.h>

namespace korvex::cli {

std::optional<std::string> AskHidden(const char* prompt) {
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    const int fd = fileno(tty);
    termios saved{};
    const bool isTerminal = tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::fprintf(tty, "%s", prompt);
    std::fflush(tty);
    std::string line;
    int c;
    while ((c = std::fgetc(tty)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    if (isTerminal)
        tcsetattr(fd, TCSAFLUSH, &saved);
    std::fprintf(tty, "\n");
    std::fclose(tty);
    if (c == EOF && line.empty())
        return std::nullopt;
    return line;
}

std::optional<std::string> Secret(const char* variable, const char* prompt) {
    if (const char* value = std::getenv(variable))
        return std::string(value);
    return AskHidden(prompt);
}

} // namespace korvex::cli
