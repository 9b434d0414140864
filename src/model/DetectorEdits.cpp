#include "model/DetectorEdits.h"

#include "model/DetectorGeometry.h"

#include <utility>

namespace korvex {

namespace {

EditResult Refused(EditRefusal why) {
    return {why, -1};
}

// Puts a complete new state on the history with `selected` as the chosen
// detector; the document announces it once the state is in place.
EditResult Commit(Document& document, RenderState next, int32_t selected) {
    document.NewRenderState(std::move(next), Selection{selected, document.ComposerPath()});
    return {EditRefusal::None, selected};
}

EditResult Commit(Document& document, RenderState next) {
    return Commit(document, std::move(next), document.SelectedIndex());
}

bool CardExists(const RenderState& state, int32_t card) {
    return card >= 0 && static_cast<size_t>(card) < state.backgrounds.size();
}

// Changes a copy of the selected detector; `change` returns why it refuses
// (None to go ahead). Only an accepted change copies the state.
template <typename Change> EditResult EditSelected(Document& document, Change change) {
    const Detector* selected = document.SelectedDetector();
    if (!selected)
        return Refused(EditRefusal::NoSelection);
    Detector probe = *selected;
    EditRefusal why = change(probe, document.Current());
    if (why != EditRefusal::None)
        return Refused(why);
    RenderState next = document.Current();
    *next.DetectorAt(document.SelectedIndex()) = std::move(probe);
    return Commit(document, std::move(next));
}

// Moves every corner by (dx, dy), clamped, and clears the exclusion map.
void Shift(Detector& d, const RenderState& state, int32_t dx, int32_t dy) {
    for (Point& c : d.points)
        c = ClampToPicture(state, {c.x + dx, c.y + dy});
    d.exclusion = Bitmap::White(d.exclusion.Width(), d.exclusion.Height());
}

template <typename T> EditResult SetField(Document& document, T Detector::*field, T value) {
    return EditSelected(document, [field, value](Detector& d, const RenderState&) {
        if (d.*field == value)
            return EditRefusal::SameValue;
        d.*field = value;
        return EditRefusal::None;
    });
}

} // namespace

EditResult AddDetector(Document& document, const DrawingSettings& settings, std::optional<Point> at) {
    const RenderState& current = document.Current();
    if (!CardExists(current, static_cast<int32_t>(settings.card)))
        return Refused(EditRefusal::NoSuchCard);
    RenderState next = current;
    Detector d(settings.divisions, settings.pen_width, settings.line, settings.card,
               NextDetectorNumber(next, settings.card), next.CanvasWidth(), next.CanvasHeight());
    d.fill = settings.fill;
    if (at) {
        Rect b = d.Bounds();
        int32_t dx = at->x - b.left, dy = at->y - b.top;
        for (Point& p : d.points)
            p = ClampToPicture(next, {p.x + dx, p.y + dy});
    }
    next.detectors.push_back(std::move(d));
    const auto added = static_cast<int32_t>(next.detectors.size()) - 1;
    return Commit(document, std::move(next), added);
}

EditResult MoveCorner(Document& document, int32_t corner, int32_t dx, int32_t dy) {
    return EditSelected(document, [corner, dx, dy](Detector& d, const RenderState& state) {
        if (corner < 0 || corner >= (d.IsLine() ? 2 : 4))
            return EditRefusal::NoSuchCorner;
        if (dx == 0 && dy == 0)
            return EditRefusal::NoMovement;
        Point& c = d.points[static_cast<size_t>(corner)];
        c = ClampToPicture(state, {c.x + dx, c.y + dy});
        d.exclusion = Bitmap::White(d.exclusion.Width(), d.exclusion.Height());
        return EditRefusal::None;
    });
}

EditResult MoveSelected(Document& document, int32_t dx, int32_t dy) {
    return EditSelected(document, [dx, dy](Detector& d, const RenderState& state) {
        if (dx == 0 && dy == 0)
            return EditRefusal::NoMovement;
        Shift(d, state, dx, dy);
        return EditRefusal::None;
    });
}

EditResult MoveCard(Document& document, int32_t dx, int32_t dy) {
    const Detector* selected = document.SelectedDetector();
    if (!selected)
        return Refused(EditRefusal::NoSelection);
    if (dx == 0 && dy == 0)
        return Refused(EditRefusal::NoMovement);
    RenderState next = document.Current();
    const uint32_t card = selected->card;
    for (Detector& d : next.detectors)
        if (d.card == card)
            Shift(d, next, dx, dy);
    return Commit(document, std::move(next));
}

EditResult AimSelected(Document& document, Point start, Point end) {
    return EditSelected(document, [start, end](Detector& d, const RenderState&) {
        d.angle = AngleOf(start, end, d.angle);
        return EditRefusal::None;
    });
}

bool EraseAroundOn(Detector& d, const RenderState& state, Point centre, int32_t zoom) {
    bool changed = false;
    for (int32_t dy = -4; dy <= 4; ++dy) {
        for (int32_t dx = -4; dx <= 4; ++dx) {
            Point p = PictureToCanvas(state, centre.x + dx, centre.y + dy, zoom);
            if (p.x < 0 || p.y < 0 || static_cast<uint32_t>(p.x) >= d.exclusion.Width() ||
                static_cast<uint32_t>(p.y) >= d.exclusion.Height())
                continue;
            changed |= d.exclusion.PaintBlack(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y));
        }
    }
    return changed;
}

