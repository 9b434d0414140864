#pragma once

// The device's command set as a login shell: a real SSH server runs
// "korvex-devsim --root DIR -c COMMAND" for each exec request, and the
// command works on the device tree in DIR over standard input and output.
// The server supplies the transport; the device's behaviour stays the
// simulator's.

#include "devsim/DeviceSimulator.h"

#include <string>

namespace korvex::devsim {

// Runs `command` against `options.rootDir` and returns its exit status. A
// restart appends a line to <root>/restarts instead of taking the device
// away; the shell has no clock of its own beyond the options.
int RunDeviceShell(const Options& options, const std::string& command);

} // namespace korvex::devsim
