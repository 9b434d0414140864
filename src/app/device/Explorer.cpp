#include "app/device/Explorer.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>

namespace korvex {

Explorer::Explorer(QWidget* parent) : QWidget(parent) {
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("deviceList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list, 2);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) { Q_EMIT RowChosen(row); });

    rememberedHeading = new QLabel(Text(text::device_remembered_heading));
    rememberedHeading->setContentsMargins(4, 4, 4, 0);
    remembered = new QListWidget(this);
    remembered->setObjectName(QStringLiteral("rememberedDevices"));
    remembered->setContextMenuPolicy(Qt::ActionsContextMenu);
    // A line wider than the pane keeps its user and its alias.
    remembered->setTextElideMode(Qt::ElideMiddle);
    remembered->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* forget = new QAction(Text(text::device_forget_device), remembered);
    remembered->addAction(forget);
    layout->addWidget(rememberedHeading);
    layout->addWidget(remembered, 1);
    rememberedHeading->hide();
    remembered->hide();
    auto entryOf = [](QListWidgetItem* item, QString& address, uint16_t& port) {
        if (!item)
            return false;
        address = item->data(Qt::UserRole).toString();
        port = static_cast<uint16_t>(item->data(Qt::UserRole + 1).toUInt());
        return true;
    };
    connect(remembered, &QListWidget::itemActivated, this, [this, entryOf](QListWidgetItem* item) {
        QString address;
        uint16_t port = 22;
        if (entryOf(item, address, port))
            Q_EMIT RememberedChosen(address, port);
    });
    connect(forget, &QAction::triggered, this, [this, entryOf] {
        QString address;
        uint16_t port = 22;
        if (entryOf(remembered->currentItem(), address, port))
            Q_EMIT RememberedForgotten(address, port);
    });
}

void Explorer::ShowRemembered(const QList<RememberedDevice>& devices,
                              const std::function<bool(const QString&)>& heard) {
    remembered->clear();
    for (const RememberedDevice& d : devices) {
        const QString where = d.port == 22 ? d.address : QStringLiteral("%1:%2").arg(d.address).arg(d.port);
        QString line = d.user.isEmpty() ? where : d.user + QLatin1Char('@') + where;
        if (!d.alias.isEmpty())
            line += QStringLiteral(" (%1)").arg(IsolatedName(d.alias));
        if (heard && !heard(d.address))
            line += QStringLiteral(" \u2014 ") + Text(text::device_remembered_not_heard);
        auto* item = new QListWidgetItem(line, remembered);
        item->setToolTip(line);
        item->setData(Qt::UserRole, d.address);
        item->setData(Qt::UserRole + 1, d.port);
        if (heard && !heard(d.address))
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
    rememberedHeading->setVisible(!devices.isEmpty());
    remembered->setVisible(!devices.isEmpty());
}

void Explorer::SetCaption(const std::string& text) {
    QString fresh = QString::fromStdString(text);
    if (fresh == caption)
        return;
    caption = fresh;
    Q_EMIT CaptionChanged(caption);
}

namespace {

// Bidirectional marks, embeddings, overrides and isolates. The device list
// escapes these in aliases; any that reach a row another way (a name
// remembered earlier, say) are left out.
QString WithoutFormatting(QString text) {
    static const QRegularExpression formatting(
        QStringLiteral("[\\x{061C}\\x{200E}\\x{200F}\\x{202A}-\\x{202E}\\x{2066}-\\x{2069}]"));
    return text.remove(formatting);
}

} // namespace

QString Explorer::RowText(const std::string& line) {
    const QString text = WithoutFormatting(QString::fromStdString(line));
    static const QRegularExpression deviceLine(QStringLiteral("^([0-9.]+) \\((.*)\\)$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = deviceLine.match(text);
    if (!m.hasMatch())
        return text;
    return m.captured(1) + QStringLiteral(" (") + IsolatedName(m.captured(2)) + QLatin1Char(')');
}

QString Explorer::IsolatedName(const QString& text) {
    const QString name = WithoutFormatting(text);
    const bool rightToLeft = std::any_of(name.begin(), name.end(), [](QChar c) {
        const QChar::Direction d = c.direction();
        return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN;
    });
    // A first-strong isolate around the name keeps its right-to-left run
    // from pulling the brackets and the address into it.
    return rightToLeft ? QStringLiteral("\u2068") + name + QStringLiteral("\u2069") : name;
}

void Explorer::SetLines(const std::vector<std::string>& lines, const std::string& newCaption) {
    int row = list->currentRow();
    list->blockSignals(true);
    list->clear();
    for (const std::string& line : lines)
        AddRow(line);
    list->setCurrentRow(row < 0 ? 0 : std::min(row, list->count() - 1));
    list->blockSignals(false);
    SetCaption(newCaption);
}

bool Explorer::AddLine(size_t index, const std::string& line, const std::string& newCaption) {
    if (index != static_cast<size_t>(list->count()))
        return false;
    AddRow(line);
    SetCaption(newCaption);
    return true;
}

void Explorer::ChangeLine(size_t index, const std::string& line) {
    if (index < static_cast<size_t>(list->count())) {
        // The tooltip shows a row the pane is too narrow for (the first
        // row's note that discovery is off, a long name).
        QListWidgetItem* item = list->item(static_cast<int>(index));
        item->setText(RowText(line));
        item->setToolTip(item->text());
    }
}

void Explorer::AddRow(const std::string& line) {
    auto* item = new QListWidgetItem(RowText(line), list);
    item->setToolTip(item->text());
}

void Explorer::RemoveLine(size_t index, const std::string& newCaption) {
    if (index == 0 || index >= static_cast<size_t>(list->count()))
        return;
    list->blockSignals(true);
    delete list->takeItem(static_cast<int>(index));
    list->blockSignals(false);
    SetCaption(newCaption);
}

} // namespace korvex
