#pragma once

// Lanes from traffic: feed the pictures of a clip (or a stretch of a live
// camera) one by one, then ask for the lanes vehicles used, each with its
// direction of travel and the number of vehicles seen in it.

#include "vision/VisionTypes.h"

#include <memory>
#include <string>

namespace korvex::vision {

class MotionTracker;

class LaneFinder {
public:
    LaneFinder();
    ~LaneFinder();
    LaneFinder(const LaneFinder&) = delete;
    LaneFinder& operator=(const LaneFinder&) = delete;

    void Add(const GreyPicture& picture);
    // The lanes of everything added; `fps` is the clip's picture rate.
    // Ends the run: Add may not be called afterwards.
    LaneResult Finish(double fps);
    // After Finish: the lane of a track of the tracker, -1 for none.
    int LaneOfTrack(int trackId) const;

    // The moving parts of the last picture (for checks that look at the
    // same traffic, such as the coverage check).
    const MotionTracker& Tracker() const;

    // Clips shorter than this are refused: too few vehicles pass.
    static constexpr double kMinSeconds = 8;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

struct ClipInfo;
// Reads `path` and finds its lanes; `info`, when given, receives the clip's
// size and rate. Throws ClipError when the file cannot be read as video.
LaneResult FindLanesInClip(const std::string& path, ClipInfo* info = nullptr);

// One detector per lane, inside it across its width, in `band` of the rows
// the lanes share (near: the lower part of the picture). `width` and
// `height` are the picture's size.
std::vector<Proposal> ProposeDetectors(const std::vector<Lane>& lanes, Band band, int width, int height);

} // namespace korvex::vision
