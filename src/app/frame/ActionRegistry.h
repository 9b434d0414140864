#pragma once

#include <QString>
#include <functional>
#include <initializer_list>
#include <map>
#include <utility>

class QAction;
class QMenu;
class QObject;
class QToolBar;

namespace korvex {

// The action registry: one QAction per command id, made in one place with
// its text, check state and shortcut. Menus, the toolbar and the context
// menu share these actions; triggering one calls the command handler with
// its id.
// Enables or disables `action` (null: nothing), touching it only when that
// changes its state.
void SetEnabled(QAction* action, bool on);

class ActionRegistry {
public:
    ActionRegistry(QObject* owner, std::function<void(int)> onCommand);

    // The action of a command, or null.
    QAction* operator[](int id) const;
    // A further command action with its menu text (the languages' items).
    QAction* Make(int id, const QString& text);
    // The toolbar's buttons with their pictures and tool tips.
    void FillToolbar(QToolBar& toolbar) const;
    // Adds the actions of `ids` to a menu, 0 being a separator.
    void AddTo(QMenu& menu, std::initializer_list<int> ids) const;

private:
    void SetShortcuts();

    QObject* owner;
    std::function<void(int)> onCommand;
    std::map<int, QAction*> byId;
};

} // namespace korvex
