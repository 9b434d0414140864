#pragma once

#include "devsim/DeviceSimulator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devsimtest {

using korvex::test::TempDir;

// Options for a simulator on free loopback ports without announcements.
korvex::devsim::Options QuietOptions(const std::string& root);

// Runs a program (searched in PATH) with a 20-second limit, feeding it
// `input`; returns its exit status and fills `output` with its standard
// output and `errors` with its standard error.
int RunProgram(const std::vector<std::string>& args, const std::string& input, std::string& output,
               std::string& errors);

// True when the OpenSSH client and sshpass are installed.
bool HaveOpenSsh();

std::string ReadWholeFile(const std::string& path);

} // namespace devsimtest
