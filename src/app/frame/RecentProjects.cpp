#include "app/frame/RecentProjects.h"

#include "app/common/AppSettings.h"
#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace korvex {

namespace {
const QString kKey = QStringLiteral("recentProjects");
} // namespace

RecentProjects::RecentProjects(QWidget* menuParent, std::function<void(const QString&)> note)
    : QObject(menuParent), menu(new QMenu(Text(text::app_recent_projects), menuParent)),
      note(std::move(note)) {
    menu->setObjectName(QStringLiteral("recentProjects"));
    for (const QString& path : OpenAppSettings()->value(kKey).toStringList())
        if (!path.isEmpty() && !paths.contains(path) && paths.size() < Capacity)
            paths.append(path);
    connect(menu, &QMenu::aboutToShow, this, [this] {
        DropMissing();
        Fill();
    });
    Fill();
}

void RecentProjects::Add(const QString& path) {
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    paths.removeAll(absolute);
    paths.prepend(absolute);
    while (paths.size() > Capacity)
        paths.removeLast();
    Save();
    Fill();
}

void RecentProjects::Clear() {
    paths.clear();
    Save();
    Fill();
}

QStringList RecentProjects::DropMissing() {
    QStringList gone;
    for (const QString& path : paths)
        if (!QFileInfo(path).isFile())
            gone.append(path);
    if (gone.isEmpty())
        return gone;
    for (const QString& path : gone)
        paths.removeAll(path);
    Save();
    Fill();
    if (note)
        note(gone.size() == 1 ? Text(text::app_recent_one_gone).arg(QFileInfo(gone.first()).fileName())
                              : Text(text::app_recent_some_gone).arg(gone.size()));
    return gone;
}

void RecentProjects::Fill() {
    // An entry may be refilling the menu from its own triggered signal, so
    // the old actions go once that has returned.
    for (QAction* old : menu->actions()) {
        menu->removeAction(old);
        old->deleteLater();
    }
    int number = 0;
    for (const QString& path : paths) {
        ++number;
        QString label = path;
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // &1 to &9, then 1&0: each entry has its key.
        const QString key = number < 10 ? QStringLiteral("&%1").arg(number) : QStringLiteral("1&0");
        QAction* action = menu->addAction(key + QStringLiteral("  ") + label);
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] {
            // Gone since the menu opened: taken off with its note instead.
            if (!QFileInfo(path).isFile()) {
                DropMissing();
                return;
            }
            Q_EMIT OpenRequested(path);
        });
    }
    if (paths.isEmpty()) {
        QAction* empty = menu->addAction(Text(text::app_recent_empty));
        empty->setEnabled(false);
    }
    menu->addSeparator();
    QAction* clear = menu->addAction(Text(text::app_recent_clear));
    clear->setObjectName(QStringLiteral("recentClear"));
    clear->setEnabled(!paths.isEmpty());
    connect(clear, &QAction::triggered, this, [this] { Clear(); });
}

void RecentProjects::Save() const {
    OpenAppSettings()->setValue(kKey, paths);
}

} // namespace korvex
