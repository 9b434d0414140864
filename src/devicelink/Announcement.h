#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// The alias of a discovery datagram: "VISION\n" followed by lines
// "acting as tavo\n" and "alias `NAME`\n" (the last alias wins, at most 63
// bytes). Parsing stops quietly at anything else; a payload without
// "VISION\n" has an empty alias. `size` bytes are read, no terminator needed.
std::string ParseAnnouncement(const char* payload, size_t size);

} // namespace korvex
