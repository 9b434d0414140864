#pragma once

// What one live connection does with the scenes: draws each camera's
// picture, measures every detector of the camera on it for the tuning
// traces, and checks whether the camera has been knocked out of place.

#include "devsim/SceneRenderer.h"

#include <array>
#include <cstdint>
#include <vector>

namespace korvex::devsim {

class SceneStream {
public:
    // How many pictures a trace covers (a minute at 10 pictures a second).
    static constexpr size_t kTraceWindow = 600;
    // A detector pixel counts as covered when its grey value differs from
    // the empty scene by more than this (well above the sensor noise).
    static constexpr int kCoveredDifference = 22;

    explicit SceneStream(const SceneSet& scenes);

    bool HasScene(unsigned camera) const { return camera < scenes.CardCount(); }

    // Draws camera `camera` at scene time `t_ms`, as it looks moved by
    // `shift`, and adds the picture to the camera's traces and camera
    // check. The picture stays valid until the next call.
    const ScenePicture& Draw(unsigned camera, int64_t t_ms, PictureShift shift);

    // The 250 values of the trace of the camera's detector with number
    // `detector` + 1: how many of the last pictures had each share of the
    // detector covered (bin i: share 4i to 4i + 3 per thousand), so the
    // cumulative curve's x axis is the feature threshold. Empty when the
    // camera has no such detector.
    std::vector<uint16_t> Trace(unsigned camera, unsigned detector) const;

    // The share (per thousand) of the detector covered in `picture`, as
    // the traces count it. `light` is the scene's brightness then.
    static unsigned CoveredShare(const SceneCard& card, const SceneDetector& detector,
                                 const ScenePicture& picture, float light, PictureShift shift);

    // The camera check's last finding: the picture no longer lines up with
    // the card's picture (the camera was moved).
    bool Moved(unsigned camera) const { return camera < moved.size() && moved[camera]; }
    // The check itself: the offset (in scene pixels, within +-6) at which
    // `picture` lines up best with the card's empty picture.
    static PictureShift BestAlignment(const SceneCard& card, const ScenePicture& picture, float light);

private:
    struct History {
        std::vector<uint8_t> bins; // ring of the last kTraceWindow bins
        size_t next = 0;
        std::array<uint16_t, 250> counts{};
    };

    const SceneSet& scenes;
    ScenePicture picture;
    std::vector<std::vector<History>> histories; // per card, per detector
    std::array<bool, 8> moved{};
    std::array<unsigned, 8> drawn{};
};

} // namespace korvex::devsim
