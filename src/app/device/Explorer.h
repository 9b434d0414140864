#pragma once

#include "app/device/RememberedDevices.h"

#include <QWidget>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QListWidget;

namespace korvex {

// The device list pane: the devices heard on the network, one line each,
// the placeholder first. The lines come from the device session (through
// the frame's DeviceListForwarder); choosing a line is reported with
// RowChosen, and the caption, which counts the devices, with
// CaptionChanged.
class Explorer : public QWidget {
    Q_OBJECT
public:
    explicit Explorer(QWidget* parent = nullptr);

    // The whole list afresh (start-up, or a line that arrived out of step);
    // the current row is kept without reporting it again.
    void SetLines(const std::vector<std::string>& lines, const std::string& caption);
    // A new last line; false (nothing changed) when `index` is not the next
    // row, so the caller can send the whole list instead.
    bool AddLine(size_t index, const std::string& line, const std::string& caption);
    void ChangeLine(size_t index, const std::string& line);
    // The row of an entry that gave way in a full list; the rows below move
    // up and the current row stays on the same device without being
    // reported again (the device list moved its selection the same way).
    void RemoveLine(size_t index, const std::string& caption);

    // The text a device line is shown with: the alias part ("a.b.c.d (alias)")
    // is isolated, so that right-to-left text in a name cannot reorder the
    // address or the brackets, and bidirectional formatting characters are
    // kept out of the row.
    static QString RowText(const std::string& line);
    // A device name as shown inside a row: isolated when it holds
    // right-to-left text.
    static QString IsolatedName(const QString& name);

    QString Caption() const { return caption; }
    QListWidget* List() const { return list; }

    // The devices connected to before, most recently used first, below the
    // heard ones; `heard` says whether an address was heard recently (the
    // others are marked). Activating one asks to connect to it.
    void ShowRemembered(const QList<RememberedDevice>& devices, const std::function<bool(const QString&)>& heard);
    QListWidget* RememberedList() const { return remembered; }

Q_SIGNALS:
    void RowChosen(int row);
    void CaptionChanged(const QString& caption);
    void RememberedChosen(const QString& address, uint16_t port);
    void RememberedForgotten(const QString& address, uint16_t port);

private:
    void SetCaption(const std::string& text);
    void AddRow(const std::string& line);

    QListWidget* list;
    QLabel* rememberedHeading;
    QListWidget* remembered;
    QString caption;
};

} // namespace korvex
