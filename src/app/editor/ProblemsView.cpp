#include "app/editor/ProblemsView.h"

#include "app/common/AppStrings.h"
#include "app/common/Icons.h"
#include "app/common/UiText.h"
#include "files/Problems.h"

#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korvex {

ProblemsView::ProblemsView(QWidget* parent) : QWidget(parent) {
    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("problemsList"));
    list->setColumnCount(1);
    list->setHeaderLabels({Text(kStrProblemsHeader)});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setIconSize(QSize(20, 20));
    list->setWordWrap(false);
    list->setUniformRowHeights(true);
    // The rules hand the lines over sorted by text, ignoring case, which is
    // the order the list shows.
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
}

bool ProblemsView::Rebuild(const RenderState& state) {
    ++rebuilds;
    list->clear();
    hasProblems = false;
    QIcon icon = ProblemIcon();
    for (const std::string& line : ProblemLines(state)) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(line));
        item->setIcon(0, icon);
        list->addTopLevelItem(item);
        hasProblems = true;
    }
    AddWarnings();
    return hasProblems;
}

void ProblemsView::SetWarnings(const QStringList& lines) {
    if (lines == warnings)
        return;
    // Only the warning rows change: the problems stay as they were built.
    for (int i = list->topLevelItemCount() - 1; i >= 0; --i)
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toBool())
            delete list->takeTopLevelItem(i);
    warnings = lines;
    AddWarnings();
}

void ProblemsView::AddWarnings() {
    const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (const QString& line : warnings) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, line);
        item->setIcon(0, icon);
        item->setData(0, Qt::UserRole, true);
        list->addTopLevelItem(item);
    }
}

QStringList ProblemsView::Lines() const {
    QStringList lines;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        lines << list->topLevelItem(i)->text(0);
    return lines;
}

} // namespace korvex
