#pragma once

// Texts the device prints or reads, and the lines the tool shows for them.
// Pure functions: no session, no sockets.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// "%u.%u.%u.%u" of a host-order address (first octet in the top byte).
std::string HostAddressText(uint32_t hostOrder);
// "%u.%u.%u.%u" of a network-order address (first octet in the lowest byte).
std::string NetworkAddressText(uint32_t networkOrder);
// Reads "%u.%u.%u.%u" into a host-order address: four decimal octets of at
// most 255, blanks around them allowed, nothing else. Anything else (an
// octet above 255, a missing or extra part) is no address: a value that
// cannot be read is shown as missing and never written back made up.
std::optional<uint32_t> ParseAddressText(std::string_view text);

// Content of a camera file: "" for address 0, the address for channel 1,
// otherwise the address followed by "?channel=N".
std::string CameraFileContent(uint32_t hostOrder, uint32_t channel);
struct CameraSetting {
    uint32_t address = 0; // host order
    uint32_t channel = 1;
};
// Reads a camera file's content (an address text, optionally followed by
// "?channel=" and a decimal number below 2^32); nothing when it holds none.
std::optional<CameraSetting> ParseCameraFile(std::string_view text);

// The string-table text `id` with "%1", "%2", ... replaced by `values` in
// order (a mark the text does not hold is left out).
std::string FilledText(unsigned id, std::initializer_list<std::string> values);

// `text` without trailing blanks, tabs, carriage returns and line feeds.
std::string TrimTrailing(std::string_view text);

// The value of `key` in "key = value ; comment" output; nothing when the
// key is not found before a malformed line or the end of the text (the
// caller shows such a value as missing rather than as 0.0.0.0).
std::optional<std::string> SettingsValue(std::string_view text, std::string_view key);

// The 17 characters after "HWaddr " in the output of "ifconfig eth0";
// "" when the marker is absent (fewer characters when the text ends).
std::string HardwareAddress(std::string_view ifconfigOutput);

// Version part of the status text: the output up to its first line end,
// without the "tavo " it must begin with; "" when it does not.
bool VersionFromOutput(std::string_view output, std::string& version);

// Recordings listings ("ls -p" output, split at line feeds): the names of
// one level that qualify, in order, without the trailing "/". Names that are
// not a single plain path element ("." or "..", or holding "/", "\\" or a
// zero byte) are left out: they would lead copies out of the local folder.
enum class ListingLevel { Cameras, Folders, Files };
std::vector<std::string> FilterListing(std::string_view output, ListingLevel level);
// A folder name as one word of a device shell command: unchanged when it
// holds only letters, digits and "._-+:,@%=", otherwise in single quotes
// (a quote inside written '\''). Names come from the USB drive, so a name
// such as "cam$(reboot)" must reach "ls" as a name, not as shell text.
std::string ShellWord(std::string_view name);
// Line of a level-3 (hour) folder: the first two characters and ":00", or
// "" for a name shorter than two characters.
std::string HourLine(const std::string& name);
// The mark shown against names whose local copy exists.
constexpr const char* SavedMark = "  [S]";

} // namespace korvex
