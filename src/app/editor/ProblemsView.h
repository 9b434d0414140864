#pragma once

#include "model/RenderState.h"

#include <QWidget>

class QTreeWidget;

namespace korvex {

// The strip along the bottom of the frame that lists what is wrong with the
// detector program: numbers out of range, duplicate numbers on one card,
// expressions that use missing detectors (problems, which stop an upload),
// then the warnings of the expression checks, marked with a warning
// picture, which stop nothing. Rebuilt whole, each part sorted by text.
class ProblemsView : public QWidget {
    Q_OBJECT
public:
    explicit ProblemsView(QWidget* parent = nullptr);

    // Rebuilds the list from `state`; true when it holds problems (lines
    // that stop an upload; warnings do not count).
    bool Rebuild(const RenderState& state);
    // Warnings shown below the problems (a camera that has moved, say):
    // they do not count as problems and stay until replaced.
    void SetWarnings(const QStringList& lines);
    bool HasProblems() const { return hasProblems; }
    int WarningCount() const { return warnings; }
    QStringList Lines() const;
    // True when line `line` (0-based, in the order shown) is a warning.
    bool IsWarning(int line) const;
    // How many times the list was rebuilt (the main loop coalesces).
    int RebuildCount() const { return rebuilds; }

    QSize sizeHint() const override { return {800, 120}; }

private:
    QTreeWidget* list;
    bool hasProblems = false;
    int warnings = 0;
    // Warnings from outside the project (a camera that has moved).
    QStringList liveWarnings;
    void AddWarnings();
    int rebuilds = 0;
    static constexpr int WarningRole = Qt::UserRole + 1;
};

} // namespace korvex
