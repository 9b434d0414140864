#pragma once

// Busy synthetic road clips for the tests: short, with enough vehicles in
// every lane to find it in half a minute.

#include "vision/LaneFinder.h"
#include "vision/synth/RoadClip.h"

namespace korvex::vision::test {

inline synth::RoadConfig BusyRoad(std::vector<Direction> directions, double seconds = 30) {
    synth::RoadConfig c;
    c.seconds = seconds;
    c.directions = std::move(directions);
    c.rateMin = 14, c.rateMax = 20;
    c.crossMin = 5, c.crossMax = 7;
    return c;
}

inline LaneResult Analyse(const synth::RoadClip& clip) {
    LaneFinder finder;
    GreyPicture picture;
    for (int f = 0; f < clip.FrameCount(); ++f) {
        clip.Render(f, picture);
        finder.Add(picture);
    }
    return finder.Finish(clip.Fps());
}

} // namespace korvex::vision::test
