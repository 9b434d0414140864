#include "model/Document.h"

#include "framework/Trace.h"

namespace korvex {

void Document::FollowSaved() {
    // Modified exactly while the current state is not the one the file holds.
    const bool now = current != saved;
    if (now != modified) {
        modified = now;
        changes.Mark(DocumentChange::Content);
    }
}

void Document::New() {
    Reset(RenderState::NewProject(), std::string());
}

void Document::Reset(RenderState state, const std::string& newPath) {
    history.clear();
    history.push_back({std::make_unique<RenderState>(std::move(state)), Selection{}});
    const bool moved = current != 0 || selection != Selection{};
    current = 0;
    selection = {};
    path = newPath;
    saved = 0;
    modified = false;
    changes.Mark(DocumentChange::Content | DocumentChange::Layout | DocumentChange::Path |
                 (moved ? DocumentChange::Selection : 0));
}

const RenderState& Document::NewRenderState(RenderState ready) {
    unsigned start = TickCountMs();
    return Push(std::make_unique<RenderState>(std::move(ready)), selection, start);
}

const RenderState& Document::NewRenderState(RenderState ready, Selection selected) {
    unsigned start = TickCountMs();
    return Push(std::make_unique<RenderState>(std::move(ready)), selected, start);
}

const RenderState& Document::Push(std::unique_ptr<RenderState> state, const Selection& selected,
                                  unsigned start_ms) {
    if (!history.empty())
        history[static_cast<size_t>(current)].left = selection;
    history.resize(static_cast<size_t>(current) + 1);
    // The saved state may have been in the redo part just dropped.
    if (saved > current)
        saved = -1;
    history.push_back({std::move(state), Selection{}});
    selection = selected;
    if (history.size() > MaxHistory) {
        history.erase(history.begin());
        saved = saved > 0 ? saved - 1 : -1;
    }
    int32_t last = static_cast<int32_t>(history.size()) - 1;
    current = last;
    ++edits;
    FollowSaved();
    // Every edit announces content and selection, also when the history was
    // full and the position did not move (the problems list and the toolbar
    // depend on it).
    changes.Mark(DocumentChange::Content | DocumentChange::Selection);
    Trace("%s: %ums\n", "Document::NewRenderState", TickCountMs() - start_ms);
    return *history.back().state;
}

void Document::Undo() {
    if (CanUndo())
        Select(current - 1);
}

void Document::Redo() {
    if (CanRedo())
        Select(current + 1);
}

const RenderState& Document::Select(int32_t index) {
    if (index != current && index >= 0 && static_cast<size_t>(index) < history.size()) {
        history[static_cast<size_t>(current)].left = selection;
        current = index;
        selection = history[static_cast<size_t>(current)].left;
        ++edits;
        FollowSaved();
        changes.Mark(DocumentChange::Content | DocumentChange::Selection);
    }
    return Current();
}

const Detector* Document::SelectedDetector() const {
    const RenderState& state = Current();
    const int32_t i = selection.detector;
    return i >= 0 && static_cast<size_t>(i) < state.detectors.size()
               ? &state.detectors[static_cast<size_t>(i)]
               : nullptr;
}

void Document::SelectDetector(int32_t index) {
    if (index != selection.detector) {
        selection.detector = index;
        changes.Mark(DocumentChange::Selection);
    }
}

void Document::SelectComposerItem(std::string p) {
    if (p != selection.composer) {
        selection.composer = std::move(p);
        changes.Mark(DocumentChange::Selection);
    }
}

void Document::ReplaceWithLoaded(RenderState state, const std::string& p) {
    Reset(std::move(state), p);
}

void Document::MarkSaved(const std::string& p) {
    path = p;
    changes.Mark(DocumentChange::Path);
    saved = current;
    FollowSaved();
}

} // namespace korvex
