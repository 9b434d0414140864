#pragma once

// JSON and options shared by the traffic commands (lanes, coverage).

#include "vision/LaneFinder.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace korvex::cli {

// near, mid or far; none for anything else.
std::optional<vision::Band> ParseBand(const std::string& text);

// {"lanes": [{"polygon", "direction", "vehicles"}], "detectors": [{"lane",
// "points"}]}, coordinates rounded to whole pixels.
nlohmann::json LanesJson(const vision::LaneResult& result, const std::vector<vision::Proposal>& proposals,
                         int width);

} // namespace korvex::cli
