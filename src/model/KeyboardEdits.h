#pragma once

#include "model/Document.h"

#include <array>
#include <cstdint>
#include <memory>

namespace korvex {

// Edits made from the keyboard rather than the mouse: nudging the selected
// detector with the arrow keys and typing a corner's picture coordinates.

enum class NudgeOutcome {
    Moved,       // one new state, the run's state replaced, or the run undone at its start
    NoSelection, // no detector is selected
    AtEdge,      // no corner can go further that way; nothing changed
};

// A run of nudges on one detector that is kept as one undo step. The view
// keeps one and ends it when anything else happens (another key, a click, a
// command); the nudge also checks on its own that the document still holds
// exactly the state the last nudge of the run made.
class NudgeBurst {
public:
    void End() {
        made.reset();
        detector = -1;
    }
    bool Active() const { return made != nullptr; }

private:
    friend NudgeOutcome NudgeSelected(Document&, NudgeBurst&, int32_t, int32_t);
    const RenderState* address = nullptr; // where that state lives in the history
    std::unique_ptr<RenderState> made;    // a copy of the state the last nudge made
    int32_t detector = -1;
    Point total;                  // the run's offset so far
    std::array<Point, 4> start{}; // the corners before the run
};

// Moves the selected detector by (dx, dy) canvas pixels. A run of nudges is
// one move by the sum of its steps from where the run began, each corner
// clamped to the picture on its own exactly as a mouse move is: a corner
// held at an edge keeps its place and comes back into shape when the run
// turns round. The exclusion map is reset as a move does. The first nudge
// adds one undo step, the following ones replace it, so undo takes the
// whole run back at once; a run that comes back to its start is undone (it
// stays in the redo part). A step that would move no corner changes nothing.
NudgeOutcome NudgeSelected(Document& document, NudgeBurst& burst, int32_t dx, int32_t dy);

enum class CornerOutcome {
    Set,
    NoDetector,     // no detector is selected
    NoSuchCorner,   // corner outside 0..3 (0..1 for a line)
    OutsidePicture, // the point lies outside the camera picture
    Unchanged,      // the corner is already there
};

// Puts corner `corner` of the selected detector at picture coordinates
// `picture` (for a 180-wide project, columns 0..179) as one undo step, made
// as a corner drag makes it (the exclusion map is reset). A point outside
// the picture is refused and nothing changes.
CornerOutcome SetCornerAt(Document& document, int32_t corner, Point picture);

} // namespace korvex
