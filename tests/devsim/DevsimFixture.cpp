#include "DevsimFixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace devsimtest {

korvex::devsim::Options QuietOptions(const std::string& root) {
    korvex::devsim::Options o;
    o.rootDir = root + "/device";
    o.sshPort = 0;
    o.livePort = 0;
    o.announce = false;
    o.hostKeyFile = root + "/host_key";
    o.restartSeconds = 1;
    return o;
}

int RunProgram(const std::vector<std::string>& args, const std::string& input, std::string& output,
               std::string& errors) {
    std::filesystem::path in = std::filesystem::temp_directory_path() / ("devsim-in-" + std::to_string(getpid()));
    std::filesystem::path out = in.string() + ".out", err = in.string() + ".err";
    {
        std::ofstream f(in, std::ios::binary);
        f << input;
    }
    pid_t child = fork();
    if (child == 0) {
        freopen(in.c_str(), "rb", stdin);
        freopen(out.c_str(), "wb", stdout);
        freopen(err.c_str(), "wb", stderr);
        std::vector<std::string> full = {"timeout", "20"};
        full.insert(full.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : full)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(126);
    }
    int status = 0;
    waitpid(child, &status, 0);
    output = ReadWholeFile(out.string());
    errors = ReadWholeFile(err.string());
    std::error_code ec;
    for (const auto& p : {in, out, err})
        std::filesystem::remove(p, ec);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveOpenSsh() {
    return std::system("command -v ssh >/dev/null 2>&1 && command -v scp >/dev/null 2>&1 && "
                       "command -v sshpass >/dev/null 2>&1") == 0;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace devsimtest
