#pragma once

// The commands of korvex-cli device, as one table shared by the single
// device and the fleet: each command reads its arguments, may prepare what
// it sends, and runs on a connected session giving back a value.

#include "cli/DeviceSession.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvex::cli::device {

struct HelpRow {
    const char* synopsis;    // a second line starts with '\n'
    const char* description; // lines separated by '\n'
};

struct Subcommand {
    const char* word;
    std::vector<HelpRow> help;
    int (*parse)(Request&); // ExitOk, or the status of the usage error it said
    std::optional<int> (*local)(Request&, ProgramHistory&); // before the password; a value ends the command
    std::optional<int> (*gather)(Request&);                 // after the password; a value ends the command
    int (*run)(Run&);
    bool printsStatus;       // the last status text is its value when it succeeded
    bool awaitsAnnouncement; // listens for the device coming back
};

// The command named `word`, or null.
const Subcommand* FindSubcommand(const std::string& word);

// One help row: a short synopsis shares its line with the description,
// which starts at `column`; a long one stands on its own line(s) above it.
std::string HelpText(const HelpRow& row, size_t column);

// The help of korvex-cli device, generated from the table.
const std::string& Usage();

// Connects, runs the command and disconnects: its exit status, with its
// value in `value`; `ready`, when given, gets the value before the
// disconnect.
int RunOnDevice(const Subcommand& command, Request& r, const SessionSetup& setup, DeviceResult& value,
                const std::function<void(const DeviceResult&)>& ready = {});

// The runs of the commands (DeviceRuns.cpp).
int RunVersion(Run& run);
int RunUpload(Run& run);
int RunDownload(Run& run);
int RunRestart(Run& run);
int RunPasswd(Run& run);
int RunSyncClock(Run& run);
int RunNetworkShow(Run& run);
int RunNetworkSet(Run& run);
int RunRecordings(Run& run);

} // namespace korvex::cli::device
