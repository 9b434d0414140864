#include "devsim/DeviceShell.h"

#include "devsim/DeviceCommands.h"
#include "devsim/SimulatorState.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace korvex::devsim {

namespace {

bool WriteAll(int fd, std::string& pending) {
    while (!pending.empty()) {
        const ssize_t n = ::write(fd, pending.data(), pending.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pending.erase(0, size_t(n));
    }
    return true;
}

std::string UserName(const Options& options) {
    if (const passwd* entry = ::getpwuid(::getuid()))
        return entry->pw_name;
    return options.user;
}

void NoteRestart(const std::string& rootDir) {
    if (FILE* f = std::fopen((rootDir + "/restarts").c_str(), "a")) {
        std::fputs("restart\n", f);
        std::fclose(f);
    }
}

} // namespace

int RunDeviceShell(const Options& options, const std::string& command) {
    std::signal(SIGPIPE, SIG_IGN);
    DeviceSimulator::State state;
    state.options = options;
    state.password = options.password;
    state.clockOffset_s = options.clockOffset_s;
    state.faults = options.faults;
    std::unique_ptr<ExecHandler> handler = CreateHandler(state, UserName(options), command);
    ExecContext context;
    char buffer[65536];
    for (;;) {
        handler->Step(context);
        if (context.killed)
            std::_Exit(1); // a copy program whose link dropped says nothing more
        const bool written = WriteAll(1, context.output) && WriteAll(2, context.errorOutput);
        if (context.done || !written)
            break;
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            context.inputEof = true;
        else
            context.input.append(buffer, size_t(n));
    }
    if (context.restartAfter)
        NoteRestart(options.rootDir);
    return context.exitStatus;
}

} // namespace korvex::devsim
