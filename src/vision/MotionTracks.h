#pragma once

// The moving parts of each picture and their paths: a background model of
// the scene (OpenCV's mixture-of-Gaussians subtractor) gives the pixels
// that differ from it, cleaned up and split into blobs; blobs are linked
// from picture to picture into tracks. Work is done at half size for
// pictures 256 pixels wide or more; every coordinate given out is in the
// picture's own pixels.

#include "vision/VisionTypes.h"

#include <opencv2/core.hpp>
#include <opencv2/video/background_segm.hpp>
#include <vector>

namespace korvex::vision {

// One blob seen in one picture.
struct Sighting {
    int frame = 0;
    double x = 0, y = 0;          // centre of gravity
    double width = 0, height = 0; // bounding box
    double area = 0;              // pixels
};

struct Track {
    int id = 0;
    std::vector<Sighting> sightings;
};

class MotionTracker {
public:
    MotionTracker();

    // Takes the next picture; all pictures of one run must have one size.
    void Add(const GreyPicture& picture);
    // Ends every open track; returns every track of the run with at least
    // `minSightings` sightings, in order of their start.
    std::vector<Track> Finish(size_t minSightings);

    // After Add: the moving pixels of the last picture (255) at work size,
    // the blob label of every work pixel (0 = none) and the track of every
    // label (-1 when the blob started no track worth keeping yet).
    const cv::Mat& Moving() const { return moving; }
    const cv::Mat& Labels() const { return labels; }
    const std::vector<int>& TrackOfLabel() const { return trackOfLabel; }
    int Scale() const { return scale; }
    // Whether the background model has settled (the first pictures only
    // teach it).
    bool Settled() const { return frame > kWarmUp; }

    int Frames() const { return frame; }
    int Width() const { return width; }
    int Height() const { return height; }
    // Settled pictures of which more than a third moved: a moving camera or
    // a scene that changes as a whole.
    int WholeSceneMoving() const { return wholeMoving; }
    int SettledFrames() const { return std::max(0, frame - kWarmUp); }

    static constexpr int kWarmUp = 15;

private:
    struct Open {
        Track track;
        double vx = 0, vy = 0;
        int missed = 0;
    };

    void Link(const std::vector<Sighting>& blobs);

    cv::Ptr<cv::BackgroundSubtractorMOG2> model;
    cv::Mat small, mask, moving, labels, stats, centroids, kernel;
    std::vector<int> trackOfLabel;
    std::vector<Open> open;
    std::vector<Track> done;
    int scale = 1, width = 0, height = 0;
    int frame = 0, nextId = 0, wholeMoving = 0;
};

} // namespace korvex::vision
