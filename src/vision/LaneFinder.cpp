#include "vision/LaneFinder.h"

#include "vision/ClipReader.h"
#include "vision/LaneModel.h"
#include "vision/MotionTracks.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace korvex::vision {

struct LaneFinder::Impl {
    MotionTracker tracker;
    std::map<int, int> laneOfTrack;
};

LaneFinder::LaneFinder() : impl(std::make_unique<Impl>()) {}
LaneFinder::~LaneFinder() = default;

void LaneFinder::Add(const GreyPicture& picture) {
    impl->tracker.Add(picture);
}

const MotionTracker& LaneFinder::Tracker() const {
    return impl->tracker;
}

int LaneFinder::LaneOfTrack(int trackId) const {
    const auto it = impl->laneOfTrack.find(trackId);
    return it == impl->laneOfTrack.end() ? -1 : it->second;
}

LaneResult LaneFinder::Finish(double fps) {
    LaneResult result;
    result.fps = fps > 0 ? fps : 10;
    const MotionTracker& t = impl->tracker;
    result.frames = t.Frames();
    const std::vector<Track> tracks = impl->tracker.Finish(4);
    if (t.Frames() < result.fps * kMinSeconds) {
        result.failure = Failure::TooShort;
        return result;
    }
    if (t.WholeSceneMoving() * 4 > t.SettledFrames()) {
        result.failure = Failure::CameraMoving;
        return result;
    }
    const LaneModel model = LanesFromTracks(tracks, t.Height());
    for (size_t i = 0; i < tracks.size(); ++i)
        if (model.laneOfTrack[i] >= 0)
            impl->laneOfTrack[tracks[i].id] = model.laneOfTrack[i];
    result.lanes = model.lanes;
    if (result.lanes.empty())
        result.failure = Failure::NoMotion;
    return result;
}

LaneResult FindLanesInClip(const std::string& path, ClipInfo* info) {
    LaneFinder finder;
    const ClipInfo read = ReadClip(path, [&](const GreyPicture& p) {
        finder.Add(p);
        return true;
    });
    if (info)
        *info = read;
    return finder.Finish(read.fps);
}

namespace {

struct Rows {
    double top, bottom;
};

double BandCentre(Band band) {
    switch (band) {
    case Band::Near:
        return 0.8;
    case Band::Mid:
        return 0.5;
    case Band::Far:
        return 0.2;
    }
    return 0.8;
}

} // namespace

std::vector<Proposal> ProposeDetectors(const std::vector<Lane>& lanes, Band band, int width, int height) {
    std::vector<Proposal> out;
    if (lanes.empty())
        return out;
    // One row band for all lanes, as a stop line would be, when they share
    // enough rows; otherwise each lane's own rows.
    Rows shared{0, double(height - 1)};
    for (const Lane& l : lanes)
        shared = {std::max(shared.top, l.top), std::min(shared.bottom, l.bottom)};
    const bool common = shared.bottom - shared.top >= 16;
    for (size_t i = 0; i < lanes.size(); ++i) {
        const Lane& l = lanes[i];
        const Rows rows = common ? shared : Rows{l.top, l.bottom};
        const double span = rows.bottom - rows.top;
        const double tall = std::clamp(0.12 * span, 6.0, 30.0);
        const double centre = rows.top + BandCentre(band) * span;
        const int y0 = int(std::ceil(std::max(rows.top, centre - tall / 2)));
        const int y1 = int(std::floor(std::min(rows.bottom, centre + tall / 2)));
        if (y1 - y0 < 2)
            continue;
        // Kept in from the lane's sides by an eighth of its width each way.
        auto across = [&](int y) {
            const double inset = (l.RightAt(y) - l.LeftAt(y)) / 8;
            const int left = std::clamp(int(std::ceil(l.LeftAt(y) + inset)), 0, width - 1);
            const int right = std::clamp(int(std::floor(l.RightAt(y) - inset)), 0, width - 1);
            return std::pair{left, right};
        };
        const auto [l0, r0] = across(y0);
        const auto [l1, r1] = across(y1);
        if (r0 - l0 < 2 || r1 - l1 < 2)
            continue;
        Proposal p;
        p.lane = int(i);
        p.points = {{{l0, y0}, {r0, y0}, {r1, y1}, {l1, y1}}};
        out.push_back(p);
    }
    return out;
}

} // namespace korvex::vision
