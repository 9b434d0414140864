#include "app/frame/ActionRegistry.h"

#include "app/common/Commands.h"
#include "app/common/Icons.h"
#include "app/common/UiText.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QToolBar>

namespace korvex {

ActionRegistry::ActionRegistry(QObject* owner, std::function<void(int)> onCommand)
    : owner(owner), onCommand(std::move(onCommand)) {
    // Every command of the command table, with its menu text.
    for (const CommandText& command : kCommandTexts)
        Make(command.command, Text(command.text));
    static const int checkable[] = {
        CmdToggleComposer, CmdToggleInspector, CmdToggleExplorer, CmdToggleTuning, CmdViewOptionA,
        CmdViewOptionB,    CmdModeReshape,     CmdModeErase,      CmdModeMove,     CmdModeAim,
        CmdModeMoveCard,   CmdPenWidth1,       CmdPenWidth2,      CmdPenWidth3,    CmdPenWidth4,
        CmdNoPattern,      CmdDivisions1,      CmdDivisions2,     CmdDivisions3,   CmdDivisions4,
        CmdDivisions5,     CmdDivisions6,      CmdFill20,         CmdFill100,
    };
    for (int id : checkable)
        byId[id]->setCheckable(true);
    SetShortcuts();
}

void ActionRegistry::SetShortcuts() {
    byId[CmdNew]->setShortcut(QKeySequence::New);
    byId[CmdOpen]->setShortcut(QKeySequence::Open);
    byId[CmdSave]->setShortcut(QKeySequence::Save);
    byId[CmdSaveAs]->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    byId[CmdUndo]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    byId[CmdRedo]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    byId[CmdCopy]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    byId[CmdPaste]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    byId[CmdDelete]->setShortcut(QKeySequence(Qt::Key_Delete));
    byId[CmdZoomIn]->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    byId[CmdZoomOut]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    byId[CmdExit]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    byId[CmdHelp]->setShortcut(QKeySequence(Qt::Key_F1));
    byId[CmdAddQuad]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    byId[CmdAddLine]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    byId[CmdModeReshape]->setShortcut(QKeySequence(Qt::Key_R));
    byId[CmdModeErase]->setShortcut(QKeySequence(Qt::Key_E));
    byId[CmdModeMove]->setShortcut(QKeySequence(Qt::Key_M));
    byId[CmdModeAim]->setShortcut(QKeySequence(Qt::Key_A));
    byId[CmdModeMoveCard]->setShortcut(QKeySequence(Qt::Key_C));
    for (auto& [id, action] : byId)
        action->setShortcutContext(Qt::WindowShortcut);
}

void SetEnabled(QAction* action, bool on) {
    if (action && action->isEnabled() != on)
        action->setEnabled(on);
}

QAction* ActionRegistry::operator[](int id) const {
    auto it = byId.find(id);
    return it == byId.end() ? nullptr : it->second;
}

QAction* ActionRegistry::Make(int id, const QString& text) {
    auto* action = new QAction(text, owner);
    action->setData(id);
    action->setObjectName(QStringLiteral("cmd%1").arg(id));
    QObject::connect(action, &QAction::triggered, owner, [handler = onCommand, id] { handler(id); });
    byId[id] = action;
    return action;
}

void ActionRegistry::FillToolbar(QToolBar& toolbar) const {
    int k = 0;
    for (const ToolbarEntry& entry : kToolbar) {
        if (entry.command == 0) {
            toolbar.addSeparator();
            continue;
        }
        ++k;
        QAction* action = (*this)[entry.command];
        action->setIcon(ToolbarIcon(entry.image));
        // A tool tip only: a status tip would be shown as a temporary
        // message over the status bar's text and progress while the
        // pointer rests on the button.
        action->setToolTip(Text(TooltipId(k)));
        toolbar.addAction(action);
    }
}

void ActionRegistry::AddTo(QMenu& menu, std::initializer_list<int> ids) const {
    for (int id : ids) {
        if (id == 0)
            menu.addSeparator();
        else
            menu.addAction((*this)[id]);
    }
}

} // namespace korvex
