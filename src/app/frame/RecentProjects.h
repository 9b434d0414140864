#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QMenu;
class QWidget;

namespace korvex {

// File > Recent projects: the last ten projects opened or saved, newest
// first, kept in the settings. Files that have gone are taken off the list
// when the menu opens (or when one is chosen), with a note.
class RecentProjects : public QObject {
    Q_OBJECT
public:
    static constexpr int Capacity = 10;

    // `note` shows a text in the status bar.
    RecentProjects(QWidget* menuParent, std::function<void(const QString&)> note);

    QMenu* Menu() const { return menu; }
    QStringList Paths() const { return paths; }
    // Puts `path` at the top (once), keeping at most ten.
    void Add(const QString& path);
    void Clear();
    // Takes off the entries whose files are gone and notes it; returns them.
    QStringList DropMissing();

Q_SIGNALS:
    void OpenRequested(const QString& path);

private:
    void Fill();
    void Save() const;

    QMenu* menu;
    std::function<void(const QString&)> note;
    QStringList paths;
};

} // namespace korvex
