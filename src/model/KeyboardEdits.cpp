#include "model/KeyboardEdits.h"

#include "model/DetectorEdits.h"
#include "model/DetectorGeometry.h"
#include "model/PictureCoordinates.h"

namespace korvex {

NudgeOutcome NudgeSelected(Document& document, NudgeBurst& burst, int32_t dx, int32_t dy) {
    const RenderState& current = document.Current();
    const Detector* d = document.SelectedDetector();
    if (!d)
        return NudgeOutcome::NoSelection;

    // The run goes on only while the document still shows, unchanged, the
    // state its last nudge made, on the same detector; anything else (an
    // undo, another edit, a reload) starts a new run and a new undo step.
    bool continuing = burst.made && burst.address == &current && burst.detector == document.SelectedIndex() &&
                      document.CanUndo() && *burst.made == current;
    Point total{dx, dy};
    std::array<Point, 4> start = d->points;
    if (continuing) {
        total = {burst.total.x + dx, burst.total.y + dy};
        start = burst.start;
    }
    std::array<Point, 4> moved = start;
    bool changes = false, atStart = true;
    for (int k = 0; k < 4; ++k) {
        Point p = start[size_t(k)];
        moved[size_t(k)] = ClampToPicture(current, {p.x + total.x, p.y + total.y});
        if (k < CornerCount(*d)) {
            changes = changes || moved[size_t(k)] != d->points[size_t(k)];
            atStart = atStart && moved[size_t(k)] == p;
        }
    }
    if (!changes)
        return NudgeOutcome::AtEdge;

    int32_t selected = document.SelectedIndex();
    if (continuing) {
        Undo(document);
        if (atStart) {
            // Back where the run began: the undo has taken it back whole.
            burst.End();
            return NudgeOutcome::Moved;
        }
    }
    // From the state before the run, one move by the run's whole offset.
    if (!MoveSelected(document, total.x, total.y)) {
        burst.End();
        return NudgeOutcome::AtEdge;
    }
    const RenderState& made = document.Current();
    burst.address = &made;
    burst.made = std::make_unique<RenderState>(made);
    burst.detector = selected;
    burst.total = total;
    burst.start = start;
    return NudgeOutcome::Moved;
}

CornerOutcome SetCornerAt(Document& document, int32_t corner, Point picture) {
    const RenderState& current = document.Current();
    const Detector* d = document.SelectedDetector();
    if (!d)
        return CornerOutcome::NoDetector;
    if (corner < 0 || corner >= CornerCount(*d))
        return CornerOutcome::NoSuchCorner;
    PictureArea area = PictureAreaOf(current);
    if (!area.Contains(picture))
        return CornerOutcome::OutsidePicture;
    Point canvas = ToCanvasPoint(area, picture);
    Point now = d->points[size_t(corner)];
    if (now == canvas)
        return CornerOutcome::Unchanged;
    // A point inside the picture is where the clamped move puts it.
    return MoveCorner(document, corner, canvas.x - now.x, canvas.y - now.y) ? CornerOutcome::Set
                                                                            : CornerOutcome::Unchanged;
}

} // namespace korvex
