#include "app/frame/PaneTable.h"

#include "app/frame/ActionRegistry.h"
#include "app/widgets/PaneDock.h"

#include <QAction>
#include <QMainWindow>
#include <algorithm>

namespace korvex {

PaneTable::PaneTable(QMainWindow& frame, ActionRegistry& actions) : frame(frame), actions(actions) {}

PaneDock* PaneTable::Add(Pane pane, const QString& title, const QString& objectName, QWidget* content,
                         int toggleCommand, Page page, bool shown) {
    auto* dock = new PaneDock(title, &frame);
    dock->setObjectName(objectName);
    dock->setWidget(content);
    dock->SetClosedHandler([this, pane] {
        entries[pane].shown = false;
        actions[entries[pane].command]->setChecked(false);
    });
    frame.addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->setFloating(true);
    dock->hide();
    entries[pane] = {dock, toggleCommand, page, shown};
    actions[toggleCommand]->setChecked(shown);
    return dock;
}

void PaneTable::Apply(bool editorPageActive) {
    for (const Entry& e : entries) {
        bool on = e.shown && (e.page == AnyPage || (e.page == EditorPage) == editorPageActive);
        if (e.dock->isVisible() == on)
            continue;
        e.dock->setVisible(on);
        auto placed = placements.find(e.dock);
        if (on && placed != placements.end()) {
            e.dock->setGeometry(placed->second);
            placements.erase(placed);
        }
    }
}

void PaneTable::Place(const QRect& f) {
    // The inspector with the composer under it, the device list in the same
    // place (it shows on the other page), the tuning window to the
    // inspector's left.
    const int paneWidth = 213;
    int inspectorHeight = std::max(Dock(Inspector).sizeHint().height(), 300);
    QRect inspectorRect(f.right() - 20 - paneWidth, f.top() + 80, paneWidth, inspectorHeight);
    placements[&Dock(Inspector)] = inspectorRect;
    placements[&Dock(Composer)] = QRect(f.right() - 233, f.top() + inspectorHeight + 84, 213, 335);
    placements[&Dock(Explorer)] = QRect(f.right() - 20 - paneWidth, f.top() + 80, paneWidth, 300);
    placements[&Dock(Tuning)] = QRect(inspectorRect.left() - 344, f.top() + 80, 340, 600);
    for (auto it = placements.begin(); it != placements.end();) {
        if (it->first->isVisible()) {
            it->first->setGeometry(it->second);
            it = placements.erase(it);
        } else {
            ++it;
        }
    }
}

void PaneTable::SyncChecks() const {
    for (const Entry& e : entries)
        actions[e.command]->setChecked(e.shown);
}

void PaneTable::HideAll() const {
    for (const Entry& e : entries)
        e.dock->hide();
}

} // namespace korvex
