#pragma once

#include "model/Document.h"
#include "model/RenderState.h"

#include <cstdint>
#include <vector>

namespace korvex {

// Moving a project from one camera picture size to the other (180 x 144 and
// 320 x 240), so that a site whose cameras are replaced keeps its detectors.

// The Y outputs (numbers 9..24) that carry an expression other than the
// constant 1; a device with a picture `width` wide other than 320 has only
// Y1..Y8, so converting to it would drop them.
std::vector<uint32_t> OutputsLostAt(const RenderState& state, uint32_t width);

// A canvas point of `from` on the canvas of a `width` x `height` state: the
// picture coordinates are scaled by the ratio of the picture sizes, rounded
// half away from zero, kept inside the new picture and placed on the new
// canvas (columns 30..209 for a 180-wide picture).
Point ConvertPoint(const RenderState& from, Point canvas, uint32_t width, uint32_t height);

// A copy of `state` at the new size: every detector's corners converted,
// exclusion maps resampled by nearest neighbour onto the new canvas,
// backgrounds resampled the same way (and turned grey for a 180-wide
// picture, as a loaded one is), the Y list sized 24 for 320 wide and 8
// otherwise (new rows hold the constant 1). A composer selection naming a
// Y row that no longer exists is cleared.
RenderState ConvertedState(const RenderState& state, uint32_t width, uint32_t height);

enum class ConvertRefusal {
    None,
    UnsupportedSize, // the target is neither 180 x 144 nor 320 x 240
    SameSize,        // the project already has that size
    OutputsInUse,    // Y9..Y24 carry expressions and dropping them was not allowed
};

struct ConvertOutcome {
    bool changed = false;
    ConvertRefusal refusal = ConvertRefusal::None;
    std::vector<uint32_t> outputsInUse; // with OutputsInUse: the Y numbers
};

// Converts the current state as one undo step, or changes nothing and says
// why. `dropOutputs` allows losing the Y outputs OutputsLostAt names.
ConvertOutcome ConvertProject(Document& document, uint32_t width, uint32_t height, bool dropOutputs);

} // namespace korvex
