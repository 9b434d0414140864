#pragma once

#include "image/Bitmap.h"
#include "model/Document.h"

#include <optional>
#include <vector>

namespace korvex {

// The editing requests on a document's detectors and backgrounds. Each one
// either commits exactly one new, complete state (announced to the
// document's subscribers at the next delivery) or changes nothing at all and says why. The view, the
// inspector and the tuning window edit only through these.

enum class EditRefusal {
    None,          // the edit was made
    NoSelection,   // it acts on the selected detector and none is selected
    NoSuchCard,    // the camera card does not exist
    NoSuchCorner,  // the corner is not one the selected detector has
    NoMovement,    // a move or reshape by (0, 0)
    SameValue,     // the detector already has that value
    NothingToUndo, // undo at the oldest state, redo at the newest
    NoSuchItem,    // the composer selection or row names no node
    NotAllowed,    // the composer row does not take that expression
    NotACommand,   // not an operation the composer has (an input number out of range)
};

struct EditResult {
    EditRefusal refusal = EditRefusal::None;
    // The detector the edit added or selected (AddDetector, PasteDetector).
    int32_t index = -1;

    bool Changed() const { return refusal == EditRefusal::None; }
    explicit operator bool() const { return Changed(); }
};

// The main view's settings for the next new detector.
struct DrawingSettings {
    uint32_t card = 0;
    uint32_t divisions = 1;
    uint32_t pen_width = 1;
    uint32_t line = 0;
    int32_t fill = 0;
};

// A new detector on settings.card with the settings' pattern, pen and fill,
// numbered after the card's highest, selected. With `at`, it is moved so
// its bounds start there, then every point is clamped to the camera
// picture.
EditResult AddDetector(Document& document, const DrawingSettings& settings, std::optional<Point> at = {});

// Moves corner `corner` of the selected detector by (dx, dy) canvas pixels,
// clamped to the picture. The detector's exclusion map is cleared, as its
// area changed.
EditResult MoveCorner(Document& document, int32_t corner, int32_t dx, int32_t dy);
// Moves the selected detector by (dx, dy), each corner clamped to the
// picture; its exclusion map is cleared.
EditResult MoveSelected(Document& document, int32_t dx, int32_t dy);
// The same for every detector on the selected detector's card.
EditResult MoveCard(Document& document, int32_t dx, int32_t dy);
// The selected detector points from `start` to `end` (view pixels, see
// AngleOf). A drag without movement still makes its state, the angle
// staying as it was.
EditResult AimSelected(Document& document, Point start, Point end);

// Paints black, in the selected detector's exclusion map, the canvas
// pixels under a 9 x 9 square of view pixels around each of `centres`
// (points of the picture as shown at `zoom`, see PictureToCanvas). One
// press of the eraser is one state, also when it erased nothing new.
EditResult EraseAround(Document& document, const std::vector<Point>& centres, int32_t zoom);
// The same on a detector alone (the view's preview of a stroke under way);
// true when a pixel turned black.
bool EraseAroundOn(Detector& detector, const RenderState& state, Point centre, int32_t zoom);

// A copy of `clip` on `card`, selected. A detector copied from a project
// with another picture size keeps its place as far as the picture allows
// and gets a clean exclusion map of this canvas, so the project stays
// savable.
EditResult PasteDetector(Document& document, const Detector& clip, int32_t card);
EditResult DeleteSelected(Document& document);

// A new background for `card`; a picture narrower than 320 becomes grey.
EditResult SetBackground(Document& document, int32_t card, Bitmap picture);
// New backgrounds for the cards that have one in `pictures` (one state).
EditResult SetBackgrounds(Document& document, std::vector<std::optional<Bitmap>> pictures);

// The selected detector's properties; SameValue when it has the value.
enum class DetectorKind { Plain, Directional, Contrast };
EditResult SetNumber(Document& document, uint32_t number);
EditResult SetDelay(Document& document, uint32_t delay_ms);
EditResult SetExtend(Document& document, uint32_t extend_ms);
EditResult SetAngle(Document& document, uint32_t angle);
EditResult SetThresholds(Document& document, uint32_t feature_threshold, uint32_t threshold);
EditResult SetKind(Document& document, DetectorKind kind);
// The drawing presets: with a detector selected they change it; without
// one they change `settings` for the next new detector and report
// NoSelection (the document did not change).
EditResult ApplyPenWidth(Document& document, DrawingSettings& settings, uint32_t pen_width);
EditResult ApplyFillDivisions(Document& document, DrawingSettings& settings, int32_t fill,
                              uint32_t divisions);

// One step back or forward in the history.
EditResult Undo(Document& document);
EditResult Redo(Document& document);

} // namespace korvex