EditResult EraseAround(Document& document, const std::vector<Point>& centres, int32_t zoom) {
    return EditSelected(document, [&centres, zoom](Detector& d, const RenderState& state) {
        for (Point centre : centres)
            EraseAroundOn(d, state, centre, zoom);
        return EditRefusal::None;
    });
}

EditResult PasteDetector(Document& document, const Detector& clip, int32_t card) {
    if (!CardExists(document.Current(), card))
        return Refused(EditRefusal::NoSuchCard);
    RenderState next = document.Current();
    Detector copy = clip;
    copy.card = static_cast<uint32_t>(card);
    if (copy.exclusion.Width() != next.CanvasWidth() || copy.exclusion.Height() != next.CanvasHeight()) {
        copy.exclusion = Bitmap::White(next.CanvasWidth(), next.CanvasHeight());
        for (Point& p : copy.points)
            p = ClampToPicture(next, p);
    }
    next.detectors.push_back(std::move(copy));
    const auto added = static_cast<int32_t>(next.detectors.size()) - 1;
    return Commit(document, std::move(next), added);
}

EditResult DeleteSelected(Document& document) {
    if (!document.SelectedDetector())
        return Refused(EditRefusal::NoSelection);
    RenderState next = document.Current();
    next.detectors.erase(next.detectors.begin() + document.SelectedIndex());
    return Commit(document, std::move(next), -1);
}

EditResult SetBackground(Document& document, int32_t card, Bitmap picture) {
    if (!CardExists(document.Current(), card))
        return Refused(EditRefusal::NoSuchCard);
    if (picture.Width() < 320)
        picture.ToGrey();
    RenderState next = document.Current();
    next.backgrounds[static_cast<size_t>(card)] = std::move(picture);
    return Commit(document, std::move(next));
}

EditResult SetBackgrounds(Document& document, std::vector<std::optional<Bitmap>> pictures) {
    RenderState next = document.Current();
    for (size_t i = 0; i < pictures.size() && i < next.backgrounds.size(); ++i)
        if (pictures[i])
            next.backgrounds[i] = std::move(*pictures[i]);
    return Commit(document, std::move(next));
}

EditResult SetNumber(Document& document, uint32_t number) {
    return SetField(document, &Detector::number, number);
}
EditResult SetDelay(Document& document, uint32_t delay_ms) {
    return SetField(document, &Detector::delay, delay_ms);
}
EditResult SetExtend(Document& document, uint32_t extend_ms) {
    return SetField(document, &Detector::extend, extend_ms);
}
EditResult SetAngle(Document& document, uint32_t angle) {
    return SetField(document, &Detector::angle, angle);
}

EditResult SetThresholds(Document& document, uint32_t feature_threshold, uint32_t threshold) {
    return EditSelected(document, [feature_threshold, threshold](Detector& d, const RenderState&) {
        if (d.feature_threshold == feature_threshold && d.threshold == threshold)
            return EditRefusal::SameValue;
        d.feature_threshold = feature_threshold;
        d.threshold = threshold;
        return EditRefusal::None;
    });
}

EditResult SetKind(Document& document, DetectorKind kind) {
    return EditSelected(document, [kind](Detector& d, const RenderState&) {
        // A contrast detector counts as contrast whatever its direction
        // flag says; the other two need the flags exactly.
        bool same = kind == DetectorKind::Contrast      ? d.contrast
                    : kind == DetectorKind::Directional ? (d.directional && !d.contrast)
                                                        : (!d.contrast && !d.directional);
        if (same)
            return EditRefusal::SameValue;
        d.contrast = kind == DetectorKind::Contrast;
        d.directional = kind == DetectorKind::Directional;
        return EditRefusal::None;
    });
}

EditResult ApplyPenWidth(Document& document, DrawingSettings& settings, uint32_t pen_width) {
    if (!document.SelectedDetector()) {
        settings.pen_width = pen_width;
        return Refused(EditRefusal::NoSelection);
    }
    return SetField(document, &Detector::pen_width, pen_width);
}

EditResult ApplyFillDivisions(Document& document, DrawingSettings& settings, int32_t fill,
                              uint32_t divisions) {
    if (!document.SelectedDetector()) {
        settings.fill = fill;
        settings.divisions = divisions;
        return Refused(EditRefusal::NoSelection);
    }
    return EditSelected(document, [fill, divisions](Detector& d, const RenderState&) {
        if (d.fill == fill && d.divisions == divisions)
            return EditRefusal::SameValue;
        d.fill = fill;
        d.divisions = divisions;
        return EditRefusal::None;
    });
}

EditResult Undo(Document& document) {
    if (!document.CanUndo())
        return Refused(EditRefusal::NothingToUndo);
    document.Undo();
    return {EditRefusal::None, document.SelectedIndex()};
}

EditResult Redo(Document& document) {
    if (!document.CanRedo())
        return Refused(EditRefusal::NothingToUndo);
    document.Redo();
    return {EditRefusal::None, document.SelectedIndex()};
}

} // namespace korvex
