#pragma once

// From vehicle tracks to lanes: each usable track is a straight path
// x = a + b * y in the picture; paths that run together (closer than half a
// vehicle's width, which is learnt from the blobs) in the same direction
// form one lane. Lanes are ordered left to right and bounded by the lines
// halfway between neighbouring lanes' centre lines.

#include "vision/MotionTracks.h"
#include "vision/VisionTypes.h"

#include <vector>

namespace korvex::vision {

struct LaneModel {
    std::vector<Lane> lanes;
    // Per track given (same order): the lane it belongs to, -1 for none.
    std::vector<int> laneOfTrack;
    int usableTracks = 0;
};

LaneModel LanesFromTracks(const std::vector<Track>& tracks, int height);

} // namespace korvex::vision
