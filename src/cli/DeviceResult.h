#pragma once

// What a korvex-cli device command gives back is the session's own
// DeviceResult: printed as lines for one device, and as the "result" of a
// device's JSON line in a fleet.

#include "devicelink/DeviceResults.h"

#include <nlohmann/json.hpp>
#include <string>

namespace korvex::cli::device {

// The result as korvex-cli prints it for one device ("" for none): the
// version line, the network settings as "key: value" lines, a listing's
// lines, the clock check's verdict; for the jobs that read nothing, the
// status text they ended with.
std::string ResultText(const DeviceResult& result);

// The same as the "result" of a fleet line: a text is a string (an array
// when it has several lines), a listing an array, the network settings an
// object whose values are numbers when they are plain decimal numbers;
// null for none.
nlohmann::ordered_json ResultJson(const DeviceResult& result);

// A JSON document on one line, as korvex-cli writes it: ", " between
// members and elements, ": " after keys, UTF-8 kept, bytes that are not
// UTF-8 replaced by U+FFFD.
std::string JsonLine(const nlohmann::ordered_json& value);

} // namespace korvex::cli::device
