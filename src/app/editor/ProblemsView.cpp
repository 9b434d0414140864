#include "app/editor/ProblemsView.h"

#include "app/common/Icons.h"
#include "app/common/UiText.h"
#include "files/Problems.h"
#include "framework/TextIds.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korvex {

ProblemsView::ProblemsView(QWidget* parent) : QWidget(parent) {
    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("problemsList"));
    list->setColumnCount(1);
    list->setHeaderLabels({Text(text::problems_header)});
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
    warnings = 0;
    const QIcon problem = ProblemIcon();
    // The problems' own picture is a warning sign already; warnings, which
    // stop nothing, get the lighter one and say what they are.
    const QIcon warning = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (const ProblemLine& line : ListProblems(state)) {
        auto* item = new QTreeWidgetItem;
        item->setData(0, WarningRole, line.warning);
        if (line.warning) {
            item->setText(0, QString::fromStdString(
                                 FillText(Text(text::composer_warning_line).toStdString(), {line.text})));
            item->setIcon(0, warning);
            item->setToolTip(0, Text(text::composer_warning_tip));
            ++warnings;
        } else {
            item->setText(0, QString::fromStdString(line.text));
            item->setIcon(0, problem);
            hasProblems = true;
        }
        list->addTopLevelItem(item);
    }
    AddWarnings();
    return hasProblems;
}

void ProblemsView::SetWarnings(const QStringList& lines) {
    if (lines == liveWarnings)
        return;
    // Only these rows change: the project's problems and warnings stay as
    // they were built.
    for (int i = list->topLevelItemCount() - 1; i >= 0; --i)
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toBool())
            delete list->takeTopLevelItem(i);
    liveWarnings = lines;
    AddWarnings();
}

// Warnings from outside the project carry the same mark as the project's
// own warnings; Qt::UserRole tells them apart so that SetWarnings can
// replace them alone.
void ProblemsView::AddWarnings() {
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (const QString& line : liveWarnings) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(FillText(Text(text::composer_warning_line).toStdString(),
                                                         {line.toStdString()})));
        item->setIcon(0, icon);
        item->setToolTip(0, Text(text::composer_warning_tip));
        item->setData(0, Qt::UserRole, true);
        item->setData(0, WarningRole, true);
        list->addTopLevelItem(item);
    }
}

QStringList ProblemsView::Lines() const {
    QStringList lines;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        lines << list->topLevelItem(i)->text(0);
    return lines;
}

bool ProblemsView::IsWarning(int line) const {
    const QTreeWidgetItem* item = list->topLevelItem(line);
    return item && item->data(0, WarningRole).toBool();
}

} // namespace korvex
