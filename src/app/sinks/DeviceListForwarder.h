#pragma once

#include "app/device/Explorer.h"
#include "app/sinks/UiPost.h"
#include "devicelink/DeviceList.h"

namespace korvex {

// The discovery thread's view of the explorer: line changes are posted to
// the explorer attached at that moment. Lines arrive in order; should one
// arrive out of step, the whole list is read afresh from the device list.
class DeviceListForwarder : public SinkForwarder<Explorer>, public DeviceListSink {
public:
    explicit DeviceListForwarder(const DeviceList& source) : source(source) {}

    // Fills `explorer` with the current lines and attaches it.
    void AttachExplorer(Explorer* explorer);

    void LineAdded(size_t index, const std::string& line, const std::string& caption) override;
    void LineChanged(size_t index, const std::string& line) override;
    void LineRemoved(size_t index, const std::string& caption) override;

private:
    const DeviceList& source;
};

} // namespace korvex
