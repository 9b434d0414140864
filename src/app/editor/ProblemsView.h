#pragma once

#include "model/RenderState.h"

#include <QWidget>

class QTreeWidget;

namespace korvex {

// The strip along the bottom of the frame that lists what is wrong with the
// detector program: numbers out of range, duplicate numbers on one card,
// expressions that use missing detectors. Rebuilt whole, sorted by text.
class ProblemsView : public QWidget {
    Q_OBJECT
public:
    explicit ProblemsView(QWidget* parent = nullptr);

    // Rebuilds the list from `state`; true when it holds problems.
    bool Rebuild(const RenderState& state);
    // Warnings shown below the problems (a camera that has moved, say):
    // they do not count as problems and stay until replaced.
    void SetWarnings(const QStringList& lines);
    bool HasProblems() const { return hasProblems; }
    QStringList Lines() const;
    // How many times the list was rebuilt (the main loop coalesces).
    int RebuildCount() const { return rebuilds; }

    QSize sizeHint() const override { return {800, 120}; }

private:
    QTreeWidget* list;
    bool hasProblems = false;
    QStringList warnings;
    void AddWarnings();
    int rebuilds = 0;
};

} // namespace korvex
