#include "model/Document.h"

#include "framework/Trace.h"

namespace korvex {

void Document::SetModified() {
    if (!modified) {
        modified = true;
        changes.Mark(DocumentChange::Content);
    }
}

void Document::New() {
    Reset(RenderState::NewProject(), std::string());
}

void Document::Reset(RenderState state, const std::string& newPath) {
    history.clear();
    history.push_back(std::make_unique<RenderState>(std::move(state)));
    const bool moved = current != 0;
    current = 0;
    path = newPath;
    modified = false;
    changes.Mark(DocumentChange::Content | DocumentChange::Layout | DocumentChange::Path |
                 (moved ? DocumentChange::Selection : 0));
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
    current = last;
    ++edits;
    SetModified();
    // Every edit announces content and selection, also when the history was
    // full and the position did not move (the problems list and the toolbar
    // depend on it).
    changes.Mark(DocumentChange::Content | DocumentChange::Selection);
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
        SetModified();
        changes.Mark(DocumentChange::Content | DocumentChange::Selection);
    }
    return Current();
}

void Document::ReplaceWithLoaded(RenderState state, const std::string& p) {
    Reset(std::move(state), p);
}

void Document::MarkSaved(const std::string& p) {
    path = p;
    changes.Mark(DocumentChange::Path);
    if (modified) {
        modified = false;
        changes.Mark(DocumentChange::Content);
    }
}

} // namespace korvex
