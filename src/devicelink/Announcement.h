#pragma once

#include <cstddef>
#include <string>

namespace korvex {

// The alias of a discovery datagram: "VISION\n" followed by lines
// "acting as tavo\n" and "alias `NAME`\n" (the last alias wins, at most 63
// bytes). Parsing stops quietly at anything else; a payload without
// "VISION\n" has an empty alias. `size` bytes are read, no terminator needed.
std::string ParseAnnouncement(const char* payload, size_t size);

// An alias as it may be shown on a terminal or in a list line. Anyone on the
// network can send one, so nothing in it may act on the display: control
// characters (C0, DEL, C1) and the bidirectional formatting characters that
// would reorder the rest of the line are written as "\u001b"-style escapes
// ("\n", "\r" and "\t" for those three), and bytes that are not well-formed
// UTF-8 become U+FFFD. Printable text, UTF-8 included, is kept as it is.
std::string DisplayAlias(const std::string& alias);

} // namespace korvex
