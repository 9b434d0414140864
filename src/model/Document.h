#pragma once

#include "framework/ChangeChannel.h"
#include "model/RenderState.h"
#include "model/Selection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

// What a document announces to its subscribers. Several changes between
// two deliveries reach them as one set.
struct DocumentChange {
    // A new state, undo or redo, a new or opened project, the modified mark.
    static constexpr uint32_t Content = 0x1;
    // The selected detector or composer item, the active card, the corner
    // under the pointer, a drag preview.
    static constexpr uint32_t Selection = 0x2;
    // The size of what the views show (zoom, picture size, a new project).
    static constexpr uint32_t Layout = 0x4;
    // The file the project is saved under.
    static constexpr uint32_t Path = 0x8;
};

// The project being edited: an undo history of render states, read-only
// once pushed, and beside it the selection. Each state of the history
// remembers the selection it was left with, so undo and redo bring back
// what was chosen there.
class Document {
public:
    static constexpr size_t MaxHistory = 100;

    // The change channel: every change is marked here and handed to the
    // subscribers when DeliverChanges is called (the frame does that once
    // per idle moment), never while a change is under way.
    [[nodiscard]] ChangeChannel::Subscription Subscribe(ChangeChannel::Listener listener) {
        return changes.Subscribe(std::move(listener));
    }
    // Marks a change the views make beside the history (the active card,
    // the corner under the pointer, a drag preview, the zoom).
    void Announce(uint32_t what) { changes.Mark(what); }
    uint32_t PendingChanges() const { return changes.Pending(); }
    void DeliverChanges() { changes.Deliver(); }

    // A new project: one new-project state, no path, not modified.
    void New();

    // Drops the redo part, pushes `ready` (a complete new state: copy the
    // current one, change the copy, push it), keeps at most 100 states and
    // returns the new current state. The subscribers hear of it at the next
    // delivery. Editors commit a finished state (model/DetectorEdits) with
    // the selection it comes with; without one the selection stays.
    const RenderState& NewRenderState(RenderState ready);
    const RenderState& NewRenderState(RenderState ready, Selection selected);

    bool CanUndo() const { return !history.empty() && current > 0; }
    bool CanRedo() const { return static_cast<size_t>(current) + 1 < history.size(); }
    void Undo();
    void Redo();
    // Moves to state `index` of the history, with the selection it was
    // left with.
    const RenderState& Select(int32_t index);

    const RenderState& Current() const { return *history[static_cast<size_t>(current)].state; }
    // State `index` of the history, 0 <= index < HistorySize().
    const RenderState& StateAt(int32_t index) const { return *history[static_cast<size_t>(index)].state; }

    // The selection, changed only by the two functions below; each marks a
    // selection change when it changes something.
    const Selection& Selected() const { return selection; }
    int32_t SelectedIndex() const { return selection.detector; }
    const std::string& ComposerPath() const { return selection.composer; }
    // The selected detector of the current state, or none.
    const Detector* SelectedDetector() const;
    void SelectDetector(int32_t index);
    void SelectComposerItem(std::string path);

    // Replaces the whole history with one loaded state (opening a project).
    void ReplaceWithLoaded(RenderState state, const std::string& path);
    // Records a successful save under `path`.
    void MarkSaved(const std::string& path);

    const std::string& Path() const { return path; }
    // True while the current state differs from the one last saved or
    // opened: undo back to that state clears it again.
    bool Modified() const { return modified; }
    size_t HistorySize() const { return history.size(); }
    int32_t CurrentIndex() const { return current; }
    // Content changes so far: every new state, undo and redo counts one,
    // however many of them reach the window in one refresh.
    uint64_t Edits() const { return edits; }

private:
    // Replaces the whole history with `state` under `path`, unmodified.
    void Reset(RenderState state, const std::string& path);
    const RenderState& Push(std::unique_ptr<RenderState> state, const Selection& selected, unsigned start_ms);
    // Sets `modified` from the current position and the saved one.
    void FollowSaved();

    // A state as pushed, and the selection it had when it was last left.
    struct Entry {
        std::unique_ptr<RenderState> state;
        Selection left;
    };

    ChangeChannel changes;
    std::string path;
    bool modified = false;
    // The history index of the state the file holds; -1 when that state
    // has left the history (dropped redo part, oldest state cut off).
    int32_t saved = 0;
    std::vector<Entry> history;
    Selection selection;
    int32_t current = 0;
    uint64_t edits = 0;
};

} // namespace korvex
