#pragma once

// The largest project the file format holds: 8 cameras of 320 x 240, each
// with its own background and 32 detectors (every one with a few erased
// pixels in its exclusion map), 24 Y rows and 64 Z rows whose formulas run
// deep (a left-nested chain of 48 terms over all eight cameras) and the four
// card rows. The same seed gives the same project. Links korvex_composer.

#include "composer/Formula.h"
#include "model/RenderState.h"

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

namespace korvex::test {

// One formula: (((t1 op t2) op t3) ... op t48), terms being detectors of
// every camera, blur and blank conditions and now and then a constant.
inline std::string DeepFormula(std::mt19937& rng, int terms = 48) {
    const char* ops[] = {" & ", " | ", " ^ "};
    auto term = [&rng] {
        const char card = char('A' + rng() % 8);
        switch (rng() % 10) {
        case 0:
            return std::string(1, card) + "blur";
        case 1:
            return std::string(1, card) + "blank";
        default:
            return std::string(1, card) + std::to_string(1 + rng() % 32);
        }
    };
    std::string text = term();
    for (int i = 1; i < terms; ++i)
        text = "(" + text + ops[rng() % 3] + term() + ")";
    return text;
}

inline RenderState LargeProject(uint32_t seed = 33) {
    std::mt19937 rng(seed);
    RenderState s = RenderState::NewProject();
    s.EnsureBackgrounds(8);
    for (uint32_t card = 0; card < 8; ++card) {
        Bitmap& picture = s.backgrounds[card];
        // A road-like picture: a gradient with grain, different per camera.
        for (uint32_t y = 0; y < picture.Height(); ++y) {
            uint8_t* row = picture.Row(y);
            for (uint32_t x = 0; x < picture.Width() * 3; ++x)
                row[x] = uint8_t((x / 3 + y * (card + 1) + rng() % 24) & 0xFF);
        }
    }
    const int32_t fills[] = {0, 0, 20, 50, 100, 75, 5, 0};
    for (uint32_t card = 0; card < 8; ++card)
        for (uint32_t n = 1; n <= 32; ++n) {
            Detector d(rng() % 7, 1 + rng() % 4, rng() % 8 == 0 ? 1 : 0, card, n, s.CanvasWidth(),
                       s.CanvasHeight());
            const int32_t x = int32_t(rng() % 250), y = int32_t(rng() % 170);
            const int32_t w = 12 + int32_t(rng() % 50), h = 12 + int32_t(rng() % 50);
            d.points = {{{x, y}, {x + w, y + int32_t(rng() % 8)}, {x + w - 3, y + h}, {x + 2, y + h - 4}}};
            d.fill = fills[rng() % 8];
            d.directional = rng() % 4 == 0;
            d.angle = rng() % 360;
            d.delay = 100 * (rng() % 20);
            for (int k = 0; k < 24; ++k)
                d.exclusion.PaintBlack(uint32_t(x) + rng() % 40, uint32_t(y) + rng() % 40);
            s.detectors.push_back(std::move(d));
        }
    for (auto* list : {&s.composer_y, &s.composer_z, &s.composer_a})
        for (ComposerItem& row : *list) {
            FormulaError error;
            std::optional<ComposerItem> item = ParseFormula(DeepFormula(rng), &error);
            if (!item)
                throw std::logic_error("LargeProject: a formula did not parse");
            row = std::move(*item);
        }
    return s;
}

} // namespace korvex::test
