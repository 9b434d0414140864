#include "cli/LanesJson.h"

#include <cmath>

namespace korvex::cli {

std::optional<vision::Band> ParseBand(const std::string& text) {
    if (text == "near")
        return vision::Band::Near;
    if (text == "mid")
        return vision::Band::Mid;
    if (text == "far")
        return vision::Band::Far;
    return std::nullopt;
}

nlohmann::json LanesJson(const vision::LaneResult& result, const std::vector<vision::Proposal>& proposals,
                         int width) {
    nlohmann::json lanes = nlohmann::json::array();
    for (const vision::Lane& l : result.lanes) {
        nlohmann::json polygon = nlohmann::json::array();
        for (const vision::PointF& p : vision::LaneOutline(l, width))
            polygon.push_back({std::lround(p.x), std::lround(p.y)});
        lanes.push_back({{"polygon", polygon},
                         {"direction", vision::DirectionName(l.direction)},
                         {"vehicles", l.vehicles}});
    }
    nlohmann::json detectors = nlohmann::json::array();
    for (const vision::Proposal& p : proposals) {
        nlohmann::json points = nlohmann::json::array();
        for (const auto& corner : p.points)
            points.push_back({corner[0], corner[1]});
        detectors.push_back({{"lane", p.lane}, {"points", points}});
    }
    return {{"lanes", lanes}, {"detectors", detectors}};
}

} // namespace korvex::cli
