#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#ifdef KORVEX_HAVE_DEVICELINK
#include "devicelink/DeviceList.h"
#endif

class QListWidget;

namespace korvex {

// The device list pane: the devices heard on the network, one line each,
// the placeholder first. Selecting a line makes its device the one the live
// page shows; the caption counts the devices.
class Explorer : public QWidget
#ifdef KORVEX_HAVE_DEVICELINK
    ,
                 public DeviceListSink
#endif
{
    Q_OBJECT
public:
    explicit Explorer(QWidget* parent = nullptr);
    ~Explorer() override;

    // Receives the selected address (network byte order, 0 = none).
    void SetTargetHandler(std::function<void(uint32_t)> handler) { onTarget = std::move(handler); }
    // Receives the caption each time it changes.
    void SetCaptionHandler(std::function<void(const QString&)> handler);

#ifdef KORVEX_HAVE_DEVICELINK
    DeviceList& Devices() { return devices; }
    // DeviceListSink: called from the discovery thread, posted here.
    void LineAdded(size_t index, const std::string& line, const std::string& caption) override;
    void LineChanged(size_t index, const std::string& line) override;
#endif

    uint32_t SelectedAddress() const;
    QString Caption() const { return caption; }
    QListWidget* List() const { return list; }

private:
    void SelectionChanged();

    QListWidget* list;
    QString caption;
    std::function<void(uint32_t)> onTarget;
    std::function<void(const QString&)> onCaption;
#ifdef KORVEX_HAVE_DEVICELINK
    DeviceList devices;
#endif
};

} // namespace korvex
