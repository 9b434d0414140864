#pragma once

// How well found lanes and proposed detectors fit a clip's known lanes.

#include "vision/VisionTypes.h"
#include "vision/synth/RoadClip.h"

#include <vector>

namespace korvex::vision::synth {

struct LaneScore {
    int truthLanes = 0;
    int foundLanes = 0;
    // Every found lane's middle lies in a different known lane, and every
    // known lane has one.
    bool matched = false;
    // Matched, and each found lane goes the way its known lane goes.
    bool directions = false;
    // Proposals with (almost) all of their area inside the known lane of
    // their found lane.
    int proposalsInside = 0;
    // Proposals reaching into a second known lane.
    int proposalsAcross = 0;
    // Matched with right directions, one proposal per lane, every one
    // inside its lane and none across two.
    bool Right() const {
        return directions && proposalsInside == truthLanes && proposalsAcross == 0 &&
               foundLanes == truthLanes;
    }
};

LaneScore ScoreLanes(const std::vector<TruthLane>& truth, const std::vector<Lane>& found,
                     const std::vector<Proposal>& proposals);

} // namespace korvex::vision::synth
