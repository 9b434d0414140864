#pragma once

// The options before the command word of korvex-cli device, read by one
// parser for a single device (--host) and for a list of them (--hosts).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex::cli {

struct DeviceOption {
    std::string name;         // "--user"
    bool takesValue = true;   // false: the option alone (take gets "")
    std::string missing;      // said when the value is absent; "" says "NAME needs a value"
    bool refuseEmpty = false; // an empty value counts as absent
    std::function<int(const std::string& value)> take; // ExitOk, or the status of a usage error it said
};

// Reads the options of `args` up to the first word that is not one;
// `next` is set to that word's index. Returns ExitOk, or the status of the
// usage error it said (an option not in `options` names `usage` too; a
// password is never taken from the command line).
int ParseDeviceOptions(const std::vector<std::string>& args, const std::vector<DeviceOption>& options,
                       const std::string& usage, size_t& next);

// An option whose value is kept as written.
DeviceOption TextOption(const std::string& name, const std::string& missing, std::string& out,
                        bool refuseEmpty = false);

// An option whose value is a whole number from 1 to `max`; `error` is said
// for anything else.
DeviceOption CountOption(const std::string& name, unsigned long max, const std::string& error,
                         std::function<void(unsigned long)> store);

// The options both ways share: --port, --user and --known-hosts.
std::vector<DeviceOption> LoginOptions(uint16_t& port, std::string& user, std::string& knownHosts);

} // namespace korvex::cli
