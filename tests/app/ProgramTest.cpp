// The korvex program as a user or a session manager runs it: options on the
// command line, and termination signals while a message box waits.
#include "support/CommandRun.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A korvex process with its standard error (trace lines) read by the test.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        setenv("KORVEX_TRACE", "1", 1);
        args.insert(args.begin(), KORVEX_APP_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int err[2];
        if (::pipe(err) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        if (posix_spawn(&pid, KORVEX_APP_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(err[1]);
        errFd = err[0];
        unsetenv("KORVEX_TRACE");
    }
    ~Program() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (errFd >= 0)
            ::close(errFd);
    }

    // Reads standard error until `text` shows or `seconds` pass.
    bool WaitFor(const std::string& text, int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (err.find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
            if (!ReadSome())
                break;
        return err.find(text) != std::string::npos;
    }
    // The exit status once the program has ended by itself within
    // `seconds`; -1 when it ended by a signal, -2 when it was still running
    // (it is then killed).
    int WaitForExit(int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end)
                return -2;
            ReadSome(); // waits up to 200 ms for output
        }
        pid = -1;
        while (ReadSome() && !atEnd) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int number) { ::kill(pid, number); }
    const std::string& Errors() const { return err; }

private:
    // False at the end of the output (the program ended or closed it) and
    // when nothing came for 200 ms after the program ended.
    bool ReadSome() {
        pollfd p{errFd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            return pid > 0;
        char buffer[4096];
        const ssize_t n = ::read(errFd, buffer, sizeof buffer);
        if (n <= 0) {
            atEnd = true;
            return false;
        }
        err.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t pid = -1;
    int errFd = -1;
    bool atEnd = false;
    std::string err;
};

} // namespace

// The box about a file that cannot be opened waits for an answer; a
// termination request closes it as its button would and ends the program
// in order, with every worker stopped.
TEST(Program, TerminationEndsItWhileAMessageBoxWaits) {
    for (int signal : {SIGTERM, SIGHUP}) {
        const std::string missing = std::filesystem::temp_directory_path() / "korvex-no-such-project.kvx";
        Program korvex({missing});
        ASSERT_TRUE(korvex.WaitFor("Starting thread Scan", 120)) << korvex.Errors();
        ::sleep(1); // the box opens right after the threads start
        korvex.Signal(signal);
        EXPECT_EQ(korvex.WaitForExit(60), 0) << "signal " << signal << "\n" << korvex.Errors();
        EXPECT_NE(korvex.Errors().find("closing QMessageBox"), std::string::npos) << korvex.Errors();
        for (const char* thread : {"Connection", "Live", "Scan"})
            EXPECT_NE(korvex.Errors().find(std::string("Stopped thread ") + thread), std::string::npos)
                << thread;
    }
}

// Options the program does not know are not taken for file names.
TEST(Program, UnknownOptionsAreRefusedWithTheUsageLine) {
    Program korvex({"--frobnicate", "x.kvx"});
    EXPECT_EQ(korvex.WaitForExit(60), 2);
    EXPECT_NE(korvex.Errors().find("unknown option '--frobnicate'"), std::string::npos) << korvex.Errors();
    EXPECT_NE(korvex.Errors().find("usage: korvex"), std::string::npos);
    Program two({"a.kvx", "b.kvx"});
    EXPECT_EQ(two.WaitForExit(60), 2);
}
