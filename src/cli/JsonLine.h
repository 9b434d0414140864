#pragma once

// How korvex-cli writes JSON: every command builds its document as an
// nlohmann::ordered_json (keys stay in the order they were added) and
// prints it with JsonLine, so all commands escape and nest alike.

#include <nlohmann/json.hpp>
#include <string>

namespace korvex::cli {

using Json = nlohmann::ordered_json;

// `value` on one line, objects as {"key": value, ...} and arrays as
// [a, b, ...], without a line end. Strings are escaped by the JSON library;
// bytes that are not well-formed UTF-8 become U+FFFD, so the result is
// always valid JSON whatever a file or a device sent.
std::string JsonLine(const Json& value);

} // namespace korvex::cli
