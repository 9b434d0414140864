#pragma once

// The simulator's camera scenes: each camera shows the background picture
// of the matching card of a project, with traffic moving over it (see
// SceneTraffic.h), the light of the day and a little sensor noise. Scenes
// are drawn at 320 x 240 in colour and then turned into what the camera
// sends (grey 320 x 240 or 180 x 144, 16-bit colour, H.264 luma).

#include "devsim/SceneTraffic.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {
struct RenderState;
}

namespace korvex::devsim {

// A drawn picture: 320 x 240, three bytes per pixel in the order red,
// green, blue, rows top down.
struct ScenePicture {
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    std::vector<uint8_t> rgb = std::vector<uint8_t>(size_t(kWidth) * kHeight * 3);

    uint8_t Grey(int x, int y) const {
        const uint8_t* p = rgb.data() + (size_t(y) * kWidth + size_t(x)) * 3;
        return uint8_t((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8);
    }
};

// A detector of a card, as the scene sees it: the scene pixels of its
// area (indices y * 320 + x).
struct SceneDetector {
    uint32_t number = 1;
    bool line = false;
    std::vector<uint32_t> pixels;
};

// One card's scene.
struct SceneCard {
    SceneLayout layout;
    ScenePicture background;
    std::vector<SceneDetector> detectors;
    // Pixels on the background's sharp edges (indices y * 320 + x, away
    // from the border): what the camera check lines up.
    std::vector<uint32_t> edges;
};

// How far a camera's picture is moved, in scene pixels (a knocked camera).
struct PictureShift {
    int dx = 0, dy = 0;
    bool operator==(const PictureShift&) const = default;
};

class SceneSet {
public:
    // Scenes for the cards of `state` (its backgrounds and detectors).
    SceneSet(const RenderState& state, uint32_t seed);
    // Reads the project file; throws std::runtime_error naming the file
    // when it cannot be read.
    static SceneSet FromProject(const std::string& path, uint32_t seed);

    size_t CardCount() const { return cards.size(); }
    const SceneCard& Card(size_t card) const { return cards.at(card); }
    uint32_t Seed() const { return seed; }

    // Draws card `card` at scene time `t_ms`.
    void Render(size_t card, int64_t t_ms, ScenePicture& out) const;
    // The card's empty picture at that time: the background in the light of
    // the moment, without traffic or noise.
    void RenderEmpty(size_t card, int64_t t_ms, ScenePicture& out) const;

private:
    uint32_t seed;
    std::vector<SceneCard> cards;
};

// The picture as a camera sends it, moved by `shift` (scene pixels; the
// edges repeat).
// Grey: width x height bytes (320 x 240 or 180 x 144, scaled down).
std::vector<uint8_t> SceneGrey(const ScenePicture& picture, int width, int height, PictureShift shift = {});
// 16-bit colour: 320 x 240 values red 5, green 6, blue 5 bits.
std::vector<uint16_t> SceneColour565(const ScenePicture& picture, PictureShift shift = {});
// H.264 luma plane of `frameWidth` x `frameHeight` with the picture in its
// centre, in the studio range; black around it.
std::vector<uint8_t> SceneLuma(const ScenePicture& picture, int frameWidth, int frameHeight,
                               PictureShift shift = {});

} // namespace korvex::devsim
