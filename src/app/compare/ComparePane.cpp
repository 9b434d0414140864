#include "app/compare/ComparePane.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace korvex {

namespace {

enum Role { DetectorRole = Qt::UserRole, RowRole };

} // namespace

ComparePane::ComparePane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("comparePaneContent"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    header = new QLabel(this);
    header->setWordWrap(true);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("changes"));
    layout->addWidget(header);
    layout->addWidget(list, 1);
    connect(list, &QListWidget::itemClicked, this, &ComparePane::Choose);
    connect(list, &QListWidget::itemActivated, this, &ComparePane::Choose);
}

void ComparePane::ShowChanges(const QString& source, const std::vector<ProjectChange>& changes) {
    list->clear();
    const std::string name = source.toStdString();
    header->setText(QString::fromStdString(
        changes.empty()
            ? FillText(Text(text::compare_same).toStdString(), {name})
            : FillText(Text(text::compare_changes).toStdString(), {name, std::to_string(changes.size())})));
    for (const ProjectChange& change : changes) {
        auto* item = new QListWidgetItem(QString::fromStdString(change.text), list);
        item->setData(DetectorRole, change.detector);
        if (change.kind == ProjectChange::Kind::OutputChanged)
            item->setData(RowRole, QString::fromStdString(change.subject));
    }
}

void ComparePane::Choose(QListWidgetItem* item) {
    if (!item)
        return;
    const int detector = item->data(DetectorRole).toInt();
    const QString row = item->data(RowRole).toString();
    if (detector >= 0)
        Q_EMIT DetectorChosen(detector);
    else if (!row.isEmpty())
        Q_EMIT RowChosen(row);
}

} // namespace korvex
