#pragma once

// What changed between two versions of a detector program, in the words an
// engineer uses: detectors added, removed, renumbered or moved, their
// properties, exclusion maps and backgrounds, the output formulas and the
// picture size.

#include "model/DetectorNames.h"
#include "model/RenderState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

struct ProjectChange {
    enum class Kind {
        PictureSize,
        DetectorAdded,
        DetectorRemoved,
        DetectorRenumbered,
        DetectorMoved,
        DetectorProperty,
        ExclusionChanged,
        BackgroundChanged,
        OutputChanged,
    };
    Kind kind = Kind::PictureSize;
    // "A1" for a detector (its name in the newer version, or the older one
    // when it was removed), "B" for a camera's background, "Y3", "Z1",
    // "Ac" for an expression row; empty for the picture size.
    std::string subject;
    // The detector's index in the newer state (-1 when removed), in the
    // older one (-1 when added).
    int32_t detector = -1;
    int32_t detectorBefore = -1;
    // The camera card concerned, -1 when none.
    int32_t card = -1;
    // What changed ("delay", "corners", "exclusion", "formula", ...), and
    // its old and new values as text ("" where a side has none).
    std::string field;
    std::string before, after;
    // Pixels changed (exclusion maps and backgrounds), 0 otherwise.
    uint64_t pixels = 0;
    // The whole change as one line of the current language.
    std::string text;
};

// The changes that turn `before` into `after`, detectors in the newer
// state's order, then backgrounds by card, then expression rows. Detectors
// are paired by camera and number first, then a renumbered detector by
// its camera and corners, then by nearest position on its camera.
std::vector<ProjectChange> DiffProjects(const RenderState& before, const RenderState& after);

// The formula of an expression row as an engineer types it: the text the
// composer's field shows, without parentheses around the whole of it
// ("A1 | A2", not "(A1 | A2)").
std::string TypedFormula(const ComposerItem& row);

// A time the project keeps in milliseconds in seconds, as the inspector
// shows it: "2.5 s", "0.0 s", with more decimals only where they are needed
// ("1.25 s"), so two different times never read alike.
std::string SecondsText(uint32_t ms);

// Stable English names of the kinds, for scripts ("detector-added", ...).
const char* ChangeKindName(ProjectChange::Kind kind);

} // namespace korvex
