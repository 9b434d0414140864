#include "model/Document.h"

#include "framework/ChangeFlags.h"
#include "framework/Trace.h"

namespace korvex {

void Document::SetModified() {
    if (!modified) {
        modified = true;
        ChangeFlags::Mark(ChangeFlags::DocumentChanged);
    }
}

void Document::New() { Reset(RenderState::NewProject(), std::string()); }

void Document::Reset(RenderState state, const std::string& newPath) {
    history.clear();
    history.push_back(std::make_unique<RenderState>(std::move(state)));
    bool moved = current != 0;
    current = 0;
    if (moved && owner)
        owner->SelectDetector(Current().selected);
    path = newPath;
    if (owner)
        owner->TitleChanged(path);
    modified = false;
    if (owner)
        owner->ComposerStateChanged(Current());
    ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::LayoutChanged);
}

RenderState& Document::NewRenderState() {
    unsigned start = TickCountMs();
    auto copy = std::make_unique<RenderState>(Current());
    return Push(std::move(copy), start);
}

RenderState& Document::NewRenderState(RenderState ready) {
    unsigned start = TickCountMs();
    return Push(std::make_unique<RenderState>(std::move(ready)), start);
}

RenderState& Document::Push(std::unique_ptr<RenderState> state, unsigned start_ms) {
    history.resize(static_cast<size_t>(current) + 1);
    history.push_back(std::move(state));
    if (history.size() > MaxHistory)
        history.erase(history.begin());
    int32_t last = static_cast<int32_t>(history.size()) - 1;
    if (current != last) {
        current = last;
        if (owner)
            owner->SelectDetector(Current().selected);
        ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::SelectionChanged);
        if (owner)
            owner->RefreshView();
    }
    ++edits;
    SetModified();
    // Every edit marks the document changed together with the selection, also
    // when the history was full and the position did not move (the problems
    // list and the toolbar depend on that mark).
    ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::SelectionChanged);
    Trace("%s: %ums\n", "Document::NewRenderState", TickCountMs() - start_ms);
    return *history.back();
}

void Document::Undo() {
    if (CanUndo())
        Select(current - 1);
}

void Document::Redo() {
    if (CanRedo())
        Select(current + 1);
}

RenderState& Document::Select(int32_t index) {
    if (index != current && index >= 0 && static_cast<size_t>(index) < history.size()) {
        current = index;
        ++edits;
        if (owner)
            owner->SelectDetector(Current().selected);
        ChangeFlags::Mark(ChangeFlags::DocumentChanged | ChangeFlags::SelectionChanged);
        SetModified();
        if (owner) {
            owner->RefreshView();
            owner->ComposerStateChanged(Current());
        }
    }
    return Current();
}

void Document::ReplaceWithLoaded(RenderState state, const std::string& p) { Reset(std::move(state), p); }

void Document::MarkSaved(const std::string& p) {
    path = p;
    if (owner)
        owner->TitleChanged(path);
    if (modified) {
        modified = false;
        ChangeFlags::Mark(ChangeFlags::DocumentChanged);
    }
}

} // namespace korvex
