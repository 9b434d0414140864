#pragma once

#include "model/Document.h"

#include <cstdint>
#include <vector>

namespace korvex {

// Copying every detector of one camera card to another, for a site whose
// cameras look at the same scene or share a layout.

enum class CopyRefusal {
    None,
    SameCard,      // source and target are the same card
    NoSuchCard,    // the target card is not one of the project's cameras
    NothingToCopy, // the source card has no detectors
};

struct Renumbered {
    uint32_t from = 0; // number on the source card
    uint32_t to = 0;   // number the copy got
    bool operator==(const Renumbered&) const = default;
};

struct CopyOutcome {
    bool changed = false;
    CopyRefusal refusal = CopyRefusal::None;
    size_t copied = 0;
    std::vector<Renumbered> renumbered; // copies that could not keep their number
};

// Appends a copy of every detector of card `from` (in their order, with
// points, parameters and exclusion maps) to card `to`, as one undo step.
// Each copy keeps its number when no detector of the target card (nor an
// earlier copy) has it; otherwise it takes the next free number counting up
// from its own within 1..32, then from 1; only when 1..32 are all taken does
// it get one more than the largest number there. The selection is kept.
CopyOutcome CopyDetectorsToCard(Document& document, uint32_t from, uint32_t to);

} // namespace korvex
