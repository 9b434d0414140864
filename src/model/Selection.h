#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// What the user has chosen in the views: a detector of the main view and a
// node of the composer. It lives beside the undo history, not in it:
// choosing is not an edit, and a state never changes once it is pushed.
struct Selection {
    // Index into the current state's detectors; -1 = none.
    int32_t detector = -1;
    // The composer path: first character "Y" names composer_y, "Z"
    // composer_z, anything else composer_a; the second the row ("0" = 0 for
    // Y and Z, "a" = 0 for the card rows); then A/B steps down the tree and
    // a closing "X". Empty = nothing chosen.
    std::string composer;

    bool operator==(const Selection&) const = default;
};

} // namespace korvex
