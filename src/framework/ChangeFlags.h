#pragma once

#include <atomic>
#include <cstdint>

namespace korvex {

// The process-wide word of change bits. Producers mark bits; the main loop
// takes and clears the whole word when it is idle and performs the deferred
// refreshes. Mark and TakeAll are atomic so any thread may mark.
class ChangeFlags {
public:
    enum : uint32_t {
        DocumentChanged = 0x1,
        PanesChanged = 0x2,
        SelectionChanged = 0x4,
        LayoutChanged = 0x8,
    };

    static void Mark(uint32_t bits) { word.fetch_or(bits, std::memory_order_acq_rel); }
    static uint32_t TakeAll() { return word.exchange(0, std::memory_order_acq_rel); }
    static uint32_t Peek() { return word.load(std::memory_order_acquire); }

private:
    static inline std::atomic<uint32_t> word{0};
};

} // namespace korvex
