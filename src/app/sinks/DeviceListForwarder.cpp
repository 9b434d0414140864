#include "app/sinks/DeviceListForwarder.h"

namespace korvex {

void DeviceListForwarder::AttachExplorer(Explorer* explorer) {
    explorer->SetLines(source.Lines(), source.Caption());
    Attach(explorer);
}

void DeviceListForwarder::LineAdded(size_t index, const std::string& line, const std::string& caption) {
    const DeviceList* list = &source;
    Forward([list, index, line, caption](Explorer& explorer) {
        if (!explorer.AddLine(index, line, caption))
            explorer.SetLines(list->Lines(), list->Caption());
    });
}

void DeviceListForwarder::LineChanged(size_t index, const std::string& line) {
    Forward([index, line](Explorer& explorer) { explorer.ChangeLine(index, line); });
}

void DeviceListForwarder::LineRemoved(size_t index, const std::string& caption) {
    Forward([index, caption](Explorer& explorer) { explorer.RemoveLine(index, caption); });
}

} // namespace korvex
