#include "devicelink/DeviceList.h"

#include "devicelink/Announcement.h"
#include "devicelink/DeviceTexts.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <chrono>

namespace korvex {

uint64_t TickCount64Ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DeviceList::DeviceList(size_t capacity) : capacity(capacity < 1 ? 1 : capacity) {
    entries.push_back(DeviceEntry{}); // the placeholder, selected at once
}

void DeviceList::SetSink(DeviceListSink* newSink) {
    std::lock_guard<std::mutex> guard(lock);
    sink = newSink;
}

std::string DeviceList::LineOf(const DeviceEntry& entry) {
    std::string line = NetworkAddressText(entry.address);
    if (!entry.alias.empty())
        line += " (" + DisplayAlias(entry.alias) + ")";
    return line;
}

std::string DeviceList::LineAtLocked(size_t index) const {
    if (index == 0 && !discoveryProblem.empty())
        return discoveryProblem;
    // The placeholder is where a connection to a typed address starts; its
    // line says so instead of showing a bare 0.0.0.0.
    if (index == 0)
        return FilledText(text::devices_placeholder, {LineOf(entries[0])});
    return LineOf(entries[index]);
}

std::string DeviceList::CaptionLocked() const {
    return LoadTextA(text::devices_heading) + " (" + std::to_string(entries.size() - 1) + ")";
}

void DeviceList::DeviceSeen(uint32_t address, const std::string& alias) {
    DeviceSeen(address, alias, TickCount64Ms());
}

void DeviceList::DeviceSeen(uint32_t address, const std::string& alias, uint64_t now_ms) {
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < entries.size(); ++i) {
        DeviceEntry& entry = entries[i];
        if (entry.address != address)
            continue;
        if (entry.alias != alias) {
            entry.alias = alias;
            if (sink)
                sink->LineChanged(i, LineOf(entry));
        }
        entry.lastSeen = now_ms;
        return;
    }
    if (entries.size() >= capacity && !DropOldestLocked())
        return;
    entries.push_back(DeviceEntry{address, alias, now_ms});
    if (sink)
        sink->LineAdded(entries.size() - 1, LineOf(entries.back()), CaptionLocked());
}

bool DeviceList::DropOldestLocked() {
    size_t oldest = 0;
    for (size_t i = 1; i < entries.size(); ++i)
        if (i != selected && (oldest == 0 || entries[i].lastSeen < entries[oldest].lastSeen))
            oldest = i;
    if (oldest == 0)
        return false;
    // Trace the first removal only: a flood would otherwise flood the trace too.
    if (dropped == 0)
        Trace("DeviceList::DeviceSeen: list full, dropping %s\n",
              NetworkAddressText(entries[oldest].address).c_str());
    ++dropped;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(oldest));
    if (selected > oldest && selected <= entries.size()) // the selection stays on its device
        --selected;
    if (sink)
        sink->LineRemoved(oldest, CaptionLocked());
    return true;
}

uint64_t DeviceList::Dropped() const {
    std::lock_guard<std::mutex> guard(lock);
    return dropped;
}

void DeviceList::SetDiscoveryProblem(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    if (text == discoveryProblem)
        return;
    discoveryProblem = text;
    if (sink)
        sink->LineChanged(0, LineAtLocked(0));
}

std::string DeviceList::DiscoveryProblem() const {
    std::lock_guard<std::mutex> guard(lock);
    return discoveryProblem;
}

void DeviceList::Select(size_t index) {
    std::lock_guard<std::mutex> guard(lock);
    selected = index;
}

uint32_t DeviceList::SelectedAddress() const {
    std::lock_guard<std::mutex> guard(lock);
    return selected < entries.size() ? entries[selected].address : 0;
}

uint64_t DeviceList::LastSeen(uint32_t address) const {
    std::lock_guard<std::mutex> guard(lock);
    for (const DeviceEntry& entry : entries)
        if (entry.address == address)
            return entry.lastSeen;
    return 0;
}

std::vector<DeviceEntry> DeviceList::Entries() const {
    std::lock_guard<std::mutex> guard(lock);
    return entries;
}

size_t DeviceList::Size() const {
    std::lock_guard<std::mutex> guard(lock);
    return entries.size();
}

std::vector<std::string> DeviceList::Lines() const {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::string> lines;
    for (size_t i = 0; i < entries.size(); ++i)
        lines.push_back(LineAtLocked(i));
    return lines;
}

std::string DeviceList::Caption() const {
    std::lock_guard<std::mutex> guard(lock);
    return CaptionLocked();
}

} // namespace korvex
