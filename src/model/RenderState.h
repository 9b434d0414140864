#pragma once

#include "image/Bitmap.h"
#include "model/ComposerItem.h"
#include "model/Detector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// One version of the detector program.
struct RenderState {
    std::vector<Bitmap> backgrounds; // one per camera card, at most 8
    std::vector<Detector> detectors;
    uint32_t width = 180;
    uint32_t height = 144;
    std::vector<ComposerItem> composer_a; // one row per card (Ac, Bc, ...)
    std::vector<ComposerItem> composer_y; // outputs Y1, Y2, ...
    std::vector<ComposerItem> composer_z; // Z1..Z64

    enum : uint32_t { GroupY = 4, GroupZ = 8, GroupA = 13 };

    // The loading constructor: 180 x 144, nothing else; a parser fills it.
    RenderState() = default;

    // The state of a new project: 320 x 240, four white backgrounds,
    // 24 Y rows, 4 card rows, 64 empty Z rows.
    static RenderState NewProject();

    // max(240, width): the canvas that backgrounds and exclusion maps use.
    uint32_t CanvasWidth() const { return width > 240 ? width : 240; }
    uint32_t CanvasHeight() const { return height; }

    // Grows (white canvas-size pictures) or shrinks the background list.
    void EnsureBackgrounds(size_t count);

    // The detector at `index`, or none (a negative index or one past the
    // list).
    Detector* DetectorAt(int32_t index);
    const Detector* DetectorAt(int32_t index) const;

    // The list named by the first character of a composer path (see
    // Selection).
    std::vector<ComposerItem>& ComposerList(const std::string& path);
    // The row item a composer path names (its first two characters); none
    // when the path is empty or names no row.
    ComposerItem* ComposerRowItem(const std::string& path);
    // 4 for "Y", 8 for "Z", 13 otherwise.
    static uint32_t ComposerGroup(const std::string& path);

    bool operator==(const RenderState& other) const;
};

} // namespace korvex
