#pragma once

#include "devicelink/DeviceSinks.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

// One device heard on the network.
struct DeviceEntry {
    uint32_t address = 0;  // network byte order (first octet in the lowest byte)
    std::string alias;     // at most 63 bytes; empty if none
    uint64_t lastSeen = 0; // millisecond tick count of the last announcement
};

// The list of discovered devices shown by the explorer. Entry 0 is a
// placeholder with address 0 that is never removed; entries are kept in the
// order first heard. Written by the discovery thread, read by the
// user-interface thread (selection) and the session thread (LastSeen); one
// lock guards each whole lookup or update.
//
// Announcements are forgeable by any host, so the list holds at most
// `capacity` entries (placeholder included). When it is full, a new sender
// takes the place of the entry heard longest ago (never the selected one):
// a real device announces again and comes back, a forged sender does not.
// Each such removal is counted.
//
// While discovery cannot listen, the placeholder's line says so instead of
// showing the bare address 0.0.0.0.
class DeviceList {
public:
    static constexpr size_t DefaultCapacity = 1024;

    explicit DeviceList(size_t capacity = DefaultCapacity);

    // Receives every line change; set before discovery starts (may be null).
    void SetSink(DeviceListSink* sink);

    // Records an announcement from `address` at tick `now_ms`.
    void DeviceSeen(uint32_t address, const std::string& alias, uint64_t now_ms);
    // The same at the current tick count.
    void DeviceSeen(uint32_t address, const std::string& alias);

    // The selection of the list box (the user-interface side sets it).
    void Select(size_t index);
    // Address of the selected entry; 0 when nothing valid is selected.
    uint32_t SelectedAddress() const;

    // lastSeen of the first entry with `address`, 0 when there is none.
    uint64_t LastSeen(uint32_t address) const;

    std::vector<DeviceEntry> Entries() const;
    size_t Size() const;
    // The lines of the list box, in order (the placeholder first).
    std::vector<std::string> Lines() const;
    // The pane's caption: text::devices_heading, " (", entries without the placeholder, ")".
    std::string Caption() const;

    // Entries that gave way to newer senders because the list was full.
    uint64_t Dropped() const;

    // Why discovery is not listening ("" while it listens); shown as the
    // placeholder's line.
    void SetDiscoveryProblem(const std::string& text);
    std::string DiscoveryProblem() const;

    // "a.b.c.d" or "a.b.c.d (alias)", the alias made safe to display
    // (DisplayAlias).
    static std::string LineOf(const DeviceEntry& entry);

private:
    std::string CaptionLocked() const;
    std::string LineAtLocked(size_t index) const;
    // Removes the entry heard longest ago, never the placeholder or the
    // selected entry; false when there is none to remove.
    bool DropOldestLocked();

    mutable std::mutex lock;
    std::vector<DeviceEntry> entries;
    size_t capacity;
    size_t selected = 0;
    DeviceListSink* sink = nullptr;
    uint64_t dropped = 0;
    std::string discoveryProblem;
};

// 64-bit millisecond tick count from a steady clock.
uint64_t TickCount64Ms();

} // namespace korvex
