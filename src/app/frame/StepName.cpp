#include "app/frame/StepName.h"

#include "app/common/UiText.h"
#include "files/ProjectDiff.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "model/Document.h"

namespace korvex {

namespace {

std::string T(unsigned id, std::initializer_list<std::string> args = {}) {
    return FillText(LoadTextA(id), args);
}

// The word the comparison uses for a detector's field.
std::string FieldWord(const std::string& field) {
    static const struct {
        const char* field;
        unsigned id;
    } words[] = {
        {"shape", text::diff_shape},
        {"delay", text::diff_delay},
        {"extend", text::diff_extend},
        {"directional", text::diff_directional},
        {"angle", text::diff_angle},
        {"contrast", text::diff_contrast},
        {"feature_threshold", text::diff_feature_threshold},
        {"threshold", text::diff_threshold},
        {"pen_width", text::diff_pen_width},
        {"fill", text::diff_fill},
        {"divisions", text::diff_divisions},
    };
    for (const auto& w : words)
        if (field == w.field)
            return LoadTextA(w.id);
    return field;
}

std::string OneChange(const ProjectChange& c) {
    using Kind = ProjectChange::Kind;
    switch (c.kind) {
    case Kind::PictureSize:
        return T(text::onsite_step_convert, {c.after});
    case Kind::DetectorAdded:
        return T(text::onsite_step_add, {c.subject});
    case Kind::DetectorRemoved:
        return T(text::onsite_step_delete, {c.subject});
    case Kind::DetectorRenumbered:
        return T(text::onsite_step_renumber, {c.before});
    case Kind::DetectorMoved:
        return T(text::onsite_step_move, {c.subject});
    case Kind::DetectorProperty:
        return T(text::onsite_step_property, {FieldWord(c.field), c.subject});
    case Kind::ExclusionChanged:
        return T(text::onsite_step_exclusion, {c.subject});
    case Kind::BackgroundChanged:
        return T(text::onsite_step_background, {c.subject});
    case Kind::OutputChanged:
        return T(text::onsite_step_formula, {c.subject});
    }
    return T(text::onsite_step_plain);
}

} // namespace

std::string StepName(const RenderState& before, const RenderState& after) {
    using Kind = ProjectChange::Kind;
    const std::vector<ProjectChange> changes = DiffProjects(before, after);
    if (changes.empty())
        return T(text::onsite_step_plain);
    const ProjectChange& first = changes.front();
    // A conversion changes everything; its picture size names it.
    if (first.kind == Kind::PictureSize || changes.size() == 1)
        return OneChange(first);
    bool oneSubject = true, oneKind = true;
    for (const ProjectChange& c : changes) {
        oneSubject = oneSubject && c.subject == first.subject;
        oneKind = oneKind && c.kind == first.kind;
    }
    if (oneSubject) {
        // A kind switch changes several fields of one detector; a renumber
        // or move with other fields is named by its first change.
        return oneKind && first.kind == Kind::DetectorProperty
                   ? T(text::onsite_step_properties, {first.subject})
                   : OneChange(first);
    }
    const std::string count = std::to_string(changes.size());
    if (oneKind && first.kind == Kind::DetectorMoved)
        return T(text::onsite_step_move_many, {count});
    if (oneKind && first.kind == Kind::DetectorAdded)
        return T(text::onsite_step_add_many, {count});
    if (oneKind && first.kind == Kind::DetectorRemoved)
        return T(text::onsite_step_delete_many, {count});
    return T(text::onsite_step_many, {count});
}

std::string UndoStepName(const Document& document) {
    if (!document.CanUndo())
        return {};
    const int32_t at = document.CurrentIndex();
    return StepName(document.StateAt(at - 1), document.StateAt(at));
}

std::string RedoStepName(const Document& document) {
    if (!document.CanRedo())
        return {};
    const int32_t at = document.CurrentIndex();
    return StepName(document.StateAt(at), document.StateAt(at + 1));
}

} // namespace korvex
