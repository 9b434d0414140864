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

} // namespace korvex::cli::device
