#pragma once

#include "files/ProjectDiff.h"

#include <QWidget>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace korvex {

// Lists what changed from another program (a file, the device's program,
// a kept one) to the project being edited, one change a line. Choosing a
// line asks for its detector or expression row to be selected.
class ComparePane : public QWidget {
    Q_OBJECT
public:
    explicit ComparePane(QWidget* parent = nullptr);

    // `source` names what the project was compared with.
    void ShowChanges(const QString& source, const std::vector<ProjectChange>& changes);

    QLabel* Header() const { return header; }
    QListWidget* List() const { return list; }

Q_SIGNALS:
    // A detector of the project (its index), or an expression row ("Y3").
    void DetectorChosen(int index);
    void RowChosen(const QString& row);

private:
    void Choose(QListWidgetItem* item);

    QLabel* header;
    QListWidget* list;
};

} // namespace korvex
