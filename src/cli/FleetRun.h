#pragma once

// korvex-cli device --hosts in this process: every device gets a session of
// its own on a thread of its own, at most `parallel` at once; each gives a
// typed result that is printed as one JSON line.

#include "cli/DeviceCommands.h"
#include "cli/Fleet.h"

#include <csignal>
#include <vector>

namespace korvex::cli {

struct FleetPlan {
    const device::Subcommand& command;
    device::Request request; // the operation as checked, without its device
    unsigned parallel = 8;
    unsigned timeout_s = 300;
};

struct FleetTally {
    size_t succeeded = 0;
    size_t reported = 0;
};

// Serves every device of `hosts`, printing each one's line as soon as it is
// known. A device still busy after the plan's timeout is cut off and its
// place given to the next; once `interrupted` is set nothing more starts
// and the running ones are broken off. Returns when every device has been
// reported and the sessions broken off have ended, or ends the program
// when one of them does not end within a few seconds.
FleetTally ServeFleet(const FleetPlan& plan, const std::vector<FleetHost>& hosts,
                      const volatile std::sig_atomic_t& interrupted);

} // namespace korvex::cli
