#pragma once

#include "model/RenderState.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

// Who hears about document changes: the frame (title), the main view
// (selection, repaint) and the composer (the state it edits). Every
// operation has a do-nothing default.
class DocumentOwner {
public:
    virtual ~DocumentOwner() = default;
    virtual void TitleChanged(const std::string& /*path*/) {}
    virtual void SelectDetector(int32_t /*index*/) {}
    virtual void RefreshView() {}
    virtual void ComposerStateChanged(RenderState& /*state*/) {}
};

// The project being edited: an undo history of render states.
class Document {
public:
    static constexpr size_t MaxHistory = 100;

    explicit Document(DocumentOwner* owner = nullptr) : owner(owner) {}

    void SetOwner(DocumentOwner* o) { owner = o; }

    // A new project: one new-project state, no path, not modified.
    void New();

    // Drops the redo part, pushes `ready` (a complete new state) or a deep
    // copy of the current state, keeps at most 100 states and returns the
    // new current state. The owner hears of the new state as it is pushed,
    // so editors commit a finished state (model/DetectorEdits); the copying
    // form is for programs and tests that fill the copy in afterwards.
    RenderState& NewRenderState();
    RenderState& NewRenderState(RenderState ready);

    bool CanUndo() const { return !history.empty() && current > 0; }
    bool CanRedo() const { return static_cast<size_t>(current) + 1 < history.size(); }
    void Undo();
    void Redo();
    RenderState& Select(int32_t index);

    RenderState& Current() { return *history[static_cast<size_t>(current)]; }
    const RenderState& Current() const { return *history[static_cast<size_t>(current)]; }

    // Replaces the whole history with one loaded state (opening a project).
    void ReplaceWithLoaded(RenderState state, const std::string& path);
    // Records a successful save under `path`.
    void MarkSaved(const std::string& path);

    const std::string& Path() const { return path; }
    bool Modified() const { return modified; }
    size_t HistorySize() const { return history.size(); }
    int32_t CurrentIndex() const { return current; }
    // Content changes so far: every new state, undo and redo counts one,
    // however many of them reach the window in one refresh.
    uint64_t Edits() const { return edits; }

private:
    // Replaces the whole history with `state` under `path`, unmodified.
    void Reset(RenderState state, const std::string& path);
    RenderState& Push(std::unique_ptr<RenderState> state, unsigned start_ms);
    void SetModified();

    DocumentOwner* owner;
    std::string path;
    bool modified = false;
    std::vector<std::unique_ptr<RenderState>> history;
    int32_t current = 0;
    uint64_t edits = 0;
};

} // namespace korvex
