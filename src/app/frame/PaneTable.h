#pragma once

#include <QRect>
#include <QString>
#include <array>
#include <map>

class QMainWindow;
class QWidget;

namespace korvex {

class ActionRegistry;
class PaneDock;

// The pane table: the frame's floating panes with the show flag that each
// one's toggle command flips. A pane shows while its flag is on and the
// page it belongs to is the active one; it gets its place the first time it
// shows and stays where the user puts it after that. Closing a pane clears
// its flag.
class PaneTable {
public:
    enum Pane { Composer, Inspector, Explorer, Tuning, PaneCount };
    enum Page { EditorPage, LivePage, AnyPage };

    PaneTable(QMainWindow& frame, ActionRegistry& actions);

    // Puts `content` into a new floating dock for `pane`, hidden until the
    // next Apply; `shown` is the flag's start value.
    PaneDock* Add(Pane pane, const QString& title, const QString& objectName, QWidget* content,
                  int toggleCommand, Page page, bool shown);

    PaneDock& Dock(Pane pane) const { return *entries[pane].dock; }
    bool Shown(Pane pane) const { return entries[pane].shown; }
    // The toggle command: flips the flag; the next refresh applies it.
    void Toggle(Pane pane) { entries[pane].shown = !entries[pane].shown; }
    // Shows and hides the panes for the active page.
    void Apply(bool editorPageActive);
    // The first places, inside the frame's right edge below the toolbar
    // (`frame` is its outer geometry); panes already shown move there now.
    void Place(const QRect& frame);
    // The toggle commands' check marks follow the flags.
    void SyncChecks() const;
    void HideAll() const;

private:
    struct Entry {
        PaneDock* dock = nullptr;
        int command = 0;
        Page page = AnyPage;
        bool shown = false;
    };

    QMainWindow& frame;
    ActionRegistry& actions;
    std::array<Entry, PaneCount> entries{};
    std::map<PaneDock*, QRect> placements;
};

} // namespace korvex
