#pragma once

// Running a program from a test through the shell, and a scratch folder per
// test.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace korvex::test {

struct CommandOutcome {
    int status = -1;  // exit status, -1 when the program did not exit normally
    std::string out;  // what the command wrote to its standard output
    std::string err;  // its standard error, when RunCommandWithErrors ran it
};

// Runs `command` with /bin/sh and collects its standard output (redirect
// standard error in the command to keep or drop it).
inline CommandOutcome RunCommand(const std::string& command) {
    CommandOutcome r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The bytes of a file ("" when it cannot be read).
inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `command` as RunCommand does, with standard input from /dev/null and
// standard error kept in `errFile` and returned in `err`.
inline CommandOutcome RunCommandWithErrors(const std::string& command, const std::filesystem::path& errFile) {
    CommandOutcome r = RunCommand(command + " 2>'" + errFile.string() + "' </dev/null");
    r.err = ReadWholeFile(errFile);
    return r;
}

// A new empty folder under the system's temporary folder, named after
// `prefix`; "" when it cannot be made.
inline std::string MakeTempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char* made = mkdtemp(buf.data());
    return made ? made : "";
}

} // namespace korvex::test
