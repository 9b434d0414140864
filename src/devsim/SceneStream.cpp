#include "devsim/SceneStream.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace korvex::devsim {

namespace {

constexpr int W = ScenePicture::kWidth;
constexpr int H = ScenePicture::kHeight;
constexpr int kEdgeTolerance = 12;   // grey levels an edge pixel may differ by
constexpr int kReach = 6;            // the camera check looks this far each way
constexpr unsigned kCheckEvery = 10; // pictures between two camera checks

int EmptyGrey(const SceneCard& card, int x, int y, float light) {
    return int(float(card.background.Grey(x, y)) * light);
}

} // namespace

SceneStream::SceneStream(const SceneSet& scenes) : scenes(scenes) {
    histories.resize(scenes.CardCount());
    for (size_t c = 0; c < scenes.CardCount(); ++c)
        histories[c].resize(scenes.Card(c).detectors.size());
}

unsigned SceneStream::CoveredShare(const SceneCard& card, const SceneDetector& detector,
                                   const ScenePicture& picture, float light, PictureShift shift) {
    if (detector.pixels.empty())
        return 0;
    size_t covered = 0;
    for (uint32_t index : detector.pixels) {
        const int x = int(index % W), y = int(index / W);
        const int sx = std::clamp(x - shift.dx, 0, W - 1), sy = std::clamp(y - shift.dy, 0, H - 1);
        if (std::abs(int(picture.Grey(sx, sy)) - EmptyGrey(card, x, y, light)) > kCoveredDifference)
            ++covered;
    }
    return unsigned(covered * 1000 / detector.pixels.size());
}

PictureShift SceneStream::BestAlignment(const SceneCard& card, const ScenePicture& picture, float light) {
    // How many of the background's edge pixels the picture matches at each
    // offset: traffic hides about as many at every offset, so it cannot
    // pull the answer away from where the edges line up.
    auto matches = [&](int dx, int dy) {
        unsigned n = 0;
        for (uint32_t index : card.edges) {
            const int x = int(index % W), y = int(index / W);
            n += std::abs(int(picture.Grey(x + dx, y + dy)) - EmptyGrey(card, x, y, light)) <= kEdgeTolerance;
        }
        return n;
    };
    const unsigned still = matches(0, 0);
    PictureShift best;
    unsigned bestCount = still;
    for (int dy = -kReach; dy <= kReach; ++dy)
        for (int dx = -kReach; dx <= kReach; ++dx) {
            const unsigned n = matches(dx, dy);
            const int size = std::abs(dx) + std::abs(dy), bestSize = std::abs(best.dx) + std::abs(best.dy);
            if (n > bestCount || (n == bestCount && size < bestSize)) {
                bestCount = n;
                best = {dx, dy};
            }
        }
    // A still camera is not called moved for a handful of pixels.
    if (bestCount <= still + still / 8 + 8)
        return {};
    return best;
}

const ScenePicture& SceneStream::Draw(unsigned camera, int64_t t_ms, PictureShift shift) {
    scenes.Render(camera, t_ms, picture);
    const SceneCard& card = scenes.Card(camera);
    const float light = DaylightAt(t_ms);
    // What the camera sees is the moved picture: measure that.
    ScenePicture seen;
    const ScenePicture* measured = &picture;
    if (shift.dx || shift.dy) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int sx = std::clamp(x - shift.dx, 0, W - 1), sy = std::clamp(y - shift.dy, 0, H - 1);
                std::copy_n(picture.rgb.data() + (size_t(sy) * W + size_t(sx)) * 3, 3,
                            seen.rgb.data() + (size_t(y) * W + size_t(x)) * 3);
            }
        measured = &seen;
    }
    std::vector<History>& cardHistory = histories[camera];
    for (size_t d = 0; d < card.detectors.size(); ++d) {
        const unsigned share = CoveredShare(card, card.detectors[d], *measured, light, {});
        const uint8_t bin = uint8_t(std::min(249u, share / 4));
        History& h = cardHistory[d];
        if (h.bins.size() < kTraceWindow) {
            h.bins.push_back(bin);
        } else {
            --h.counts[h.bins[h.next]];
            h.bins[h.next] = bin;
            h.next = (h.next + 1) % kTraceWindow;
        }
        ++h.counts[bin];
    }
    if (camera < moved.size() && drawn[camera]++ % kCheckEvery == 0)
        moved[camera] = !(BestAlignment(card, *measured, light) == PictureShift{});
    return picture;
}

std::vector<uint16_t> SceneStream::Trace(unsigned camera, unsigned detector) const {
    if (camera >= scenes.CardCount())
        return {};
    const SceneCard& card = scenes.Card(camera);
    for (size_t d = 0; d < card.detectors.size(); ++d)
        if (card.detectors[d].number == detector + 1) {
            const auto& counts = histories[camera][d].counts;
            return std::vector<uint16_t>(counts.begin(), counts.end());
        }
    return {};
}

} // namespace korvex::devsim
