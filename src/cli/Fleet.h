#pragma once

// korvex-cli device --hosts: one device operation on a list of devices, a
// bounded number at once, one JSON line per device.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::cli {

struct FleetHost {
    std::string host; // IPv4 address as written
    uint16_t port = 22;
    size_t line = 0; // line of the list it came from (1-based)
};

struct HostList {
    std::vector<FleetHost> hosts;   // in list order, each host and port once
    std::vector<std::string> notes; // repeated entries that were dropped
    std::string error;              // set when the list cannot be used
};

// Parses a host list: one HOST[:PORT] a line (HOST an IPv4 address, PORT
// 1 to 65535, `defaultPort` when absent); '#' starts a comment; blank lines
// are skipped. `source` names the list in messages ("hosts.txt line 3: ...").
HostList ParseHostList(std::string_view text, uint16_t defaultPort, const std::string& source);

// The "error" text of a failed device: the lines of its messages, joined
// by "; ", at most 2000 bytes; `fallback` when there are none.
std::string FleetErrorText(const std::vector<std::string>& messages, const std::string& fallback);

// {"host": ..., "port": ..., "ok": true, "result": RESULT} or
// {"host": ..., "port": ..., "ok": false, "error": "..."}.
std::string FleetLine(const FleetHost& host, bool ok, const nlohmann::ordered_json& resultOrError);

// A per-device file name: "{host}" and "{port}" replaced.
std::string ExpandDevicePattern(const std::string& pattern, const FleetHost& host);

// True when the device command's options name a host list (--hosts).
bool NamesHostList(const std::vector<std::string>& args);

// korvex-cli device --hosts ...
int RunDeviceFleet(const std::vector<std::string>& args);

} // namespace korvex::cli
