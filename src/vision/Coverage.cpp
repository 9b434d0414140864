#include "vision/Coverage.h"

#include "vision/ClipReader.h"
#include "vision/MotionTracks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>
#include <set>

namespace korvex::vision {

struct CoverageCheck::Impl {
    std::vector<Quad> quads;
    int width = 0, height = 0; // what the quads' pixels refer to
    LaneFinder finder;
    bool sized = false;
    // Per detector: its work pixels, pictures covered, vehicles reaching.
    std::vector<std::vector<int>> pixels;
    std::vector<int> covered;
    std::vector<std::set<int>> reached;
    int analysed = 0;

    void Size(const MotionTracker& t) {
        const cv::Mat& moving = t.Moving();
        // From the quads' pixels to the clip's work pixels.
        const double sx = (width > 0 ? double(t.Width()) / width : 1.0) / t.Scale();
        const double sy = (height > 0 ? double(t.Height()) / height : 1.0) / t.Scale();
        for (const Quad& q : quads) {
            cv::Mat mask = cv::Mat::zeros(moving.rows, moving.cols, CV_8UC1);
            std::vector<cv::Point> corners;
            for (const PointF& p : q)
                corners.emplace_back(int(std::lround(p.x * sx)), int(std::lround(p.y * sy)));
            cv::fillConvexPoly(mask, corners, cv::Scalar(255));
            std::vector<int> list;
            for (int y = 0; y < mask.rows; ++y)
                for (int x = 0; x < mask.cols; ++x)
                    if (mask.at<uint8_t>(y, x))
                        list.push_back(y * mask.cols + x);
            pixels.push_back(std::move(list));
        }
        covered.assign(quads.size(), 0);
        reached.assign(quads.size(), {});
        sized = true;
    }

    void Look(const MotionTracker& t) {
        const uint8_t* moving = t.Moving().ptr<uint8_t>(0);
        const int* labels = t.Labels().ptr<int>(0);
        const std::vector<int>& trackOf = t.TrackOfLabel();
        std::map<int, int> byLabel;
        for (size_t d = 0; d < pixels.size(); ++d) {
            const std::vector<int>& area = pixels[d];
            if (area.empty())
                continue;
            int on = 0;
            byLabel.clear();
            for (int i : area)
                if (moving[i]) {
                    ++on;
                    ++byLabel[labels[i]];
                }
            if (on >= CoverageCheck::kCoveredShare * double(area.size()))
                ++covered[d];
            for (const auto& [label, count] : byLabel)
                if (label > 0 && size_t(label) < trackOf.size() && trackOf[size_t(label)] >= 0 &&
                    count >= CoverageCheck::kReachShare * double(area.size()))
                    reached[d].insert(trackOf[size_t(label)]);
        }
        ++analysed;
    }
};

CoverageCheck::CoverageCheck(std::vector<Quad> detectors, int width, int height)
    : impl(std::make_unique<Impl>()) {
    impl->quads = std::move(detectors);
    impl->width = width;
    impl->height = height;
}

CoverageCheck::~CoverageCheck() = default;

void CoverageCheck::Add(const GreyPicture& picture) {
    impl->finder.Add(picture);
    const MotionTracker& t = impl->finder.Tracker();
    if (!t.Settled())
        return;
    if (!impl->sized)
        impl->Size(t);
    impl->Look(t);
}

CoverageResult CoverageCheck::Finish(double fps) {
    CoverageResult result;
    result.lanes = impl->finder.Finish(fps);
    const size_t laneCount = result.lanes.lanes.size();
    for (size_t d = 0; d < impl->quads.size(); ++d) {
        DetectorCoverage c;
        c.vehiclesByLane.assign(laneCount, 0);
        if (impl->sized) {
            c.share = impl->analysed ? double(impl->covered[d]) / impl->analysed : 0;
            c.vehicles = int(impl->reached[d].size());
            for (int track : impl->reached[d]) {
                const int lane = impl->finder.LaneOfTrack(track);
                if (lane >= 0 && size_t(lane) < laneCount)
                    ++c.vehiclesByLane[size_t(lane)];
            }
        }
        std::vector<int> counts = c.vehiclesByLane;
        std::sort(counts.rbegin(), counts.rend());
        // Two lanes reach it when the second brings a few vehicles and more
        // than a stray share of the first's.
        c.bleed = counts.size() >= 2 && counts[1] >= 2 && counts[1] >= 0.15 * counts[0];
        c.misplaced = c.share < kMisplacedBelow;
        c.mostlyCovered = c.share > kMostlyAbove;
        result.detectors.push_back(std::move(c));
    }
    return result;
}

CoverageResult CheckCoverageInClip(const std::string& path, const std::vector<Quad>& detectors, int width,
                                   int height) {
    CoverageCheck check(detectors, width, height);
    const ClipInfo info = ReadClip(path, [&](const GreyPicture& p) {
        check.Add(p);
        return true;
    });
    return check.Finish(info.fps);
}

} // namespace korvex::vision
