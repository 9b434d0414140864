#pragma once

// What the large-project benches share: the fixture of tests/support, the
// resident memory of the process and the edit every edit figure makes.

#include "model/DetectorEdits.h"
#include "model/Document.h"
#include "support/LargeProject.h"

#include <cstdint>
#include <fstream>
#include <malloc.h>
#include <string>

namespace korvex::bench {

// VmRSS of /proc/self/status in kB; 0 where it cannot be read.
inline uint64_t ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6));
    return 0;
}

// Bytes the allocator has handed out and not had back, in kB: what the
// program holds, whether or not the allocator reuses freed memory for it.
inline uint64_t HeapKb() {
    const struct mallinfo2 info = mallinfo2();
    return (info.uordblks + info.hblkhd) / 1024;
}

// One edit as the view commits a corner drag of detector `index`: the
// corner moved by `dx` (which also clears the detector's exclusion map).
inline void MoveOneCorner(Document& document, size_t index, int32_t dx) {
    document.SelectDetector(static_cast<int32_t>(index));
    MoveCorner(document, 0, dx, 0);
}

} // namespace korvex::bench
