#pragma once

// The coverage check: how the traffic of a clip meets a set of detectors.
// For each detector the share of pictures in which moving vehicles covered
// it, the vehicles that reached it and from which lanes, and three
// warnings: never reached (misplaced), reached from two lanes (bleed),
// covered most of the time (wrong background or lighting).

#include "vision/LaneFinder.h"
#include "vision/VisionTypes.h"

#include <memory>
#include <vector>

namespace korvex::vision {

struct DetectorCoverage {
    double share = 0;                // of the analysed pictures, covered by moving vehicles
    int vehicles = 0;                // vehicles that reached it
    std::vector<int> vehiclesByLane; // per lane found, vehicles that reached it
    bool misplaced = false;
    bool bleed = false;
    bool mostlyCovered = false;
};

struct CoverageResult {
    LaneResult lanes;
    std::vector<DetectorCoverage> detectors; // in the order given
};

class CoverageCheck {
public:
    // Detector areas in pixels of a picture of `width` x `height`, which is
    // scaled to the clip's size (0 x 0: already the clip's pixels).
    explicit CoverageCheck(std::vector<Quad> detectors, int width = 0, int height = 0);
    ~CoverageCheck();
    CoverageCheck(const CoverageCheck&) = delete;
    CoverageCheck& operator=(const CoverageCheck&) = delete;

    void Add(const GreyPicture& picture);
    CoverageResult Finish(double fps);

    // A detector counts as covered in a picture when moving pixels fill at
    // least this share of it; a vehicle reaches it when its blob fills at
    // least kReachShare.
    static constexpr double kCoveredShare = 0.25;
    static constexpr double kReachShare = 0.10;
    // Below this share of time a detector is misplaced, above the other it
    // is covered most of the time.
    static constexpr double kMisplacedBelow = 0.01;
    static constexpr double kMostlyAbove = 0.5;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Reads `path` and checks `detectors` against its traffic. Throws ClipError
// when the file cannot be read as video.
CoverageResult CheckCoverageInClip(const std::string& path, const std::vector<Quad>& detectors, int width = 0,
                                   int height = 0);

} // namespace korvex::vision
