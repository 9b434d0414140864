#include "model/KeyboardEdits.h"

#include "model/DetectorTools.h"
#include "model/PictureCoordinates.h"

namespace korvex {

NudgeOutcome NudgeSelected(Document& document, NudgeBurst& burst, int32_t dx, int32_t dy) {
    const RenderState& current = document.Current();
    const Detector* d = current.SelectedDetector();
    if (!d)
        return NudgeOutcome::NoSelection;

    // The run goes on only while the document still shows, unchanged, the
    // state its last nudge made, on the same detector; anything else (an
    // undo, another edit, a reload) starts a new run and a new undo step.
    bool continuing = burst.made && burst.address == &current && burst.detector == current.selected &&
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

    int32_t selected = current.selected;
    if (continuing) {
        document.Undo();
        if (atStart) {
            // Back where the run began: the undo has taken it back whole.
            burst.End();
            return NudgeOutcome::Moved;
        }
    }
    RenderState next = document.Current();
    next.selected = selected;
    Detector& target = *next.SelectedDetector();
    target.points = moved;
    target.exclusion.FillWhite();
    RenderState& made = document.NewRenderState(std::move(next));
    burst.address = &made;
    burst.made = std::make_unique<RenderState>(made);
    burst.detector = selected;
    burst.total = total;
    burst.start = start;
    return NudgeOutcome::Moved;
}

CornerOutcome SetCornerAt(Document& document, int32_t index, int32_t corner, Point picture) {
    const RenderState& current = document.Current();
    if (index < 0 || size_t(index) >= current.detectors.size())
        return CornerOutcome::NoDetector;
    const Detector& d = current.detectors[size_t(index)];
    if (corner < 0 || corner >= CornerCount(d))
        return CornerOutcome::NoSuchCorner;
    PictureArea area = PictureAreaOf(current);
    if (!area.Contains(picture))
        return CornerOutcome::OutsidePicture;
    Point canvas = ToCanvasPoint(area, picture);
    if (d.points[size_t(corner)] == canvas)
        return CornerOutcome::Unchanged;
    RenderState& next = document.NewRenderState();
    Detector& changed = next.detectors[size_t(index)];
    changed.points[size_t(corner)] = canvas;
    changed.exclusion.FillWhite();
    return CornerOutcome::Set;
}

} // namespace korvex
