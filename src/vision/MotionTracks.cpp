#include "vision/MotionTracks.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace korvex::vision {

namespace {
// Blobs smaller than this (work pixels) are noise or vehicles too far away
// to follow.
constexpr int kMinBlobArea = 5;
// A track that has not been seen for this many pictures has ended.
constexpr int kMaxMissed = 2;
} // namespace

MotionTracker::MotionTracker() {
    // A long history so that vehicles passing do not become background,
    // no shadow search (it costs and there is no colour), three modes.
    model = cv::createBackgroundSubtractorMOG2(300, 16.0, false);
    model->setNMixtures(3);
    kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
}

void MotionTracker::Add(const GreyPicture& picture) {
    if (frame == 0) {
        width = picture.width;
        height = picture.height;
        scale = width >= 256 ? 2 : 1;
    } else if (picture.width != width || picture.height != height) {
        throw std::invalid_argument("pictures of one clip must have one size");
    }
    const cv::Mat full(height, width, CV_8UC1, const_cast<uint8_t*>(picture.pixels.data()));
    if (scale > 1)
        cv::resize(full, small, cv::Size(width / scale, height / scale), 0, 0, cv::INTER_AREA);
    else
        full.copyTo(small);
    model->apply(small, mask);
    ++frame;
    // Specks of noise go, the parts of one vehicle join.
    cv::morphologyEx(mask, moving, cv::MORPH_OPEN, kernel);
    cv::morphologyEx(moving, moving, cv::MORPH_CLOSE, kernel, cv::Point(-1, -1), 2);
    const int count = cv::connectedComponentsWithStats(moving, labels, stats, centroids, 8, CV_32S);
    trackOfLabel.assign(size_t(std::max(count, 1)), -1);
    if (!Settled())
        return;
    if (cv::countNonZero(moving) * 3 > moving.rows * moving.cols)
        ++wholeMoving;
    std::vector<Sighting> blobs;
    for (int i = 1; i < count; ++i) {
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        if (area < kMinBlobArea)
            continue;
        Sighting s;
        s.frame = frame;
        s.x = (centroids.at<double>(i, 0) + 0.5) * scale - 0.5;
        s.y = (centroids.at<double>(i, 1) + 0.5) * scale - 0.5;
        s.width = stats.at<int>(i, cv::CC_STAT_WIDTH) * scale;
        s.height = stats.at<int>(i, cv::CC_STAT_HEIGHT) * scale;
        s.area = area * scale * scale;
        blobs.push_back(s);
        // Remember the label in the spare field until linking.
        blobs.back().frame = i;
    }
    Link(blobs);
}

void MotionTracker::Link(const std::vector<Sighting>& blobs) {
    struct Pair {
        double d;
        size_t track, blob;
    };
    std::vector<Pair> pairs;
    for (size_t t = 0; t < open.size(); ++t) {
        const Sighting& last = open[t].track.sightings.back();
        const double px = last.x + open[t].vx * (open[t].missed + 1);
        const double py = last.y + open[t].vy * (open[t].missed + 1);
        for (size_t b = 0; b < blobs.size(); ++b) {
            // Vehicles keep to their lane: a narrow gate across, a wide one
            // along the way.
            const double across = 4 + 0.4 * std::max(blobs[b].width, last.width);
            const double along =
                8 + 0.8 * std::max({blobs[b].width, blobs[b].height, last.width, last.height});
            const double d = std::hypot((blobs[b].x - px) / across, (blobs[b].y - py) / along);
            if (d < 1)
                pairs.push_back({d, t, b});
        }
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.d < b.d; });
    std::vector<char> trackTaken(open.size(), 0), blobTaken(blobs.size(), 0);
    for (const Pair& p : pairs) {
        if (trackTaken[p.track] || blobTaken[p.blob])
            continue;
        trackTaken[p.track] = blobTaken[p.blob] = 1;
        Open& o = open[p.track];
        Sighting s = blobs[p.blob];
        const int label = s.frame;
        s.frame = frame;
        const Sighting& last = o.track.sightings.back();
        const double steps = double(s.frame - last.frame);
        const double vx = (s.x - last.x) / steps, vy = (s.y - last.y) / steps;
        const bool first = o.track.sightings.size() == 1;
        o.vx = first ? vx : 0.5 * o.vx + 0.5 * vx;
        o.vy = first ? vy : 0.5 * o.vy + 0.5 * vy;
        o.missed = 0;
        o.track.sightings.push_back(s);
        trackOfLabel[size_t(label)] = o.track.id;
    }
    for (size_t t = 0; t < open.size(); ++t)
        if (!trackTaken[t])
            ++open[t].missed;
    for (size_t b = 0; b < blobs.size(); ++b) {
        if (blobTaken[b])
            continue;
        Open o;
        o.track.id = nextId++;
        Sighting s = blobs[b];
        trackOfLabel[size_t(s.frame)] = o.track.id;
        s.frame = frame;
        o.track.sightings.push_back(s);
        open.push_back(std::move(o));
    }
    auto ended =
        std::stable_partition(open.begin(), open.end(), [](const Open& o) { return o.missed <= kMaxMissed; });
    for (auto it = ended; it != open.end(); ++it)
        done.push_back(std::move(it->track));
    open.erase(ended, open.end());
}

std::vector<Track> MotionTracker::Finish(size_t minSightings) {
    for (Open& o : open)
        done.push_back(std::move(o.track));
    open.clear();
    std::vector<Track> kept;
    for (Track& t : done)
        if (t.sightings.size() >= minSightings)
            kept.push_back(std::move(t));
    done.clear();
    std::sort(kept.begin(), kept.end(), [](const Track& a, const Track& b) { return a.id < b.id; });
    return kept;
}

} // namespace korvex::vision
