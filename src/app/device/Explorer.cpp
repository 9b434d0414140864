#include "app/device/Explorer.h"

#include <QListWidget>
#include <QVBoxLayout>

namespace korvex {

Explorer::Explorer(QWidget* parent) : QWidget(parent) {
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("c1006"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) { Q_EMIT RowChosen(row); });
}

void Explorer::SetCaption(const std::string& text) {
    QString fresh = QString::fromStdString(text);
    if (fresh == caption)
        return;
    caption = fresh;
    Q_EMIT CaptionChanged(caption);
}

void Explorer::SetLines(const std::vector<std::string>& lines, const std::string& newCaption) {
    int row = list->currentRow();
    list->blockSignals(true);
    list->clear();
    for (const std::string& line : lines)
        list->addItem(QString::fromStdString(line));
    list->setCurrentRow(row < 0 ? 0 : std::min(row, list->count() - 1));
    list->blockSignals(false);
    SetCaption(newCaption);
}

bool Explorer::AddLine(size_t index, const std::string& line, const std::string& newCaption) {
    if (index != static_cast<size_t>(list->count()))
        return false;
    list->addItem(QString::fromStdString(line));
    SetCaption(newCaption);
    return true;
}

void Explorer::ChangeLine(size_t index, const std::string& line) {
    if (index < static_cast<size_t>(list->count()))
        list->item(static_cast<int>(index))->setText(QString::fromStdString(line));
}

} // namespace korvex
