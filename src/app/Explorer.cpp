#include "app/Explorer.h"

#include "app/AppStrings.h"
#include "app/UiText.h"

#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

namespace korvex {

Explorer::Explorer(QWidget* parent) : QWidget(parent) {
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("c1006"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
#ifdef KORVEX_HAVE_DEVICELINK
    for (const std::string& line : devices.Lines())
        list->addItem(QString::fromStdString(line));
    caption = QString::fromStdString(devices.Caption());
    devices.SetSink(this);
#else
    list->addItem(QStringLiteral("0.0.0.0"));
    caption = Text(274) + QStringLiteral(" (0)");
#endif
    list->setCurrentRow(0);
    connect(list, &QListWidget::currentRowChanged, this, [this] { SelectionChanged(); });
}

Explorer::~Explorer() {
#ifdef KORVEX_HAVE_DEVICELINK
    devices.SetSink(nullptr);
#endif
}

void Explorer::SetCaptionHandler(std::function<void(const QString&)> handler) {
    onCaption = std::move(handler);
    if (onCaption)
        onCaption(caption);
}

uint32_t Explorer::SelectedAddress() const {
#ifdef KORVEX_HAVE_DEVICELINK
    return devices.SelectedAddress();
#else
    return 0;
#endif
}

void Explorer::SelectionChanged() {
#ifdef KORVEX_HAVE_DEVICELINK
    int row = list->currentRow();
    devices.Select(row < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(row));
#endif
    if (onTarget)
        onTarget(SelectedAddress());
}

#ifdef KORVEX_HAVE_DEVICELINK
void Explorer::LineAdded(size_t index, const std::string& line, const std::string& newCaption) {
    QPointer<Explorer> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, index, line, newCaption] {
            if (!self)
                return;
            // Lines arrive in order; a gap would mean a lost post, so the
            // whole list is taken afresh instead.
            if (static_cast<int>(index) != self->list->count()) {
                int row = self->list->currentRow();
                self->list->blockSignals(true);
                self->list->clear();
                for (const std::string& l : self->devices.Lines())
                    self->list->addItem(QString::fromStdString(l));
                self->list->setCurrentRow(row);
                self->list->blockSignals(false);
            } else {
                self->list->addItem(QString::fromStdString(line));
            }
            self->caption = QString::fromStdString(newCaption);
            if (self->onCaption)
                self->onCaption(self->caption);
        },
        Qt::QueuedConnection);
}

void Explorer::LineChanged(size_t index, const std::string& line) {
    QPointer<Explorer> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, index, line] {
            if (self && static_cast<int>(index) < self->list->count())
                self->list->item(static_cast<int>(index))->setText(QString::fromStdString(line));
        },
        Qt::QueuedConnection);
}
#endif

} // namespace korvex
