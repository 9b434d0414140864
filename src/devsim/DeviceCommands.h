#pragma once

// The device's commands as run on an SSH exec channel. A handler is driven
// in steps by the session: it consumes what the client sent, queues what
// goes back, and says when the command has exited.

#include "devsim/SimulatorState.h"

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace korvex::devsim {

struct ExecContext {
    std::string input;       // bytes from the client not yet consumed
    bool inputEof = false;   // the client sent EOF or closed the channel
    std::string output;      // queued for standard output
    std::string errorOutput; // queued for standard error
    bool done = false;       // the command has exited
    int exitStatus = 0;
    bool restartAfter = false; // the device restarts once the exit is sent
    bool logOutput = true;     // false for binary transfers
    bool killed = false;       // the command died: no exit status is sent
};

class ExecHandler {
public:
    virtual ~ExecHandler() = default;
    // Called after every round of network input (and once at the start).
    virtual void Step(ExecContext& context) = 0;
};

// Splits a command line the way a POSIX shell splits simple words: blanks
// separate words, single quotes keep everything literally, double quotes
// keep everything but let a backslash escape ", \, $ and `, and a
// backslash outside quotes escapes the next character. An unquoted "&&"
// is returned as a word of its own (`operators` marks such words). Returns
// false for an unterminated quote.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& words, std::vector<bool>& operators);

// Creates the handler for an exec request of `user`.
std::unique_ptr<ExecHandler> CreateHandler(DeviceSimulator::State& state, const std::string& user,
                                           const std::string& command);

// Device clock text as "date -u -Iseconds" prints it.
std::string FormatIsoSeconds(std::time_t utc);
// Reads "YYYY-MM-DD HH:MM:SS" (as given to /tavo/setdate); false when the
// text is not a valid date and time.
bool ParseDateTime(const std::string& text, std::time_t& utc);

// The SCP ends of the device (in ScpTransfer.cpp). `args` are the words
// after "scp".
std::unique_ptr<ExecHandler> CreateScpHandler(DeviceSimulator::State& state,
                                              const std::vector<std::string>& args);

// The "sftp" subsystem (in SftpServer.cpp).
std::unique_ptr<ExecHandler> CreateSftpHandler(DeviceSimulator::State& state);

} // namespace korvex::devsim
